#pragma once
// File names: the path type of the whole system, normalised on assignment,
// and the one place where C stream files are opened.

#include <stdint.h>
#include <stdio.h>

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
