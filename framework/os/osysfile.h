#pragma once
// File names: the path type of the whole system, normalised on assignment,
// and the one place where C stream files are opened.

#include <stdint.h>
#include <stdio.h>

#include "framework/os/osys.h"
#include "framework/text/strings.h"

class STRINGARRAY;

class FILENAME
{
public:
    FILENAME();
    FILENAME(const char* text);
    FILENAME(const char* dir, const char* name);   // join; an absolute name wins
    FILENAME(const FILENAME& other);
    FILENAME& operator=(const FILENAME& other) = default;
    FILENAME& operator=(const char* text);

    const char* Text() const { return Path.Text(); }
    const STRING& GetPath() const { return Path; }
    int Length() const { return Path.Length(); }
    bool IsEmpty() const { return Path.IsEmpty(); }

    bool Exists() const;
    bool IsDirectory() const;
    bool IsFile() const;
    int64_t Size() const;                               // -1 when it cannot be examined
    int64_t ModificationTime(bool refresh = false);     // seconds since 1970, 0 on failure
    FILENAME FullPath() const;
    FILENAME Directory() const;
    STRING Name() const;

    // An existing file opens for update; for a missing file (or a folder)
    // the folder it would go into is writable.
    bool IsWritable() const;
    bool IsOnNetwork() const;
    // Modification time, local: "%04d-%02d-%02d %02d:%02d:%02d".
    bool DateText(STRING& text);
    bool SetModificationTime(int64_t time);             // access time too
    bool SetModificationTime(const CALENDARTIME& localTime);
    bool SetArchive(bool on);
    bool SetHidden(bool on);
    bool SetReadOnly(bool on);
    bool CopyTo(const char* target, bool overwrite) const;
    // Replaces / \ : * ? " < > | (the separators stay when allowed) and tells
    // whether any was found; replacement -1 removes them and answers false.
    bool FixInvalidChars(bool allowSeparators, int replacement);
    // The path with a known folder at its start replaced by its shell string
    // and the user's name between separators by %USERNAME%; the unix style
    // writes the home folder as "~" and '/' as separator.
    STRING AsShellStrings(bool unixStyle = false) const;

    // Fills the "XXXXXX" before the last suffixLength characters of templ
    // (and any further 'X' before them) until the name is new. Name-only mode
    // answers 0, file mode an open descriptor (_close it), directory mode 0;
    // -1 with errno EINVAL (bad template) or EEXIST (no free name) otherwise.
    enum { TEMPNAME_NAME = 0, TEMPNAME_FILE = 1, TEMPNAME_DIRECTORY = 2 };
    static int TempName(char* templ, int suffixLength, int mode);

    bool MakeDirectory();
    bool Delete();
    bool SetAsCurrentDirectory();
    // For a path of UTF-8 bytes that the 8-bit interfaces cannot reach: the
    // final path of the existing file in the system's 8-bit form.
    bool ResolveFinalPath(bool mustExist);

    // Resolves shell strings at the start of a path and %USERNAME% and
    // %COMPUTERNAME% anywhere; cuts trailing backslashes, roots a bare drive.
    void ExpandShellString();
    static void ShellStringSet(const char* name, const char* value, bool hidden);

private:
    void Normalise(const char* text);
    void ClearStatus();

    STRING Path;
    bool StatusValid;
    int64_t StatusSize;
    int64_t StatusModified;
};

// Opens a C stream. share -1 picks the sharing from the mode: writers and
// appenders deny all others, plain readers deny writers.
FILE* fsopen(const char* name, const char* mode, int share = -1, int utf8 = 0);
// Commits a flushed stream's file to disk; true on success.
bool fscommit(FILE* stream);

// A cooperative lock between processes: an exclusively opened ".lock" file
// beside the protected file. All locks of a process share one mutex, so only
// one of them is active at a time.
class FILELOCK
{
public:
    explicit FILELOCK(const char* filename);
    virtual ~FILELOCK();
    FILELOCK(const FILELOCK&) = delete;
    FILELOCK& operator=(const FILELOCK&) = delete;

    // timeout in ms, -1 for 4000. Without hardFail the lock goes active even
    // when the file could not be had.
    bool Lock(int timeout = -1, bool hardFail = true);
    bool Unlock();
    bool IsLockActive() const { return Active; }
    bool HoldsFile() const { return FileLock != 0; }
    const FILENAME& GetLockName() const { return LockName; }
    const STRING& GetErrorText() const { return ErrorText; }

private:
    bool WaitForFile(int timeout);

    FILE* FileLock;
    FILENAME LockName;
    STRING ErrorText;
    bool Active;
};

namespace OSYS
{
    // Files matching pattern (and with recursion the contents of subfolders,
    // each folder after its contents when the pattern is "*"); result may be
    // null to count only.
    int ListFiles(const char* basedir, const char* pattern, STRINGARRAY* result, bool recurse);
    // Case-insensitive; '?' one character, '*' any run.
    bool MatchWildcard(const char* name, const char* pattern);
    bool CreateDirectoryPath(const char* path);
    bool CopyTree(const char* source, const char* target);
    bool DeleteTree(const char* directory);
    // Compresses the existing file source into a new gzip file target
    // (replaced when it exists); a partial target is removed on failure.
    bool GzipFile(const char* source, const char* target);
}
