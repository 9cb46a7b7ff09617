// Win32 system information and texts: code pages, the performance counter,
// Windows versions, system folders, names, error and date texts, CRC-32.

#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>
#include <stdio.h>
#include <time.h>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/os/osysinternal_win32.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"

namespace
{
    SYSTEMFUNCTION<decltype(SHGetFolderPathA)> gFolderPath("shell32.dll", "SHGetFolderPathA");
    SYSTEMFUNCTION<decltype(PlaySoundA)> gPlaySound("winmm.dll", "PlaySoundA");
}

namespace OSYS
{
int GetAnsiCodePage()
{
    return static_cast<int>(GetACP());
}

int GetOemCodePage()
{
    return static_cast<int>(GetOEMCP());
}

int MultiByteToWide(int codepage, const char* text, int len, char16_t* out, int outmax)
{
    if (!text || len == 0 || (out && outmax <= 0))
        return 0;
    // UTF-7/8, the ISO 2022 family and the symbol page refuse MB_PRECOMPOSED.
    DWORD flags = (codepage >= 50000 || codepage == CP_SYMBOL) ? 0 : MB_PRECOMPOSED;
    int n = ::MultiByteToWideChar(static_cast<UINT>(codepage), flags, text, len, reinterpret_cast<wchar_t*>(out),
                                  out ? outmax : 0);
    return n > 0 ? n : 0;
}

int WideToMultiByte(int codepage, const char16_t* wtext, int len, char* out, int outmax, int* usedDefault)
{
    if (usedDefault)
        *usedDefault = 0;
    if (!wtext || len == 0 || (out && outmax <= 0))
        return 0;
    // UTF-7 and UTF-8 take no default character.
    const bool utf = codepage == CP_UTF7 || codepage == CP_UTF8;
    BOOL used = FALSE;
    int n = ::WideCharToMultiByte(static_cast<UINT>(codepage), 0, reinterpret_cast<const wchar_t*>(wtext), len, out,
                                  out ? outmax : 0, utf ? 0 : "?", utf ? 0 : &used);
    if (usedDefault)
        *usedDefault = used != FALSE;
    return n > 0 ? n : 0;
}

int FormatWideV(char16_t* buffer, int size, const char16_t* format, va_list args)
{
    if (!format)
        return -1;
    const wchar_t* wformat = reinterpret_cast<const wchar_t*>(format);
    va_list again;
    va_copy(again, args);
    int needed = _vscwprintf(wformat, again);
    va_end(again);
    if (needed >= 0 && buffer && size > 0)
    {
        // The runtime leaves a text that exactly fills the buffer unterminated.
        _vsnwprintf(reinterpret_cast<wchar_t*>(buffer), static_cast<size_t>(size), wformat, args);
        buffer[needed < size ? needed : size - 1] = 0;
    }
    return needed;
}

// msvcrt.dll's formatter, called by name: the C++ runtime's headers switch
// the plain names to mingw-w64's own formatter, which links its number
// conversions (gdtoa) into the program.
int FormatV(char* buffer, size_t size, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int needed = _vscprintf(format, again);
    va_end(again);
    if (needed >= 0 && buffer && size > 0)
    {
        // The runtime leaves a text that exactly fills the buffer unterminated.
        _vsnprintf(buffer, size, format, args);
        buffer[(size_t)needed < size ? (size_t)needed : size - 1] = 0;
    }
    return needed;
}
}


namespace
{
    const char* const OsNames[] = {
        "Windows 95/98", "Windows NT4", "Windows 2000", "Windows XP", "Windows 2003 family",
        "Windows Vista", "Windows 7", "Windows 8", "Windows 8.1", "Windows 10", "Windows 11",
    };

    const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

    struct SYSTEMPATHTYPE
    {
        const char* ValueName;
        const char* Key;       // null: the "Shell Folders" key
        bool LocalMachine;
        int Csidl;
    };

    // Table of the valid types; types not listed are invalid.
    bool LookupSystemPathType(int type, int osId, SYSTEMPATHTYPE* out)
    {
        switch (type)
        {
        case 0:  *out = {"Programs", 0, false, CSIDL_PROGRAMS}; return true;
        case 1:  *out = {"Startup", 0, false, CSIDL_STARTUP}; return true;
        case 2:  *out = {"ProgramFilesDir", "Software\\Microsoft\\Windows\\CurrentVersion", true, CSIDL_PROGRAM_FILES}; return true;
        case 5:  *out = {"AppData", 0, false, CSIDL_APPDATA}; return true;
        case 6:  *out = {"Personal", 0, false, CSIDL_PERSONAL}; return true;
        case 7:  *out = {"My Pictures", 0, false, CSIDL_MYPICTURES}; return true;
        case 8:  *out = {"Desktop", 0, false, CSIDL_DESKTOPDIRECTORY}; return true;
        case 9:  *out = {"SendTo", 0, false, CSIDL_SENDTO}; return true;
        case 10: *out = {"Common Programs", 0, true, CSIDL_COMMON_PROGRAMS}; return true;
        case 11: *out = {"Common Startup", 0, true, CSIDL_COMMON_STARTUP}; return true;
        case 12:
            if (osId >= 1)
                *out = {"Common Documents", 0, true, CSIDL_COMMON_DOCUMENTS};
            else
                *out = {"Common AppData", 0, true, CSIDL_COMMON_APPDATA};
            return true;
        case 13: *out = {"Common AppData", 0, true, CSIDL_COMMON_APPDATA}; return true;
        case 14:
        case 18:
        case 19: *out = {"Personal", 0, false, CSIDL_PERSONAL}; return true;
        case 22: *out = {"Local AppData", 0, false, CSIDL_LOCAL_APPDATA}; return true;
        case 24: *out = {"Common Desktop", 0, true, CSIDL_COMMON_DESKTOPDIRECTORY}; return true;
        default: return false;
        }
    }

    int64_t gElapsedStart = 0;
    bool gElapsedStarted = false;
}

namespace OSYS
{

int OsIdFromVersion(unsigned platformId, unsigned major, unsigned minor, unsigned build)
{
    if (platformId != VER_PLATFORM_WIN32_NT)
        return 0;
    if (major >= 10)
        return build >= 22000 ? 10 : 9;
    if (major == 5)
    {
        if (minor == 0)
            return 2;
        return minor == 1 ? 3 : 4;
    }
    if (major == 6)
    {
        switch (minor)
        {
        case 1: return 6;
        case 2: return 7;
        case 3: return 8;
        default: return 5;     // 6.0, and 6.x from 4 on
        }
    }
    return 1;
}

int GetOsId()
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return 0;
#pragma GCC diagnostic pop
    return OsIdFromVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

STRING GetOsName()
{
    return OsNameFromId(GetOsId());
}

STRING OsNameFromId(int id)
{
    if (id >= 0 && id < (int)(sizeof(OsNames) / sizeof(OsNames[0])))
        return STRING(OsNames[id]);
    return STRING::Sprintf("<unknown type %d>", id);
}

int SystemPathTypeFor(int type, const char* userName)
{
    if (userName && lstrcmpiA(userName, "SYSTEM") == 0)
    {
        if (type == 8)
            return 24;
        if (type == 6 || type == 14 || type == 18 || type == 19)
            return 12;
    }
    return type;
}

STRING GetSystemPath(int type)
{
    LogitIf(1, "[>>]OSYS::GetSystemPath %d\n", type);
    STRING result;
    STRING user = GetUserName();
    bool isSystemUser = lstrcmpiA(user.Text(), "SYSTEM") == 0;

    SYSTEMPATHTYPE entry = {0, 0, false, 0};
    if (!LookupSystemPathType(SystemPathTypeFor(type, user.Text()), GetOsId(), &entry))
        AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);

    HKEY root = entry.LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    char text[1024] = "";
    bool ok = false;
    if (entry.ValueName)
    {
        HKEY key = 0;
        LONG rc = RegOpenKeyExA(root, entry.Key ? entry.Key : ShellFoldersKey, 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS)
        {
            if (isSystemUser && root == HKEY_CURRENT_USER)
            {
                Logit("OSYS::GetSystemPath type %d failed for HKEY_CURRENT_USER context with current user= SYSTEM\n", type);
                Logit("OSYS::GetSystemPath -> lasterr= %d/%s\n", (int)rc, GetErrorText(rc).Text());
            }
            else
            {
                char info[64];
                FORMAT::Print(info, sizeof(info), "GetSystemPath %d", type);
                ::SetLastError(rc);
                AssertHandler(0, "rc==ERROR_SUCCESS", __FILE__, __LINE__, info, 1);
            }
        }
        else
        {
            DWORD length = sizeof(text) - 1;
            DWORD kind = 0;
            rc = RegQueryValueExA(key, entry.ValueName, 0, &kind, (BYTE*)text, &length);
            RegCloseKey(key);
            if (rc != ERROR_SUCCESS)
            {
                text[0] = 0;
                length = 0;
            }
            text[sizeof(text) - 1] = 0;
            ok = rc == ERROR_SUCCESS;
            LogitIf(1, "OSYS::GetSystemPath after RegQueryValueExA rc=%d, temp=%s, templen=%ld\n", (int)rc, text, (long)length);
            if ((strlen(text) < 3 || length < 3) && entry.Csidl)
            {
                LogitIf(1, "OSYS::GetSystemPath before trying SHGetFolderPathA (RegQueryValueExA returned %s)\n", text);
                auto folderPath = gFolderPath.Get();
                ok = folderPath && SUCCEEDED(folderPath(0, entry.Csidl | CSIDL_FLAG_CREATE, 0, 0, text));
            }
        }
        LogitIf(1, "OSYS::GetSystemPath before ExpandEnvironmentStrings: rc=%d, temp=%s\n", (int)ok, text);
        if (ok)
        {
            char expanded[1024] = "";
            if (!ExpandEnvironmentStringsA(text, expanded, sizeof(expanded)))
                FORMAT::Copy(expanded, text, sizeof(expanded));
            result = expanded;
            if (type == 6 && result.NotEmpty())
            {
                FILENAME parent = FILENAME(result.Text(), "..").FullPath();
                char profile[1024] = "";
                DWORD n = GetEnvironmentVariableA("USERPROFILE", profile, sizeof(profile));
                if (n > 0 && n < sizeof(profile) && parent.IsDirectory() && lstrcmpiA(parent.Text(), profile) == 0)
                    result = parent.Text();
            }
            LogitIf(1, "OSYS::GetSystemPath after ExpandEnvironmentStrings: result=%s\n", result.Text());
            if (result.NotEmpty() && result.Text()[result.Length() - 1] != '\\')
                result.Append("\\");
        }
    }
    Logit("OSYS::GetSystemPath type %d -> '%s'\n", type, result.Text());
    LogitIf(1, "[<<]OSYS::GetSystemPath done\n");
    return result;
}

STRING GetUserName()
{
    char name[256];
    DWORD size = sizeof(name);
    if (!::GetUserNameA(name, &size))
        return STRING();
    return STRING(name);
}

STRING GetComputerName()
{
    char name[256];
    DWORD size = sizeof(name);
    if (!::GetComputerNameA(name, &size))
        return STRING("<N/A>");
    return STRING(name);
}

STRING GetProgramPath()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(0, path, sizeof(path));
    if (n == 0 || n >= sizeof(path))
        return STRING();
    return STRING(path);
}

STRING GetCurrentDirectory()
{
    char path[MAX_PATH];
    DWORD n = ::GetCurrentDirectoryA(sizeof(path), path);
    if (n == 0 || n >= sizeof(path))
        return STRING();
    return STRING(path);
}

bool SetCurrentDirectory(const char* path)
{
    return ::SetCurrentDirectoryA(STRING::NullGuard(path)) != FALSE;
}

STRING GetErrorText(int code)
{
    DWORD error = code == -4711 ? ::GetLastError() : (DWORD)code;
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0, error, 0,
                             text, sizeof(text), 0);
    if (n == 0)
        return STRING("<no error>");
    STRING result(text);
    result.Trim('R', "\r\n");
    return result;
}

int GetLastError()
{
    return (int)::GetLastError();
}

void SetLastError(int code)
{
    ::SetLastError((DWORD)code);
}

uint32_t GetCurrentThreadId()
{
    return ::GetCurrentThreadId();
}

uint32_t GetCurrentProcessId()
{
    return ::GetCurrentProcessId();
}

STRING CurrentDateText()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return STRING::Sprintf("%04d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
}

STRING CurrentTimeText()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return STRING::Sprintf("%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
}

STRING DateTimeText(int64_t time)
{
    __time64_t t = time ? (__time64_t)time : _time64(0);
    struct tm fields;
    if (_localtime64_s(&fields, &t) != 0)
        return STRING("0000-00-00  00:00:00");
    return STRING::Sprintf("%04d-%02d-%02d  %02d:%02d:%02d", fields.tm_year + 1900, fields.tm_mon + 1,
                           fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
}

STRING LocaleTimeText()
{
    char format[80] = "";
    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, format, sizeof(format)) || !format[0])
        FORMAT::Copy(format, "HH:mm:ss", sizeof(format));
    char text[80] = "";
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, 0, 0, format, text, sizeof(text)))
        return CurrentTimeText();
    return STRING(text);
}

int64_t Now()
{
    return (int64_t)_time64(0);
}

bool PerformanceCounter(int64_t* counter, int64_t* frequency)
{
    bool any = false;
    LARGE_INTEGER value;
    if (counter && QueryPerformanceCounter(&value))
    {
        *counter = value.QuadPart;
        any = true;
    }
    if (frequency && QueryPerformanceFrequency(&value))
    {
        *frequency = value.QuadPart;
        any = true;
    }
    return any;
}

int64_t ElapsedMs(bool reset)
{
    int64_t counter = 0, frequency = 1000;
    PerformanceCounter(&counter, &frequency);
    int64_t ticksPerMs = frequency / 1000 > 0 ? frequency / 1000 : 1;
    if (!gElapsedStarted || reset)
    {
        gElapsedStart = counter;
        gElapsedStarted = true;
        return 0;
    }
    return (counter - gElapsedStart) / ticksPerMs;
}

void Sleep(int ms)
{
    ::Sleep(ms < 0 ? INFINITE : (DWORD)ms);
}

void Beep(int frequency, int duration)
{
    ::Beep((DWORD)frequency, (DWORD)duration);
}

}


namespace
{
    class OWNEDDESKTOP
    {
    public:
        explicit OWNEDDESKTOP(HDESK desktop) : Desktop(desktop) {}
        ~OWNEDDESKTOP()
        {
            if (Desktop)
                CloseDesktop(Desktop);
        }
        OWNEDDESKTOP(const OWNEDDESKTOP&) = delete;
        OWNEDDESKTOP& operator=(const OWNEDDESKTOP&) = delete;
        HDESK Get() const { return Desktop; }

    private:
        HDESK Desktop;
    };


    bool LocalFields(int64_t time, SYSTEMTIME& fields)
    {
        __time64_t t = (__time64_t)time;
        struct tm local;
        if (_localtime64_s(&local, &t) != 0)
            return false;
        ZeroMemory(&fields, sizeof(fields));
        fields.wYear = (WORD)(local.tm_year + 1900);
        fields.wMonth = (WORD)(local.tm_mon + 1);
        fields.wDayOfWeek = (WORD)local.tm_wday;
        fields.wDay = (WORD)local.tm_mday;
        fields.wHour = (WORD)local.tm_hour;
        fields.wMinute = (WORD)local.tm_min;
        fields.wSecond = (WORD)local.tm_sec;
        return true;
    }

    BOOL CALLBACK CloseVisibleWindow(HWND window, LPARAM)
    {
        if (IsWindowVisible(window))
            PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    struct CRCTABLE
    {
        uint32_t Entries[256] = {};
        constexpr CRCTABLE()
        {
            for (uint32_t n = 0; n < 256; n++)
            {
                uint32_t c = n;
                for (int k = 0; k < 8; k++)
                    c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                Entries[n] = c;
            }
        }
    };

    const CRCTABLE& CrcTable()
    {
        static constexpr CRCTABLE table;
        return table;
    }
}

namespace OSYS
{
void* const LANGUAGEMODULE = reinterpret_cast<void*>(static_cast<intptr_t>(-1));

bool IsWow64()
{
    typedef BOOL(WINAPI * ISWOW64PROCESS)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    ISWOW64PROCESS isWow64Process =
        kernel ? (ISWOW64PROCESS)(void*)GetProcAddress(kernel, "IsWow64Process") : 0;
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

int WindowStationVisible()
{
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), &needed))
        return -1;
    return (flags.dwFlags & WSF_VISIBLE) ? 1 : 0;
}


STRING GetStringFromResource(int id, void* module)
{
    HINSTANCE instance = static_cast<HINSTANCE>(module);
    if (module == LANGUAGEMODULE)
    {
        // Before the frame has chosen one, the resources are the program's own.
        instance = static_cast<HINSTANCE>(TARNIAPP::ResourceModule());
        if (!instance)
            instance = GetModuleHandleA(0);
    }
    char text[1024];
    int n = LoadStringA(instance, (UINT)id, text, sizeof(text));
    STRING result(n > 0 ? text : "<STRING-ERROR>");
    Logit("OSYS::GetStringFromResource %d returns %s\n", id, result.Text());
    return result;
}

STRING LocaleDateText()
{
    char text[128];
    if (!GetDateFormatA(LOCALE_USER_DEFAULT, 0, 0, 0, text, sizeof(text)))
        return CurrentDateText();
    return STRING(text);
}

STRING LocaleLongDateText()
{
    char format[128] = "";
    char text[256];
    int ok = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLONGDATE, format, sizeof(format)) && format[0]
                 ? GetDateFormatA(LOCALE_USER_DEFAULT, 0, 0, format, text, sizeof(text))
                 : GetDateFormatA(LOCALE_USER_DEFAULT, DATE_LONGDATE, 0, 0, text, sizeof(text));
    return ok ? STRING(text) : CurrentDateText();
}

STRING RelativeDateTimeText(int64_t time, int flags)
{
    SYSTEMTIME fields;
    if (!LocalFields(time, fields))
        return STRING();
    const bool german = PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) == LANG_GERMAN;
    const int64_t day = time / 86400, today = Now() / 86400;
    char weekday[80] = "";
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, &fields, "dddd", weekday, sizeof(weekday));

    STRING result;
    if (day == today)
        result = german ? "Heute" : "Today";
    else if (day == today - 1)
        result = german ? "Gestern" : "Yesterday";
    else if (day >= today - 6 && day < today - 1)
        result = weekday;
    else
    {
        char date[80] = "";
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &fields, 0, date, sizeof(date));
        result = STRING(weekday).Left(2);
        result.Append(" ");
        result.Append(date);
    }
    if (!(flags & RELATIVEDATE_NOTIME))
    {
        char clock[80] = "";
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &fields, "HH:mm:ss", clock, sizeof(clock));
        result.Append("  ");
        result.Append(clock);
    }
    return result;
}

STRING AddToDateText(const char* text, int64_t offset, int divisor)
{
    text = OSYSWIN32::TextOrEmpty(STRING::NullGuard(text));
    short year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    short* const parsed[] = {&year, &month, &day, &hour, &minute, &second};
    // scanf's "%hd-%hd-%hd  %hd:%hd:%hd", by hand: the runtime's scanf would
    // link its own number conversions.
    const char separators[] = "-- ::";
    const char* p = text;
    for (int i = 0; i < 6; i++)
    {
        if (i > 0 && separators[i - 1] != ' ' && *p++ != separators[i - 1])
            return STRING(text);
        char* end = 0;
        long value = strtol(p, &end, 10);
        if (end == p)
            return STRING(text);
        *parsed[i] = (short)value;
        p = end;
    }
    if (divisor == 0)
    {
        AssertHandler(0, "divisor!=0", __FILE__, __LINE__, text, 0);
        return STRING(text);
    }
    CALENDARTIME fields = {year, month, 0, day, hour, minute, second, 0};
    int64_t time = TimeFromCalendar(fields, true) + offset * 86400 / divisor;
    CalendarFromTime(time, fields, true);
    return STRING::Sprintf("%02hd-%02hd-%02hd %02hd:%02hd:%02hd", (short)fields.Year, (short)fields.Month,
                           (short)fields.Day, (short)fields.Hour, (short)fields.Minute, (short)fields.Second);
}

bool CalendarFromTime(int64_t time, CALENDARTIME& fields, bool utc)
{
    __time64_t t = time > 0 ? (__time64_t)time : 0;
    struct tm parts;
    ZeroMemory(&fields, sizeof(fields));
    if ((utc ? _gmtime64_s(&parts, &t) : _localtime64_s(&parts, &t)) != 0)
        return false;
    SYSTEMTIME clock;
    GetSystemTime(&clock);
    fields.Year = parts.tm_year + 1900;
    fields.Month = parts.tm_mon + 1;
    fields.Weekday = parts.tm_wday;
    fields.Day = parts.tm_mday;
    fields.Hour = parts.tm_hour;
    fields.Minute = parts.tm_min;
    fields.Second = parts.tm_sec;
    fields.Milliseconds = clock.wMilliseconds;
    return true;
}

int64_t TimeFromCalendar(const CALENDARTIME& fields, bool utc)
{
    if (fields.Year < 1970)
        return 0;
    struct tm parts;
    ZeroMemory(&parts, sizeof(parts));
    parts.tm_year = fields.Year - 1900;
    parts.tm_mon = fields.Month - 1;
    parts.tm_mday = fields.Day;
    parts.tm_hour = fields.Hour;
    parts.tm_min = fields.Minute;
    parts.tm_sec = fields.Second;
    parts.tm_isdst = -1;
    __time64_t t = utc ? _mkgmtime64(&parts) : _mktime64(&parts);
    return t > 0 ? (int64_t)t : 0;
}


bool PlaySoundFile(const char* path, bool sync)
{
    path = STRING::NullGuard(path);
    Logit("OSYS::PlaySoundFile %s (sync= %d)\n", OSYSWIN32::TextOrEmpty(path), sync ? 1 : 0);
    auto playSound = gPlaySound.Get();
    BOOL ok = path && playSound && playSound(path, 0, SND_FILENAME | SND_NODEFAULT | (sync ? SND_SYNC : SND_ASYNC));
    if (!ok)
        Logit("OSYS::Playsound failed\n");
    return ok != FALSE;
}


bool Shutdown(unsigned flags, unsigned reason)
{
    OWNEDHANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()))
    {
        TOKEN_PRIVILEGES privileges;
        ZeroMemory(&privileges, sizeof(privileges));
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(0, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, 0, 0);
    }
    BOOL ok = ExitWindowsEx(flags, reason);
    Logit("OSYS::Shutdown flags= %x reason= %x returns %d\n", flags, reason, (int)ok);
    return ok != FALSE;
}

bool WakeupHarddisk(const char* directory)
{
    FILENAME name(directory, "wakeup_harddisk.tmp");
    static const char text[] = "Time to Wakeup";
    DWORD written = 0;
    {
        OWNEDHANDLE file(CreateFileA(name.Text(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_WRITE_THROUGH, 0));
        if (file.Get() == INVALID_HANDLE_VALUE)
            return false;
        WriteFile(file.Get(), text, sizeof(text) - 1, &written, 0);
    }
    bool deleted = DeleteFileA(name.Text()) != FALSE;
    return deleted && written == sizeof(text) - 1;
}

void WakeupScreensaver()
{
    Logit("OSYS::WakeupScreensaver\n");
    if (GetOsId() >= 1)
    {
        OWNEDDESKTOP desktop(OpenDesktopA("Screen-saver", 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS));
        if (desktop.Get())
        {
            EnumDesktopWindows(desktop.Get(), CloseVisibleWindow, 0);
            SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, 0, SPIF_SENDWININICHANGE);
        }
    }
    else
    {
        keybd_event(VK_SHIFT, 0x45, KEYEVENTF_EXTENDEDKEY, 0);
        keybd_event(VK_SHIFT, 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    }
}


uint32_t Crc32(uint32_t value, const void* bytes, size_t count)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    if (!p)
        return value;
    const CRCTABLE& table = CrcTable();
    for (size_t i = 0; i < count; i++)
        value = table.Entries[(value ^ p[i]) & 0xFF] ^ (value >> 8);
    return value;
}

uint32_t Crc32Text(uint32_t value, const char* text)
{
    text = STRING::NullGuard(text);
    return text ? Crc32(value, text, strlen(text)) : value;
}

bool Crc32File(const char* path, int64_t length, uint32_t* value)
{
    path = STRING::NullGuard(path);
    if (!path || !value)
        return false;
    OWNEDHANDLE file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return false;
    unsigned char block[1024];
    int64_t total = 0;
    for (;;)
    {
        DWORD wanted = sizeof(block);
        if (length >= 0 && length - total < (int64_t)wanted)
            wanted = (DWORD)(length - total);
        if (wanted == 0)
            break;
        DWORD read = 0;
        if (!ReadFile(file.Get(), block, wanted, &read, 0))
            return false;
        *value = Crc32(*value, block, read);
        total += read;
        if (read < wanted)
            break;
    }
    return length < 0 || total == length;
}

}
