// FILENAME: normalisation, shell strings, queries; fsopen.

#include <windows.h>
#include <errno.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"

namespace
{
    struct SHELLSTRING
    {
        STRING Name;
        STRING AltName;     // "$(NAME)"
        STRING Value;       // a folder ending in '\'
        bool Hidden;
    };

    const int ShellStringSlots = 32;
    SHELLSTRING gShellStrings[ShellStringSlots];
    bool gShellStringsReady = false;
    bool gShellStringsInitialising = false;

    void InitShellStrings()
    {
        if (gShellStringsReady || gShellStringsInitialising)
            return;
        gShellStringsInitialising = true;
        Logit("FILENAME::ShellStringsInit\n");
        static const struct { const char* Name; int Type; } initial[] = {
            {"%USERDOCUMENTS%", 14}, {"%USERDESKTOP%", 8}, {"%APPDATA%", 5},
            {"%ALLUSERAPPDATA%", 13}, {"%USERHOME%", 6}, {"%USERPROFILE%", 6},
            {"%ALLUSERPROFILE%", 12}, {"%USERLIBRARY%", 5}, {"%USERLOGS%", 18},
            {"%USERDOWNLOAD%", 19}, {"%USERPICTURES%", 7},
        };
        for (const auto& entry : initial)
            FILENAME::ShellStringSet(entry.Name, OSYS::GetSystemPath(entry.Type).Text(), false);
        Logit("FILENAME::ShellStringsInit done\n");
        gShellStringsInitialising = false;
        gShellStringsReady = true;
    }

    bool StartsWithNoCase(const char* text, const char* prefix)
    {
        size_t n = strlen(prefix);
        return n > 0 && _strnicmp(text, prefix, n) == 0;
    }

    void SlashesToBackslashes(STRING& text)
    {
        if (text.Pos('/') >= 0)
            text.Replace("/", "\\", 1);
    }

    void CutTrailingSeparators(STRING& text)
    {
        while (text.NotEmpty() && (text.Text()[text.Length() - 1] == '\\' || text.Text()[text.Length() - 1] == '/'))
            text.Truncate(text.Length() - 1);
    }

    bool IsAbsoluteName(const char* name)
    {
        return name[0] == '\\' || name[0] == '/' || (name[0] && name[1] == ':') ||
               (name[0] == '~' && (name[1] == '/' || name[1] == '\\'));
    }
}

FILENAME::FILENAME() : StatusValid(false), StatusSize(-1), StatusModified(0)
{
}

FILENAME::FILENAME(const char* text) : StatusValid(false), StatusSize(-1), StatusModified(0)
{
    Normalise(text);
}

FILENAME::FILENAME(const char* dir, const char* name) : StatusValid(false), StatusSize(-1), StatusModified(0)
{
    FILENAME normalisedName(name);
    if (normalisedName.Length() > 0 && IsAbsoluteName(normalisedName.Text()))
    {
        Path = normalisedName.Path;
    }
    else
    {
        Path = (dir && dir[0]) ? dir : ".";
        SlashesToBackslashes(Path);
        CutTrailingSeparators(Path);
        Path.Append("\\");
        Path.Append(normalisedName.Path);
        ExpandShellString();
        SlashesToBackslashes(Path);
    }
    Logit("FILENAME::FILENAME returns '%s'\n", Path.Text());
}

FILENAME::FILENAME(const FILENAME& other)
    : Path(other.Path), StatusValid(other.StatusValid), StatusSize(other.StatusSize),
      StatusModified(other.StatusModified)
{
    SlashesToBackslashes(Path);
    bool driveRoot = Path.Length() == 3 && Path.Text()[1] == ':' && Path.Text()[2] == '\\';
    if (!driveRoot && strcmp(Path.Text(), "/") != 0)
        CutTrailingSeparators(Path);
}

FILENAME& FILENAME::operator=(const FILENAME& other)
{
    if (this != &other)
    {
        Path = other.Path;
        StatusValid = other.StatusValid;
        StatusSize = other.StatusSize;
        StatusModified = other.StatusModified;
    }
    return *this;
}

FILENAME& FILENAME::operator=(const char* text)
{
    Normalise(text);
    return *this;
}

void FILENAME::ClearStatus()
{
    StatusValid = false;
    StatusSize = -1;
    StatusModified = 0;
}

void FILENAME::Normalise(const char* text)
{
    ClearStatus();
    if (!text)
    {
        SlashesToBackslashes(Path);
        return;
    }
    if (_stricmp(text, "<self>") == 0)
        Path = OSYS::GetProgramPath();
    else
        Path = STRING(text);
    ExpandShellString();
    SlashesToBackslashes(Path);
}

void FILENAME::ExpandShellString()
{
    const char* text = Path.Text();
    bool examine = Path.NotEmpty() &&
                   (text[0] == '%' || text[0] == '~' || text[0] == '$' ||
                    Path.iPos("%USERNAME%", 0) >= 0 || Path.iPos("%COMPUTERNAME%", 0) >= 0);
    if (examine)
    {
        InitShellStrings();
        STRING before(Path);
        SlashesToBackslashes(Path);
        if (Path.Text()[0] == '~' && Path.Text()[1] == '\\')
        {
            Path.DeleteLeft(1);
            Path = STRING("%USERHOME%") || Path.Text();
        }
        STRING named(Path);
        if (Path.iPos("%USERNAME%", 0) >= 0)
            Path.Replace("%USERNAME%", OSYS::GetUserName().Text(), 0);
        if (Path.iPos("%COMPUTERNAME%", 0) >= 0)
            Path.Replace("%COMPUTERNAME%", OSYS::GetComputerName().Text(), 0);
        if (strcmp(named.Text(), Path.Text()) == 0)
        {
            for (const SHELLSTRING& entry : gShellStrings)
            {
                if (entry.Name.IsEmpty() || entry.Value.IsEmpty())
                    continue;
                const STRING* match = StartsWithNoCase(Path.Text(), entry.Name.Text())      ? &entry.Name
                                    : StartsWithNoCase(Path.Text(), entry.AltName.Text())   ? &entry.AltName
                                                                                            : 0;
                if (!match)
                    continue;
                STRING value(entry.Value);
                CutTrailingSeparators(value);
                Path = value || Path.Text() + match->Length();
                break;
            }
        }
        Logit("FILENAME::ExpandShellString %s -> %s\n", before.Text(), Path.Text());
    }
    if (Path.NotEmpty())
    {
        SlashesToBackslashes(Path);
        CutTrailingSeparators(Path);
        if (Path.Length() == 2 && Path.Text()[1] == ':')
            Path.Append("\\");
    }
}

void FILENAME::ShellStringSet(const char* name, const char* value, bool hidden)
{
    name = STRING::NullGuard(name);
    value = STRING::NullGuard(value);
    Logit("FILENAME::ShellStringSet '%s' to '%s'\n", name, value);
    InitShellStrings();
    SHELLSTRING* slot = 0;
    for (SHELLSTRING& entry : gShellStrings)
    {
        if (strcmp(entry.Name.Text(), name) == 0 && entry.Name.NotEmpty())
        {
            slot = &entry;
            break;
        }
    }
    for (int i = 0; !slot && i < ShellStringSlots; i++)
    {
        if (gShellStrings[i].Name.IsEmpty())
            slot = &gShellStrings[i];
    }
    if (!slot)
        return;
    slot->Name = name;
    STRING bare(name);
    bare.Trim('B', "%");
    slot->AltName = STRING("$(") || bare.Text();
    slot->AltName.Append(")");
    slot->Value = value;
    slot->Hidden = hidden;

    for (bool swapped = true; swapped;)
    {
        swapped = false;
        for (int i = 0; i + 1 < ShellStringSlots; i++)
        {
            if (gShellStrings[i].Value.Length() < gShellStrings[i + 1].Value.Length())
            {
                std::swap(gShellStrings[i], gShellStrings[i + 1]);
                swapped = true;
            }
        }
    }
}

bool FILENAME::Exists() const
{
    if (Path.IsEmpty())
    {
        Logit("FILENAME::Exists without name returns FALSE\n");
        return false;
    }
    if (_access(Path.Text(), 0) == 0)
        return true;
    int error = errno;
    Logit("FILENAME::Exists '%s' returns FALSE, accress errno= %d (%s)\n", Path.Text(), error, strerror(error));
    return false;
}

bool FILENAME::IsDirectory() const
{
    DWORD attributes = GetFileAttributesA(Path.Text());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FILENAME::IsFile() const
{
    return Exists() && !IsDirectory();
}

int64_t FILENAME::Size() const
{
    struct _stat64 status;
    if (Path.IsEmpty() || _stat64(Path.Text(), &status) != 0)
        return -1;
    return status.st_size;
}

int64_t FILENAME::ModificationTime(bool refresh)
{
    if (!StatusValid || refresh)
    {
        struct _stat64 status;
        if (Path.IsEmpty() || _stat64(Path.Text(), &status) != 0)
        {
            ClearStatus();
            return 0;
        }
        StatusValid = true;
        StatusSize = status.st_size;
        StatusModified = status.st_mtime;
    }
    return StatusModified;
}

FILENAME FILENAME::FullPath() const
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(Path.Text(), sizeof(full), full, 0);
    if (n == 0 || n >= sizeof(full))
        return *this;
    char longName[MAX_PATH];
    n = GetLongPathNameA(full, longName, sizeof(longName));
    if (n == 0 || n >= sizeof(longName))
        return *this;
    return FILENAME(longName);
}

FILENAME FILENAME::Directory() const
{
    const char* text = Path.Text();
    int end = -1;
    for (int i = 0; text[i]; i++)
    {
        if (text[i] == '\\' || text[i] == '/' || (i == 1 && text[i] == ':') || (i == 0 && text[i] == '~'))
            end = i;
    }
    if (end < 0)
        return FILENAME(".");
    FILENAME result;
    result.Path = Path.Left(end + 1);
    bool driveRoot = result.Path.Length() == 3 && result.Path.Text()[1] == ':';
    if (!driveRoot)
        CutTrailingSeparators(result.Path);
    if (result.Path.Length() == 2 && result.Path.Text()[1] == ':')
        result.Path.Append("\\");
    return result;
}

STRING FILENAME::Name() const
{
    const char* text = Path.Text();
    int start = 0;
    for (int i = 0; text[i]; i++)
    {
        if (text[i] == '\\' || text[i] == '/' || (i == 1 && text[i] == ':') || (i == 0 && text[i] == '~'))
            start = i + 1;
    }
    return Path.Mid(start);
}

FILE* fsopen(const char* name, const char* mode, int share, int utf8)
{
    name = STRING::NullGuard(name);
    mode = STRING::NullGuard(mode);
    LogitIf(2, "FILENAME::fsopen(%s, %s, %d)\n", name, mode, share);
    int shareFlag = share;
    if (share == -1)
    {
        if (strchr(mode, 'w') || strchr(mode, 'a'))
            shareFlag = _SH_DENYRW;
        else if (strchr(mode, 'r'))
            shareFlag = strchr(mode, '+') ? _SH_DENYRW : _SH_DENYWR;
        else
            shareFlag = 0;
    }
    FILE* stream = _fsopen(name, mode, shareFlag);
    int descriptor = -1;
    if (stream)
    {
        if (strchr(mode, 'a'))
            fseek(stream, 0, SEEK_END);
        descriptor = _fileno(stream);
    }
    Logit("FILENAME::fsopen(%s, %s, %d) returns f= 0x%p, fd= %d\n", name, mode, share, (void*)stream, descriptor);
    return stream;
}
