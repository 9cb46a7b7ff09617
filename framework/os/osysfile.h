#pragma once
// File names: the path type of the whole system, normalised on assignment,
// and the one place where C stream files are opened.

#include <stdint.h>
#include <stdio.h>

#include "framework/os/osys.h"
#include "framework/text/strings.h"

class FILENAME
{
public:
    FILENAME();
    FILENAME(const char* text);
    FILENAME(const char* dir, const char* name);   // join; an absolute name wins
    FILENAME(const FILENAME& other);
    FILENAME& operator=(const FILENAME& other);
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
