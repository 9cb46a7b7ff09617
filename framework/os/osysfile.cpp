// FILENAME: normalisation, shell strings, queries; fsopen.

#include <windows.h>
#include <ctype.h>
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utime.h>
#include <time.h>
#include <utility>

#include "framework/app/logit.h"
#include "framework/containers/stringarray.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/unicode.h"

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

    // GetTempPathA without its trailing backslash, else TEMP or TMP.
    STRING TempDirectory()
    {
        char dir[MAX_PATH];
        DWORD n = GetTempPathA(sizeof(dir), dir);
        if (n > 0 && n < sizeof(dir))
        {
            STRING result(dir);
            if (result.NotEmpty() && result.Text()[result.Length() - 1] == '\\')
                result.Truncate(result.Length() - 1);
            return result;
        }
        const char* env = getenv("TEMP");
        if (!env)
            env = getenv("TMP");
        if (!env)
        {
            AssertHandler(0, "tempdir!=NULL", __FILE__, __LINE__, 0, 0);
            return STRING();
        }
        return STRING(env);
    }

    // One of the temporary-folder names: the folder itself, or a fresh name in it.
    bool TempFolderName(const char* text, STRING& path)
    {
        if (_strnicmp(text, "<t", 2) != 0)
            return false;
        bool folder = _stricmp(text, "<tempdir>") == 0 || _stricmp(text, "<tmpdir>") == 0;
        bool fresh = _stricmp(text, "<tmp>") == 0 || _stricmp(text, "<temp>") == 0;
        if (!folder && !fresh)
            return false;
        STRING dir = TempDirectory();
        if (folder)
        {
            path = dir;
            return true;
        }
        char name[MAX_PATH + 16];
        FORMAT::Print(name, sizeof(name), "%.259s/Z-XXXXXX", dir.Text());
        if (FILENAME::TempName(name, 0, FILENAME::TEMPNAME_NAME) != 0)
            AssertHandler(0, "fname", __FILE__, __LINE__, name, 0);
        path = name;
        return true;
    }

    // SetFileAttributesA with one attribute set or cleared.
    bool ChangeAttribute(const STRING& path, DWORD attribute, bool on)
    {
        DWORD attributes = GetFileAttributesA(path.Text());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return false;
        attributes = on ? (attributes | attribute) : (attributes & ~attribute);
        return SetFileAttributesA(path.Text(), attributes) != FALSE;
    }

    // Closes a C stream on every path.
    class STREAM
    {
    public:
        explicit STREAM(FILE* stream) : Stream(stream) {}
        ~STREAM()
        {
            if (Stream)
                fclose(Stream);
        }
        STREAM(const STREAM&) = delete;
        STREAM& operator=(const STREAM&) = delete;
        FILE* Get() const { return Stream; }
        // Closes now; false when the last buffered bytes could not be written.
        bool Close()
        {
            bool ok = Stream && fclose(Stream) == 0;
            Stream = 0;
            return ok;
        }

    private:
        FILE* Stream;
    };

    // Ends a directory search on every path.
    class FINDHANDLE
    {
    public:
        explicit FINDHANDLE(HANDLE handle) : Handle(handle) {}
        ~FINDHANDLE()
        {
            if (Valid())
                FindClose(Handle);
        }
        FINDHANDLE(const FINDHANDLE&) = delete;
        FINDHANDLE& operator=(const FINDHANDLE&) = delete;
        bool Valid() const { return Handle != INVALID_HANDLE_VALUE; }
        HANDLE Get() const { return Handle; }

    private:
        HANDLE Handle;
    };

    uint64_t gTempNameCounter = 0;

    // A name of UTF-8 bytes that the 8-bit interfaces cannot reach; wide
    // receives its UTF-16 form.
    bool IsUtf8Name(const char* name, bool mustExist, WSTRING& wide)
    {
        bool high = false;
        for (const char* p = name; *p && !high; p++)
            high = (unsigned char)*p >= 0x80;
        if (!high || _access(name, 0) == 0)
            return false;
        WSTRING decoded;
        UTF8STATE state = {};
        UNICODE::FromUtf8(reinterpret_cast<const unsigned char*>(name), -1, decoded, &state);
        UNICODE::FinishUtf8(decoded, &state);
        if (state.Error || decoded.Length() == 0)
            return false;
        if (mustExist && _waccess(reinterpret_cast<const wchar_t*>(decoded.Text()), 0) != 0)
            return false;
        wide = decoded;
        return true;
    }

    // Created before main: every FILELOCK of the process holds it while active.
    MUTEXSEM gFileLockMutex;
    bool gFileLockSeeded = false;

    bool IsDirectoryPath(const char* path)
    {
        DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    char FoldAscii(char c)
    {
        return (c >= 'a' && c <= 'z') ? (char)(c - ('a' - 'A')) : c;
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
    STRING temp;
    if (_stricmp(text, "<self>") == 0)
        Path = OSYS::GetProgramPath();
    else if (TempFolderName(text, temp))
        Path = temp;
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

bool FILENAME::IsWritable() const
{
    if (Path.IsEmpty())
        return false;
    if (Exists() && !IsDirectory())
    {
        if (_access(Path.Text(), 2) != 0)
            return false;
        STREAM stream(fsopen(Path.Text(), "rb+", _SH_DENYNO));
        return stream.Get() != 0;
    }
    FILENAME dir = IsDirectory() ? *this : Directory();
    return _access(dir.Text(), 2) == 0;
}

bool FILENAME::IsOnNetwork() const
{
    Logit("FILENAME::IsOnNetwork file= %s\n", Path.Text());
    FILENAME fullname = FullPath();
    AssertHandler(fullname.Length() > 0, "fullname.NotEmpty()", __FILE__, __LINE__, Path.Text(), 1);
    const char* text = fullname.Text();
    bool remote = false;
    if (isalpha((unsigned char)text[0]) && text[1] == ':' && text[2] == '\\')
    {
        char root[4] = {text[0], ':', '\\', 0};
        UINT rc = GetDriveTypeA(root);
        AssertHandler(rc != DRIVE_UNKNOWN && rc != DRIVE_NO_ROOT_DIR, "rc!=0 && rc!=1", __FILE__, __LINE__, root, 1);
        remote = rc == DRIVE_REMOTE;
    }
    Logit("FILENAME::IsOnNetwork fullname %s returns %d\n", text, remote ? 1 : 0);
    return remote;
}

bool FILENAME::DateText(STRING& text)
{
    struct _stat64 status;
    if (Path.IsEmpty() || _stat64(Path.Text(), &status) != 0)
    {
        ClearStatus();
        return false;
    }
    StatusValid = true;
    StatusSize = status.st_size;
    StatusModified = status.st_mtime;
    __time64_t modified = status.st_mtime;
    struct tm fields;
    if (_localtime64_s(&fields, &modified) != 0)
        return false;
    text.Format("%04d-%02d-%02d %02d:%02d:%02d", fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                fields.tm_hour, fields.tm_min, fields.tm_sec);
    return true;
}

bool FILENAME::SetModificationTime(int64_t time)
{
    ClearStatus();
    struct __utimbuf64 times;
    times.actime = time;
    times.modtime = time;
    return Path.NotEmpty() && _utime64(Path.Text(), &times) == 0;
}

bool FILENAME::SetModificationTime(const CALENDARTIME& localTime)
{
    return SetModificationTime(OSYS::TimeFromCalendar(localTime, false));
}

bool FILENAME::SetArchive(bool on)
{
    return ChangeAttribute(Path, FILE_ATTRIBUTE_ARCHIVE, on);
}

bool FILENAME::SetHidden(bool on)
{
    return ChangeAttribute(Path, FILE_ATTRIBUTE_HIDDEN, on);
}

bool FILENAME::SetReadOnly(bool on)
{
    return ChangeAttribute(Path, FILE_ATTRIBUTE_READONLY, on);
}

bool FILENAME::CopyTo(const char* target, bool overwrite) const
{
    FILENAME to(target);
    if (!IsFile() || to.IsEmpty())
        return false;
    if (!overwrite && to.Exists())
        return false;
    // A file another program is writing can be copied; the target is the
    // copy's alone, which also refuses a copy onto the source itself.
    STREAM in(fsopen(Path.Text(), "rb", _SH_DENYNO));
    if (!in.Get())
        return false;
    STREAM out(fsopen(to.Text(), "wb"));
    if (!out.Get())
        return false;
    char block[4096];
    size_t read = 0, written = 0;
    do
    {
        read = fread(block, 1, sizeof(block), in.Get());
        written = fwrite(block, 1, read, out.Get());
    } while (read == sizeof(block) && written == read);
    bool ok = read == written && !ferror(in.Get());
    return out.Close() && ok;
}

bool FILENAME::FixInvalidChars(bool allowSeparators, int replacement)
{
    const char* invalid = allowSeparators ? ":*?\"<>|" : "/\\:*?\"<>|";
    if (replacement == -1)
    {
        Path.RemoveChars(invalid, 1);
        ClearStatus();
        return false;
    }
    bool found = false;
    for (int i = 0; i < Path.Length(); i++)
    {
        if (Path.Text()[i] && strchr(invalid, Path.Text()[i]))
        {
            Path[i] = (char)replacement;
            found = true;
        }
    }
    if (found)
        ClearStatus();
    return found;
}

STRING FILENAME::AsShellStrings(bool unixStyle) const
{
    Logit("FILENAME::AsShellStrings %s\n", Path.Text());
    STRING result(Path);
    SlashesToBackslashes(result);
    InitShellStrings();
    for (const SHELLSTRING& entry : gShellStrings)
    {
        if (entry.Name.IsEmpty() || entry.Value.IsEmpty() || entry.Hidden)
            continue;
        STRING value(entry.Value);
        SlashesToBackslashes(value);
        CutTrailingSeparators(value);
        if (StartsWithNoCase(result.Text(), value.Text()))
            result = entry.Name || result.Text() + value.Length();
    }
    STRING user = OSYS::GetUserName();
    if (user.NotEmpty())
        result.Replace((STRING("\\") || user || "\\").Text(), "\\%USERNAME%\\", 0);
    if (unixStyle)
    {
        for (const char* home : {"%USERPROFILE%", "%USERHOME%", "$(USERPROFILE)", "$(USERHOME)"})
        {
            if (StartsWithNoCase(result.Text(), home))
            {
                result = STRING("~") || result.Text() + strlen(home);
                break;
            }
        }
        result.Replace("\\", "/", 1);
        if (strcmp(result.Text(), "~") == 0)
            result.Append("/");
    }
    else
    {
        SlashesToBackslashes(result);
    }
    Logit("FILENAME::AsShellStrings done %s\n", result.Text());
    return result;
}

bool FILENAME::MakeDirectory()
{
    ClearStatus();
    return _mkdir(Path.Text()) == 0;
}

bool FILENAME::Delete()
{
    ClearStatus();
    return remove(Path.Text()) == 0;
}

bool FILENAME::SetAsCurrentDirectory()
{
    return SetCurrentDirectoryA(Path.Text()) != FALSE;
}

bool FILENAME::ResolveFinalPath(bool mustExist)
{
    WSTRING wide;
    if (Path.IsEmpty() || !IsUtf8Name(Path.Text(), false, wide))
        return false;
    if (!mustExist)
        AssertHandler(0, "must_exist", __FILE__, __LINE__, Path.Text(), 0);
    STRING original(Path);
    ExpandShellString();
    bool hadShellStrings = strcmp(original.Text(), Path.Text()) != 0;
    if (hadShellStrings && !IsUtf8Name(Path.Text(), false, wide))
        return false;

    OWNEDHANDLE file(CreateFileW(reinterpret_cast<const wchar_t*>(wide.Text()), GENERIC_READ, FILE_SHARE_READ, 0,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0));
    if (!file.Valid())
        return false;
    // Missing before Vista: looked up at run time.
    typedef DWORD(WINAPI * FINALPATHNAME)(HANDLE, LPSTR, DWORD, DWORD);
    DLLINTERFACE kernel("kernel32.dll", "GetFinalPathNameByHandleA");
    FINALPATHNAME finalPathName = reinterpret_cast<FINALPATHNAME>(reinterpret_cast<void*>(kernel.GetFunction()));
    if (!finalPathName)
        return false;
    char final[4 * MAX_PATH];
    DWORD n = finalPathName(file.Get(), final, sizeof(final), 0);
    if (n == 0 || n >= sizeof(final))
        return false;
    const char* text = _strnicmp(final, "\\\\?\\", 4) == 0 ? final + 4 : final;
    ClearStatus();
    Path = STRING(text);
    if (hadShellStrings)
        Path = AsShellStrings();
    return true;
}

int FILENAME::TempName(char* templ, int suffixLength, int mode)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const int savedErrno = errno;
    size_t length = templ ? strlen(templ) : 0;
    if (!templ || suffixLength < 0 || length < (size_t)suffixLength + 6 ||
        strncmp(templ + length - suffixLength - 6, "XXXXXX", 6) != 0)
    {
        errno = EINVAL;
        return -1;
    }
    if (mode != TEMPNAME_NAME && mode != TEMPNAME_FILE && mode != TEMPNAME_DIRECTORY)
    {
        AssertHandler(0, "not supported", __FILE__, __LINE__, 0, 0);
        errno = EINVAL;
        return -1;
    }
    char* end = templ + length - suffixLength;
    char* start = end - 6;
    while (start > templ && start[-1] == 'X')
        start--;

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = ((uint64_t)now.dwHighDateTime << 32 | now.dwLowDateTime) - 116444736000000000ULL;
    uint64_t seconds = ticks / 10000000, microseconds = (ticks / 10) % 1000000;
    gTempNameCounter += (microseconds << 16) ^ seconds ^ GetCurrentProcessId();

    for (int attempt = 0; attempt < 62 * 62; attempt++, gTempNameCounter += 1234)
    {
        uint64_t value = gTempNameCounter;
        char* p = start;
        for (int i = 0; i < 6; i++, p++, value /= 62)
            *p = letters[value % 62];
        for (; p < end; p++, value /= 10)
            *p = (char)('0' + value % 10);

        if (mode == TEMPNAME_NAME)
        {
            struct _stat64 status;
            if (_stat64(templ, &status) == 0)
                continue;
            if (errno != ENOENT)
                return -1;
            errno = savedErrno;
            return 0;
        }
        if (mode == TEMPNAME_FILE)
        {
            int descriptor = _open(templ, _O_RDWR | _O_CREAT | _O_EXCL, 0777);
            if (descriptor >= 0)
            {
                errno = savedErrno;
                return descriptor;
            }
        }
        else if (_mkdir(templ) == 0)
        {
            errno = savedErrno;
            return 0;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
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
    bool writing = strchr(mode, 'w') != 0;
    WSTRING wide;
    FILE* stream = 0;
    if (!(writing && utf8 && IsUtf8Name(name, false, wide)))
        stream = _fsopen(name, mode, shareFlag);
    if (!stream && utf8 && IsUtf8Name(name, !writing, wide))
    {
        WSTRING wideMode(mode, 1252);
        stream = _wfsopen(reinterpret_cast<const wchar_t*>(wide.Text()),
                          reinterpret_cast<const wchar_t*>(wideMode.Text()), shareFlag);
    }
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

bool fscommit(FILE* stream)
{
    return stream && _commit(_fileno(stream)) == 0;
}

FILELOCK::FILELOCK(const char* filename) : FileLock(0), Active(false)
{
    STRING name(FILENAME(filename).GetPath());
    name.Append(".lock");
    LockName = name.Text();
}

FILELOCK::~FILELOCK()
{
    if (Active)
        Unlock();
}

bool FILELOCK::Lock(int timeout, bool hardFail)
{
    if (Active)
    {
        AssertHandler(0, "!this->IsLockActive", __FILE__, __LINE__, LockName.Text(), 0);
        return true;
    }
    if (!gFileLockMutex.Request(-1))
    {
        // An abandoned wait (a thread ended holding a lock) leaves the mutex
        // owned here; give it back, or every other thread's lock waits for ever.
        if (gFileLockMutex.Request(0))
        {
            gFileLockMutex.Release();
            gFileLockMutex.Release();
        }
        return Active;
    }
    if (!WaitForFile(timeout))
    {
        if (!hardFail)
            AssertHandler(0, "this->FileLock!=0 || hard_fail", __FILE__, __LINE__, ErrorText.Text(), 1);
        Logit("WARNING! FILELOCK::Lock could not obtail file lock\n");
        if (hardFail)
        {
            gFileLockMutex.Release();
            return false;
        }
    }
    Active = true;
    return true;
}

bool FILELOCK::WaitForFile(int timeout)
{
    // Without a seed of its own every process would sleep the same times.
    if (!gFileLockSeeded)
    {
        srand((unsigned)(GetTickCount() ^ (GetCurrentProcessId() << 16)));
        gFileLockSeeded = true;
    }
    int budget = timeout == -1 ? 4000 : (timeout < 0 ? 0 : timeout);
    int slept = 0;
    int lastErrno = 0;
    for (int attempt = 0;; attempt++)
    {
        FileLock = fsopen(LockName.Text(), "w", _SH_DENYRW, 0);
        if (FileLock)
            return true;
        lastErrno = errno;
        Logit("FILELOCK::WaitForFile loop %d\n", attempt);
        int pause = rand() % 100 - 50 + (attempt < 5 ? 100 : 250);
        OSYS::Sleep(pause);
        slept += pause;
        if (slept >= budget)
            break;
    }
    Logit("FILELOCK::WaitForFile failed to obtain lock\n");
    ErrorText.Format("fsopen failed for '%s', errno= %d: %s", LockName.Text(), lastErrno, strerror(lastErrno));
    return false;
}

bool FILELOCK::Unlock()
{
    if (!Active)
    {
        AssertHandler(0, "this->IsLockActive", __FILE__, __LINE__, LockName.Text(), 0);
        return true;
    }
    if (FileLock)
    {
        fclose(FileLock);
        FileLock = 0;
        remove(LockName.Text());
    }
    gFileLockMutex.Release();
    Active = false;
    return true;
}

bool OSYS::MatchWildcard(const char* name, const char* pattern)
{
    if (!*pattern)
        return !*name;
    if (*pattern == '?')
        return *name && MatchWildcard(name + 1, pattern + 1);
    if (*pattern == '*')
    {
        if (!pattern[1])
            return true;
        for (const char* rest = name; *rest; rest++)
        {
            if (MatchWildcard(rest, pattern + 1))
                return true;
        }
        return false;
    }
    return *name && FoldAscii(*name) == FoldAscii(*pattern) && MatchWildcard(name + 1, pattern + 1);
}

int OSYS::ListFiles(const char* basedir, const char* pattern, STRINGARRAY* result, bool recurse)
{
    basedir = STRING::NullGuard(basedir);
    pattern = STRING::NullGuard(pattern);
    Logit("OSYS::ListFiles %s/%s\n", basedir, pattern);
    bool all = strcmp(pattern, "*") == 0 || _stricmp(pattern, "*.*") == 0;
    FILENAME base = FILENAME(basedir).FullPath();
    int count = 0;
    WIN32_FIND_DATAA data;
    FINDHANDLE find(FindFirstFileA(FILENAME(base.Text(), "*").Text(), &data));
    if (find.Valid())
    {
        do
        {
            const char* name = data.cFileName;
            bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (strpbrk(name, "%$("))
            {
                Logit("OSYS::ListFiles Warning! Ingoring '%s' (would convert to shell string)\n", name);
                continue;
            }
            FILENAME entry(base.Text(), name);
            if (_strnicmp(entry.Text(), base.Text(), base.Length()) != 0)
            {
                Logit("OSYS::ListFiles Warning! Ingoring '%s' (not in basedir '%s')\n", entry.Text(), base.Text());
                continue;
            }
            if (!directory)
            {
                if (!all && !MatchWildcard(name, pattern))
                    continue;
                count++;
                if (result)
                {
                    Logit("OSYS::ListFiles %s/%s found '%s'\n", base.Text(), pattern, entry.Text());
                    result->AddItem(entry.GetPath());
                }
            }
            else if (name[0] != '.' && recurse)
            {
                count += ListFiles(entry.Text(), pattern, result, recurse);
                if (result && all)
                {
                    result->AddItem(entry.GetPath());
                    count++;
                }
            }
        } while (FindNextFileA(find.Get(), &data));
    }
    Logit("OSYS::ListFiles %s/%s done, howmany= %d\n", base.Text(), pattern, count);
    return count;
}

bool OSYS::CreateDirectoryPath(const char* path)
{
    FILENAME target(STRING::NullGuard(path));
    const char* rest = target.Text();
    STRING prefix;
    if (rest[0] == '\\' && rest[1] == '\\')
    {
        // A network path: "\\server\" is the first prefix, never created.
        const char* serverEnd = strchr(rest + 2, '\\');
        if (!serverEnd)
            return target.IsDirectory();
        prefix.Set((int)(serverEnd + 1 - rest), rest);
        rest = serverEnd + 1;
    }
    while (*rest)
    {
        const char* separator = strchr(rest, '\\');
        prefix.Append(rest, separator ? (int)(separator - rest) : -1);
        prefix.Append("\\");
        if (prefix.NotEmpty() && !IsDirectoryPath(prefix.Text()))
        {
            bool ok = _mkdir(prefix.Text()) == 0;
            Logit("OSYS::CreateDirectoryPath mkdir %s returns ok= %d\n", prefix.Text(), ok ? 1 : 0);
            if (!ok)
                return false;
        }
        if (!separator)
            break;
        rest = separator + 1;
    }
    return target.IsDirectory();
}

bool OSYS::CopyTree(const char* source, const char* target)
{
    FILENAME from = FILENAME(STRING::NullGuard(source)).FullPath();
    FILENAME to(STRING::NullGuard(target));
    if (!from.IsDirectory() || !CreateDirectoryPath(to.Text()))
        return false;
    STRINGARRAY entries;
    ListFiles(from.Text(), "*", &entries, true);
    bool ok = true;
    for (int i = 0; i < entries.Count(); i++)
    {
        FILENAME entry(entries.Text(i));
        const char* relative = entry.Text() + from.Length();
        while (*relative == '\\')
            relative++;
        FILENAME copy(to.Text(), relative);
        if (entry.IsDirectory())
            ok = CreateDirectoryPath(copy.Text()) && ok;
        else
            ok = CreateDirectoryPath(copy.Directory().Text()) && entry.CopyTo(copy.Text(), true) && ok;
    }
    return ok;
}

bool OSYS::DeleteTree(const char* directory)
{
    FILENAME root = FILENAME(STRING::NullGuard(directory)).FullPath();
    if (!IsDirectoryPath(root.Text()))
        return false;
    STRINGARRAY entries;
    ListFiles(root.Text(), "*", &entries, true);
    // The list holds the files of a linked folder (junction or symbolic link)
    // as if they were in the tree: only the link itself goes, never its target.
    STRINGARRAY links;
    for (int i = 0; i < entries.Count(); i++)
    {
        DWORD attributes = GetFileAttributesA(entries.Text(i));
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            links.AddItem(STRING(entries.Text(i)));
    }
    auto throughLink = [&links](const char* path) {
        for (int i = 0; i < links.Count(); i++)
        {
            int length = links.GetItem(i)->Length();
            if (_strnicmp(path, links.Text(i), length) == 0 && path[length] == '\\')
                return true;
        }
        return false;
    };
    for (int i = 0; i < entries.Count(); i++)
    {
        FILENAME entry(entries.Text(i));
        if (!entry.IsDirectory() && !throughLink(entry.Text()))
        {
            entry.SetReadOnly(false);
            entry.Delete();
        }
    }
    // Each folder comes after its contents in the list.
    for (int i = 0; i < entries.Count(); i++)
    {
        if (IsDirectoryPath(entries.Text(i)) && !throughLink(entries.Text(i)))
            _rmdir(entries.Text(i));
    }
    _rmdir(root.Text());
    return GetFileAttributesA(root.Text()) == INVALID_FILE_ATTRIBUTES;
}
