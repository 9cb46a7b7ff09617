// Win32 implementations of the operating-system layer: synchronisation
// objects, the performance counter, system folders, names, error and date texts.

#include <windows.h>
#include <mmsystem.h>
#include <process.h>
#include <shellapi.h>
#include <shlobj.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"


MUTEXSEM::MUTEXSEM(int state, const char* name, int openmode) : hmux(0), OwnerThreadId(0)
{
    if (openmode != CREATE && openmode != OPEN)
        AssertHandler(0, "openmode==MUTEXSEM::CREATE || openmode==MUTEXSEM::OPEN", __FILE__, __LINE__, 0, 0);
    if (state != 0 && openmode != CREATE)
        AssertHandler(0, "state==0 || openmode==MUTEXSEM::CREATE", __FILE__, __LINE__, 0, 0);

    if (openmode == OPEN)
        hmux = OpenMutexA(SYNCHRONIZE, FALSE, name);
    else
        hmux = CreateMutexA(0, state != 0, name);
    LogitIf(11, "MUTEXSEM::MUTEXSEM created %p, name= %s\n", hmux, STRING::NullGuard(name));
    if (!hmux)
        AssertHandler(0, "this->hmux", __FILE__, __LINE__, 0, 0);
}

MUTEXSEM::~MUTEXSEM()
{
    LogitIf(11, "MUTEXSEM::MUTEXSEM delete %p\n", hmux);
    if (hmux && !CloseHandle(hmux))
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", hmux);
        AssertHandler(0, "ok", __FILE__, __LINE__, info, 0);
    }
}

bool MUTEXSEM::Request(int timeout)
{
    DWORD rc = hmux ? WaitForSingleObject(hmux, timeout < 0 ? INFINITE : (DWORD)timeout) : WAIT_FAILED;
    if (rc == WAIT_FAILED)
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", hmux);
        AssertHandler(0, "rc!=WAIT_FAILED", __FILE__, __LINE__, info, 0);
    }
    if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED)
        OwnerThreadId = ::GetCurrentThreadId();
    return rc == WAIT_OBJECT_0;
}

bool MUTEXSEM::Release()
{
    BOOL ok = hmux ? ReleaseMutex(hmux) : FALSE;
    if (!ok)
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", hmux);
        AssertHandler(0, "ok", __FILE__, __LINE__, info, 0);
    }
    return ok != FALSE;
}


CRITSECT::CRITSECT() : pCritSect(malloc(sizeof(CRITICAL_SECTION)))
{
    if (!pCritSect)
    {
        AssertHandler(0, "this->pCritSect", __FILE__, __LINE__, 0, 0);
        return;
    }
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
}

CRITSECT::~CRITSECT()
{
    if (!pCritSect)
        return;
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
    free(pCritSect);
}

void CRITSECT::Enter()
{
    if (pCritSect)
        EnterCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
}

void CRITSECT::Leave()
{
    if (pCritSect)
        LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
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


PERFORMANCETIMER::PERFORMANCETIMER(const char* name, bool reportOnDestroy)
    : ReportOnDestroy(reportOnDestroy), StartCounter(0), StopCounter(0), Frequency(1)
{
    FORMAT::Copy(Name, STRING::NullGuard(name), sizeof(Name));
    Start();
}

PERFORMANCETIMER::~PERFORMANCETIMER()
{
    if (ReportOnDestroy)
        Report(0);
}

void PERFORMANCETIMER::Start()
{
    OSYS::PerformanceCounter(&StartCounter, &Frequency);
    if (Frequency <= 0)
        Frequency = 1;
    StopCounter = 0;
}

double PERFORMANCETIMER::Elapsed(bool stopNow)
{
    if (stopNow || StopCounter == 0)
        OSYS::PerformanceCounter(&StopCounter, 0);
    return (double)(StopCounter - StartCounter) / (double)Frequency;
}

void PERFORMANCETIMER::Report(const char* name)
{
    double seconds = Elapsed(false);
    Logit("PERFORMANCETIMER %s: %1.3lf sec (%1.2lf ms)\n", name ? name : Name, seconds, seconds * 1000.0);
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
                ok = SUCCEEDED(SHGetFolderPathA(0, entry.Csidl | CSIDL_FLAG_CREATE, 0, 0, text));
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

    void (*gMessagePump)() = 0;
    bool (*gDarkMode)() = 0;

    const char* TextOrEmpty(const char* text)
    {
        return text ? text : "";
    }

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

    // Dark replacements of the system colours the window framework paints with.
    const struct { int Index; COLORREF Color; } DarkColors[] = {
        {COLOR_WINDOW, RGB(32, 32, 32)},         {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
        {COLOR_BTNFACE, RGB(43, 43, 43)},        {COLOR_BTNTEXT, RGB(255, 255, 255)},
        {COLOR_MENU, RGB(43, 43, 43)},           {COLOR_MENUTEXT, RGB(255, 255, 255)},
        {COLOR_HIGHLIGHT, RGB(0, 120, 215)},     {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},
        {COLOR_GRAYTEXT, RGB(150, 150, 150)},    {COLOR_INFOBK, RGB(43, 43, 43)},
        {COLOR_INFOTEXT, RGB(255, 255, 255)},    {COLOR_BTNSHADOW, RGB(25, 25, 25)},
        {COLOR_BTNHIGHLIGHT, RGB(80, 80, 80)},   {COLOR_3DDKSHADOW, RGB(15, 15, 15)},
        {COLOR_3DLIGHT, RGB(64, 64, 64)},        {COLOR_WINDOWFRAME, RGB(80, 80, 80)},
        {COLOR_SCROLLBAR, RGB(60, 60, 60)},      {COLOR_APPWORKSPACE, RGB(25, 25, 25)},
    };

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

    int Channel(uint32_t color, int shift)
    {
        return (int)((color >> shift) & 0xFF);
    }

    int ToByte(float value)
    {
        int byte = (int)lroundf(value * 255.f);
        return byte < 0 ? 0 : byte > 255 ? 255 : byte;
    }
}


PIPECHILD::PIPECHILD() : hProcess(0), hInput(0), hOutput(0), Pid(0)
{
}

PIPECHILD::~PIPECHILD()
{
    Close();
}

void PIPECHILD::Close()
{
    void** handles[] = {&hProcess, &hInput, &hOutput};
    for (void** handle : handles)
    {
        if (*handle)
            CloseHandle(*handle);
        *handle = 0;
    }
    Pid = 0;
}

int PIPECHILD::Write(const void* data, int size)
{
    DWORD written = 0;
    if (!hInput || !data || size < 0 || !WriteFile(hInput, data, (DWORD)size, &written, 0))
        return -1;
    return (int)written;
}

int PIPECHILD::Read(void* buffer, int size)
{
    DWORD read = 0;
    if (!hOutput || !buffer || size < 0)
        return -1;
    if (!ReadFile(hOutput, buffer, (DWORD)size, &read, 0))
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return (int)read;
}

void PIPECHILD::CloseInput()
{
    if (hInput)
        CloseHandle(hInput);
    hInput = 0;
}

int PIPECHILD::Wait(int timeout)
{
    if (!hProcess || WaitForSingleObject(hProcess, timeout < 0 ? INFINITE : (DWORD)timeout) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    if (!GetExitCodeProcess(hProcess, &code))
        return -1;
    return (int)code;
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

int StartProgram(const char* program, const char* parameters, const char* workDir, const char* title, int flags,
                 _PROCESS_INFORMATION* processInfo, int* exitCode)
{
    int show = (flags & STARTPROGRAM_HIDDEN)      ? SW_HIDE
             : (flags & STARTPROGRAM_MINIMIZED) ? SW_SHOWMINIMIZED
             : (flags & STARTPROGRAM_MAXIMIZED) ? SW_SHOWMAXIMIZED
                                                : SW_SHOWNORMAL;
    program = STRING::NullGuard(program);
    if (exitCode)
        *exitCode = -8;
    if (!program)
        return 0;
    if (program[0] == '*')
    {
        show = SW_SHOWMINIMIZED;
        program++;
    }
    else if (program[0] == '#')
    {
        show = SW_HIDE;
        program++;
    }
    const bool sync = (flags & STARTPROGRAM_SYNC) != 0;
    parameters = TextOrEmpty(parameters);
    Logit("OSYS::StartProgram %s %s (sync= %d)\n", program, parameters, sync ? 1 : 0);

    STRING commandLine;
    if (parameters[0])
        commandLine.Format(program[0] == '"' ? "%s %s" : "\"%s\" %s", program, parameters);
    else
        commandLine = program;

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    char titleText[256];
    if (title && title[0])
    {
        FORMAT::Copy(titleText, title, sizeof(titleText));
        startup.lpTitle = titleText;
    }
    if (show != SW_SHOWNORMAL)
    {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = (WORD)show;
    }
    char directory[1024];
    bool haveDirectory = workDir && workDir[0];
    if (haveDirectory)
        FORMAT::Copy(directory, workDir, sizeof(directory));

    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    BOOL rc = CreateProcessA(0, commandLine.At(0), 0, 0, FALSE, 0, 0, haveDirectory ? directory : 0, &startup,
                             &info);
    Logit("OSYS::StartProgram rc= %d\n", (int)rc);
    if (!rc)
    {
        Logit("OSYS::StartProgram getlasterrorstring returned %s\n", GetErrorText(-4711).Text());
        Logit("StartProgram done ok= %d\n", 0);
        return 0;
    }
    OWNEDHANDLE process(info.hProcess), thread(info.hThread);
    int result = rc;
    if (sync)
    {
        const bool pump = (flags & STARTPROGRAM_PUMPMESSAGES) != 0;
        while (WaitForSingleObject(info.hProcess, pump ? 10 : INFINITE) == WAIT_TIMEOUT)
        {
            if (gMessagePump)
                gMessagePump();
        }
        if (exitCode)
        {
            DWORD code = 0;
            if (GetExitCodeProcess(info.hProcess, &code))
                *exitCode = (int)code;
            else
                Logit("OSYS::StartProgram GetExitCodeProcess returned %d/%s\n", 0, GetErrorText(-4711).Text());
        }
        result = 1;
    }
    if (processInfo)
    {
        *processInfo = info;
        process.Release();
        thread.Release();
    }
    Logit("StartProgram done ok= %d\n", 1);
    return result;
}

int StartProgramExitCode(const char* program, const char* parameters, const char* workDir, const char* title)
{
    int code = -8;
    int result = StartProgram(program, parameters, workDir, title, STARTPROGRAM_SYNC, 0, &code) ? code : 1;
    Logit("StartProgramExitCode returns %d\n", result);
    return result;
}

void SetMessagePumpHook(void (*pump)())
{
    gMessagePump = pump;
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
    text = TextOrEmpty(STRING::NullGuard(text));
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

void* CreateThread(THREADFUNCTION function, void* parameter, uint32_t* threadId)
{
    unsigned tid = 0;
    void* thread = reinterpret_cast<void*>(_beginthreadex(0, 0x8000, function, parameter, 0, &tid));
    Logit("OSYS::CreateThread returned hthread= %p, tid= %04x\n", thread, tid);
    if (threadId)
        *threadId = tid;
    return thread;
}

void* CreateThreadWithParm(THREADFUNCTION function, void* parameter1, void* parameter2, uint32_t* threadId)
{
    THREADPARM* block = static_cast<THREADPARM*>(malloc(sizeof(THREADPARM)));
    if (!block)
    {
        AssertHandler(0, "pparm", __FILE__, __LINE__, 0, 0);
        return 0;
    }
    block->Marker = THREADPARM::MARKER;
    block->Parameter1 = parameter1;
    block->Parameter2 = parameter2;
    unsigned tid = 0;
    void* thread = reinterpret_cast<void*>(_beginthreadex(0, 0x8000, function, block, 0, &tid));
    if (!thread)
        free(block);
    Logit("OSYS::CreateThreadWithParm returned %p, tid= %04x\n", thread, tid);
    if (threadId)
        *threadId = tid;
    return thread;
}

bool WaitThread(void* thread, int timeout)
{
    Logit("OSYS::WaitThread hthread=%p, timeout=%d\n", thread, timeout);
    if (!thread)
    {
        AssertHandler(0, "hthread!=NULL", __FILE__, __LINE__, 0, 0);
        return false;
    }
    DWORD rc = WaitForSingleObject(thread, timeout < 0 ? INFINITE : (DWORD)timeout);
    DWORD error = rc == WAIT_FAILED ? ::GetLastError() : rc;
    CloseHandle(thread);
    if (rc != WAIT_OBJECT_0)
        Logit("OSYS::WaitThread hthread=%p timeout=%d failed %s\n", thread, timeout, GetErrorText((int)error).Text());
    return rc == WAIT_OBJECT_0;
}

bool KillThread(void* thread)
{
    if (!thread)
        return false;
    BOOL ok = TerminateThread(thread, 1);
    CloseHandle(thread);
    return ok != FALSE;
}

bool ShellExecuteRun(void* owner, const char* program, const char* parameters, const char* workDir)
{
    program = STRING::NullGuard(program);
    Logit("OSYS::ShellExecuteRun owner= %p, program= %s, parm= %s, workdir= %s\n", owner, TextOrEmpty(program),
          TextOrEmpty(parameters), TextOrEmpty(workDir));
    if (!program)
        return false;
    intptr_t rc = reinterpret_cast<intptr_t>(
        ShellExecuteA(static_cast<HWND>(owner), "open", program, parameters, workDir, SW_SHOW));
    Logit("OSYS::ShellExecuteRun rc= %d (ok= %d)\n", (int)rc, rc > 32 ? 1 : 0);
    return rc > 32;
}

bool ShellExecuteRunSync(void* owner, const char* program, const char* parameters, const char* workDir, int timeout,
                         int* exitCode)
{
    program = STRING::NullGuard(program);
    Logit("OSYS::ShellExecuteRunSync owner= %ps, program= %s, parm= %s, workdir= %s\n", owner, TextOrEmpty(program),
          TextOrEmpty(parameters), TextOrEmpty(workDir));
    if (exitCode)
        *exitCode = -1;
    if (!program)
        return false;
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    // No error box: a failure is the caller's to report, and a box would block it.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = static_cast<HWND>(owner);
    info.lpVerb = "open";
    info.lpFile = program;
    info.lpParameters = parameters;
    info.lpDirectory = workDir;
    info.nShow = SW_SHOW;
    if (!ShellExecuteExA(&info))
        return false;
    OWNEDHANDLE process(info.hProcess);
    if (process.Get() && WaitForSingleObject(process.Get(), timeout < 0 ? INFINITE : (DWORD)timeout) == WAIT_OBJECT_0)
    {
        DWORD code = 0;
        if (exitCode && GetExitCodeProcess(process.Get(), &code))
            *exitCode = (int)code;
    }
    return true;
}

bool OpenDocument(const char* path, void* owner)
{
    path = STRING::NullGuard(path);
    if (!path)
        return false;
    char directory[MAX_PATH] = "";
    ::GetCurrentDirectoryA(sizeof(directory), directory);
    intptr_t rc = reinterpret_cast<intptr_t>(
        ShellExecuteA(static_cast<HWND>(owner), "open", path, 0, directory, SW_SHOW));
    Logit("OSYS::OpenDocument %s rc= %d\n", path, (int)rc);
    return rc > 32;
}

bool CreatePipeChild(const char* commandLine, const char* workDir, PIPECHILD& child)
{
    Logit("APPDIALOG::CreatePipeChild\n");
    child.Close();
    commandLine = STRING::NullGuard(commandLine);
    if (!commandLine)
        return false;
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), 0, TRUE};
    OWNEDHANDLE outputRead, outputWrite, inputRead, inputWrite;
    if (!CreatePipe(outputRead.Receive(), outputWrite.Receive(), &inheritable, 0))
        return false;
    Logit("APPDIALOG::CreatePipeChild after STDOUT CreatePipe()\n");
    if (!CreatePipe(inputRead.Receive(), inputWrite.Receive(), &inheritable, 0))
        return false;
    Logit("APPDIALOG::CreatePipeChild after STDIN CreatePipe()\n");

    // Our ends must not reach the child, or it never reads the end of its input.
    HANDLE self = GetCurrentProcess();
    OWNEDHANDLE output, input;
    if (!DuplicateHandle(self, outputRead.Get(), self, output.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS) ||
        !DuplicateHandle(self, inputWrite.Get(), self, input.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    outputRead.Close();
    inputWrite.Close();

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = inputRead.Get();
    startup.hStdOutput = outputWrite.Get();
    startup.hStdError = outputWrite.Get();
    STRING line(commandLine);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    BOOL rc = CreateProcessA(0, line.At(0), 0, 0, TRUE, 0, 0, workDir && workDir[0] ? workDir : 0, &startup, &info);
    Logit("APPDIALOG::CreatePipeChild after CreateProcess() rc=%d\n", (int)rc);
    if (!rc)
        return false;
    CloseHandle(info.hThread);
    child.hProcess = info.hProcess;
    child.hInput = input.Release();
    child.hOutput = output.Release();
    child.Pid = info.dwProcessId;
    return true;
}

bool PlaySoundFile(const char* path, bool sync)
{
    path = STRING::NullGuard(path);
    Logit("OSYS::PlaySoundFile %s (sync= %d)\n", TextOrEmpty(path), sync ? 1 : 0);
    BOOL ok = path && PlaySoundA(path, 0, SND_FILENAME | SND_NODEFAULT | (sync ? SND_SYNC : SND_ASYNC));
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

bool SetAutostart(const char* name, const char* program)
{
    name = STRING::NullGuard(name);
    if (!name)
        return false;
    OWNEDKEY key;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, 0, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, 0, key.Receive(), 0);
    if (rc == ERROR_SUCCESS)
    {
        if (program && program[0])
        {
            bool self = _stricmp(program, "<ownfile>") == 0 || _stricmp(program, "<self>") == 0;
            STRING value = STRING::Sprintf("\"%s\"", self ? GetProgramPath().Text() : program);
            rc = RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.Text()),
                                (DWORD)value.Length() + 1);
        }
        else
        {
            rc = RegDeleteValueA(key.Get(), name);
        }
    }
    Logit("OSYS::SetAutostart %s to %s rc= %d\n", name, TextOrEmpty(program), (int)rc);
    return rc == ERROR_SUCCESS;
}

uint32_t GetThemedSysColor(int index, bool plain)
{
    if (!plain && gDarkMode && gDarkMode())
    {
        for (const auto& entry : DarkColors)
            if (entry.Index == index)
                return entry.Color;
    }
    return GetSysColor(index);
}

void SetDarkModeHook(bool (*isDarkMode)())
{
    gDarkMode = isDarkMode;
}

uint32_t BlendColor(uint32_t first, uint32_t second, int percent)
{
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8)
    {
        int value = (Channel(first, shift) * (100 - percent) + Channel(second, shift) * percent + 50) / 100;
        result |= (uint32_t)value << shift;
    }
    return result;
}

uint32_t HsbToRgb(float hue, float saturation, float brightness, int alpha)
{
    if (!(alpha >= 0 && alpha < 256))
    {
        AssertHandler(0, "a>=0 && a<256", __FILE__, __LINE__, 0, 0);
        alpha = alpha < 0 ? 0 : 255;
    }
    if (!(hue >= 0))
    {
        AssertHandler(0, "h>=0", __FILE__, __LINE__, 0, 0);
        hue = 0;
    }
    if (!(saturation >= 0.f && saturation <= 1.f))
    {
        AssertHandler(0, "s>=0.f && s<=1.f", __FILE__, __LINE__, 0, 0);
        saturation = saturation > 1.f ? 1.f : 0.f;
    }
    if (!(brightness >= 0.f && brightness <= 2.f))
    {
        AssertHandler(0, "b>=0.f && b<=2.f", __FILE__, __LINE__, 0, 0);
        brightness = brightness > 2.f ? 2.f : 0.f;
    }
    const float value = brightness > 1.f ? 1.f : brightness;
    const float white = brightness > 1.f ? brightness - 1.f : 0.f;
    const float sector = fmodf(hue, 360.f) / 60.f;
    const float chroma = value * saturation;
    const float middle = chroma * (1.f - fabsf(fmodf(sector, 2.f) - 1.f));
    float rgb[3] = {0, 0, 0};
    switch ((int)sector)
    {
    case 0: rgb[0] = chroma; rgb[1] = middle; break;
    case 1: rgb[0] = middle; rgb[1] = chroma; break;
    case 2: rgb[1] = chroma; rgb[2] = middle; break;
    case 3: rgb[1] = middle; rgb[2] = chroma; break;
    case 4: rgb[0] = middle; rgb[2] = chroma; break;
    default: rgb[0] = chroma; rgb[2] = middle; break;
    }
    uint32_t result = (uint32_t)alpha << 24;
    for (int i = 0; i < 3; i++)
    {
        float channel = rgb[i] + value - chroma;
        result |= (uint32_t)ToByte(channel + (1.f - channel) * white) << (8 * i);
    }
    return result;
}

void RgbToHsb(uint32_t color, float& hue, float& saturation, float& brightness, int& alpha)
{
    const float r = Channel(color, 0) / 255.f, g = Channel(color, 8) / 255.f, b = Channel(color, 16) / 255.f;
    const float high = fmaxf(r, fmaxf(g, b)), low = fminf(r, fminf(g, b)), delta = high - low;
    alpha = Channel(color, 24);
    brightness = high;
    saturation = high > 0.f ? delta / high : 0.f;
    if (delta <= 0.f)
        hue = 0.f;
    else if (high == r)
        hue = 60.f * fmodf((g - b) / delta + 6.f, 6.f);
    else if (high == g)
        hue = 60.f * ((b - r) / delta + 2.f);
    else
        hue = 60.f * ((r - g) / delta + 4.f);
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


namespace
{
    // A failed call on a kernel object is reported with its handle.
    void AssertOnHandle(const char* condition, const void* handle, int line)
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", handle);
        AssertHandler(0, condition, __FILE__, line, info, 0);
    }
}

EVENTSEM::EVENTSEM(int initialState) : hev(CreateEventA(0, TRUE, initialState != 0, 0))
{
    LogitIf(7, "EVENTSEM::EVENTSEM created %p\n", hev);
    if (!hev)
        AssertHandler(0, "this->hev", __FILE__, __LINE__, 0, 0);
}

EVENTSEM::~EVENTSEM()
{
    BOOL ok = hev ? CloseHandle(hev) : FALSE;
    LogitIf(12, "EVENTSEM::~EVENTSEM deleted %p, ok= %d\n", hev, ok);
    if (hev && !ok)
        AssertOnHandle("ok", hev, __LINE__);
}

bool EVENTSEM::Set()
{
    LogitIf(12, "EVENTSEM::Set %p\n", hev);
    BOOL ok = hev ? SetEvent(hev) : FALSE;
    if (!ok)
        AssertOnHandle("ok", hev, __LINE__);
    return ok != FALSE;
}

bool EVENTSEM::Reset()
{
    LogitIf(12, "EVENTSEM::Reset %p\n", hev);
    BOOL ok = hev ? ResetEvent(hev) : FALSE;
    if (!ok)
        AssertOnHandle("ok", hev, __LINE__);
    return ok != FALSE;
}

bool EVENTSEM::Wait(int timeout)
{
    DWORD rc = hev ? WaitForSingleObject(hev, timeout < 0 ? INFINITE : (DWORD)timeout) : WAIT_FAILED;
    LogitIf(12, "EVENTSEM::Wait %p rc=%d\n", hev, (int)rc);
    if (rc == WAIT_FAILED)
        AssertOnHandle("rc!=WAIT_FAILED", hev, __LINE__);
    return rc == WAIT_OBJECT_0;
}

SHAREDMEMORY::SHAREDMEMORY(const char* name, int size, int openmode)
    : pMutex(0), Name(STRING::NullGuard(name)), pMemory(0), Size(size), hMem(0)
{
    if (openmode != CREATE && openmode != OPEN)
        AssertHandler(0, "openmode==SHAREDMEMORY::CREATE || openmode==SHAREDMEMORY::OPEN", __FILE__, __LINE__, 0, 0);
    Logit("SHAREDMEMORY::SHAREDMEMORY %s %d\n", Name.Text(), size);

    // Created in both modes: the opener may come first and must meet the same mutex.
    char mutexName[128];
    FORMAT::Print(mutexName, sizeof(mutexName), "%sMX", Name.Text());
    pMutex = new MUTEXSEM(0, mutexName, MUTEXSEM::CREATE);

    if (openmode == OPEN)
        hMem = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, Name.Text());
    else
        hMem = CreateFileMappingA(INVALID_HANDLE_VALUE, 0, PAGE_READWRITE, 0, (DWORD)size, Name.Text());
    if (hMem)
        pMemory = MapViewOfFile(hMem, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!pMemory || !pMutex)
        AssertHandler(0, "this->pMemory && this->pMutex", __FILE__, __LINE__, 0, 0);
    Logit("SHAREDMEMORY::SHAREDMEMORY %s done with hMem %p\n", Name.Text(), hMem);
}

SHAREDMEMORY::~SHAREDMEMORY()
{
    if (pMemory)
        UnmapViewOfFile(pMemory);
    if (hMem)
        CloseHandle(hMem);
    delete pMutex;
}

bool SHAREDMEMORY::Lock(void** memory, int timeout)
{
    if (memory)
        *memory = 0;
    // The mutex is taken even without a mapping: callers bracket every
    // Lock with an Unlock, which gives it back.
    bool ok = pMutex && pMutex->Request(timeout);
    if (ok && memory)
        *memory = pMemory;
    Logit("SHAREDMEMORY::Lock %p returns %d\n", hMem, ok);
    return ok;
}

bool SHAREDMEMORY::Unlock(void* memory)
{
    if (memory != pMemory && memory != 0)
        AssertHandler(0, "pmapped==this->pMemory || pmapped==NULL", __FILE__, __LINE__, 0, 0);
    if (pMutex)
        pMutex->Release();
    return true;
}

NULLDACL::NULLDACL() : pDescriptor(0), Sa{0, 0, 0}, Ok(false)
{
    static_assert(sizeof(SECURITYATTRIBUTES) == sizeof(SECURITY_ATTRIBUTES) &&
                      offsetof(SECURITYATTRIBUTES, Descriptor) == offsetof(SECURITY_ATTRIBUTES, lpSecurityDescriptor) &&
                      offsetof(SECURITYATTRIBUTES, InheritHandle) == offsetof(SECURITY_ATTRIBUTES, bInheritHandle),
                  "SECURITYATTRIBUTES must match SECURITY_ATTRIBUTES");
    LogitIf(2, "NULLDACL::NULLDACL\n");
    Sa.Length = sizeof(SECURITY_ATTRIBUTES);
    Sa.InheritHandle = TRUE;
    pDescriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!pDescriptor)
        AssertHandler(0, "FALSE", __FILE__, __LINE__, "NULLDACL::LocalAlloc() failed", 1);
    else if (!InitializeSecurityDescriptor(pDescriptor, SECURITY_DESCRIPTOR_REVISION))
        AssertHandler(0, "FALSE", __FILE__, __LINE__, "NULLDACL::InitializeSecurityDescriptor() failed", 1);
    else if (!SetSecurityDescriptorDacl(pDescriptor, TRUE, 0, FALSE))
        AssertHandler(0, "FALSE", __FILE__, __LINE__, "NULLDACL::SetSecurityDescriptorDacl() failed", 1);
    else
    {
        Sa.Descriptor = pDescriptor;
        Ok = true;
    }
    LogitIf(2, "NULLDACL::NULLDACL created, success==%d\n", Ok);
}

NULLDACL::~NULLDACL()
{
    if (pDescriptor)
        LocalFree(pDescriptor);
}

GETPRIVILEGE::GETPRIVILEGE(const char* privilegeName)
    : PrivilegeName(STRING::NullGuard(privilegeName)), hToken(0), Privilege{0, 0, 0, 0}, Adjusted(false), Ok(false)
{
    HANDLE token = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    {
        // The Windows 95 family has no tokens: every privilege is granted.
        if (::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        {
            ::SetLastError(0);
            Ok = true;
        }
        return;
    }
    hToken = token;

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(0, PrivilegeName.Text(), &privileges.Privileges[0].Luid))
    {
        AssertOnHandle("ok", token, __LINE__);
        return;
    }
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous = {};
    DWORD previousSize = sizeof(previous);
    ::SetLastError(0);
    BOOL adjusted = AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(previous), &previous, &previousSize);
    // A privilege the token lacks still "succeeds", with ERROR_NOT_ALL_ASSIGNED.
    DWORD error = ::GetLastError();
    Ok = adjusted && error == 0;
    if (!Ok)
        Logit("GETPRIVILEGE::GetLastError after AdjustTokenPrivileges is %ld\n", (long)error);
    // A privilege that was enabled before stays enabled afterwards. Windows
    // lists only changed privileges in the previous state, Wine all of them.
    Adjusted = Ok && previous.PrivilegeCount > 0 && !(previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED);
    Privilege = {1, privileges.Privileges[0].Luid.LowPart, privileges.Privileges[0].Luid.HighPart, SE_PRIVILEGE_ENABLED};
}

GETPRIVILEGE::~GETPRIVILEGE()
{
    if (Adjusted)
    {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid.LowPart = Privilege.LuidLow;
        privileges.Privileges[0].Luid.HighPart = Privilege.LuidHigh;
        privileges.Privileges[0].Attributes = 0;
        if (!AdjustTokenPrivileges(hToken, FALSE, &privileges, 0, 0, 0))
            AssertOnHandle("ok", hToken, __LINE__);
    }
    if (hToken)
        CloseHandle(hToken);
}

// The process pseudo handle needs no closing.
RAISEPROCESSPRIORITY::RAISEPROCESSPRIORITY(int priorityClass, int previousClass)
    : hProcess(GetCurrentProcess()), PreviousClass(previousClass), RaiseOk(false)
{
    if (PreviousClass == -1)
        PreviousClass = (int)GetPriorityClass(hProcess);
    LogitIf(1, "RAISEPROCESSPRIORITY::RAISEPROCESSPRIORITY prio= %d\n", priorityClass);
    RaiseOk = SetPriorityClass(hProcess, (DWORD)priorityClass) != FALSE;
    LogitIf(1, "RAISEPROCESSPRIORITY::RAISEPROCESSPRIORITY done, ok= %d, origclass= %d\n", RaiseOk, PreviousClass);
}

RAISEPROCESSPRIORITY::~RAISEPROCESSPRIORITY()
{
    LogitIf(1, "RAISEPROCESSPRIORITY::~RAISEPROCESSPRIORITY (RaiseOk=%d)\n", RaiseOk);
    BOOL rc = RaiseOk ? SetPriorityClass(hProcess, (DWORD)PreviousClass) : FALSE;
    LogitIf(1, "RAISEPROCESSPRIORITY::~RAISEPROCESSPRIORITY done (rc= %d)\n", rc);
}

RAISETHREADPRIORITY::RAISETHREADPRIORITY(int priority, int previousPriority)
    : hThread(0), PreviousPriority(previousPriority), RaiseOk(false)
{
    // A real handle, not the pseudo handle: it keeps naming the thread that
    // made the object.
    HANDLE thread = 0;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS))
        hThread = thread;
    else
        AssertOnHandle("ok", GetCurrentThread(), __LINE__);
    if (PreviousPriority == -1)
        PreviousPriority = GetThreadPriority(hThread);
    LogitIf(1, "RAISETHREADPRIORITY::RAISETHREADPRIORITY prio= %d\n", priority);
    RaiseOk = hThread && SetThreadPriority(hThread, priority);
    LogitIf(1, "RAISETHREADPRIORITY::RAISETHREADPRIORITY done, ok= %d, origclass= %d\n", RaiseOk, PreviousPriority);
}

RAISETHREADPRIORITY::~RAISETHREADPRIORITY()
{
    LogitIf(1, "RAISETHREADPRIORITY::~RAISETHREADPRIORITY (RaiseOk=%d)\n", RaiseOk);
    BOOL rc = RaiseOk ? SetThreadPriority(hThread, PreviousPriority) : FALSE;
    LogitIf(1, "RAISETHREADPRIORITY::~RAISETHREADPRIORITY done (rc= %d)\n", rc);
    if (hThread)
        CloseHandle(hThread);
}

bool RAISETHREADPRIORITY::SetPriority(int priority)
{
    LogitIf(1, "RAISETHREADPRIORITY::SetPriority called, prio= %d\n", priority);
    bool ok = hThread && SetThreadPriority(hThread, priority);
    if (ok)
        RaiseOk = true;
    return ok;
}


#include <limits.h>
#include <shlwapi.h>

namespace
{
    const char UninstallBase[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const char TarniBase[] = "Software\\Tarni\\";

    const char* TextOf(const char* text)
    {
        text = STRING::NullGuard(text);
        return text ? text : "";
    }

    // Predefined keys are sign-extended 32-bit numbers, as the system defines them.
    HKEY RootFromUser(int user)
    {
        if (user == 0)
            return HKEY_LOCAL_MACHINE;
        if (user == 1)
            return HKEY_CURRENT_USER;
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(user));
    }

    // The user value naming a root handle, for the log; -1 when it is not predefined.
    int UserFromRoot(HKEY root)
    {
        if (root == HKEY_LOCAL_MACHINE)
            return 0;
        if (root == HKEY_CURRENT_USER)
            return 1;
        for (int user = INT_MIN; user < INT_MIN + 8; user++)
            if (RootFromUser(user) == root)
                return user;
        return -1;
    }
}

REGISTRY::REGISTRY(const char* app, const char* basekey, int user) : hKey(0), hRoot(0), View64(false)
{
    Construct(app, basekey, RootFromUser(user), user);
}

REGISTRY::REGISTRY(const char* app, const char* basekey, void* rootKey) : hKey(0), hRoot(0), View64(false)
{
    Construct(app, basekey, rootKey, UserFromRoot(static_cast<HKEY>(rootKey)));
}

REGISTRY::REGISTRY(int kind, const char* app) : hKey(0), hRoot(0), View64(false)
{
    switch (kind)
    {
    case KIND_UNINSTALL:
        Construct(app, UninstallBase, HKEY_LOCAL_MACHINE, 0);
        break;
    case KIND_USER:
        Construct(app, TarniBase, HKEY_CURRENT_USER, 1);
        break;
    case KIND_MACHINE:
        Construct(app, TarniBase, HKEY_LOCAL_MACHINE, 0);
        break;
    default:
        AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);
        Construct(app, "", 0, -1);
        break;
    }
}

REGISTRY::~REGISTRY()
{
    Close();
}

void REGISTRY::Construct(const char* app, const char* basekey, void* root, int user)
{
    hRoot = root;
    Path = KeyPath(basekey, app);
    const char* name = TextOf(app);
    LONG rc = ERROR_INVALID_NAME;
    // A name in angle brackets is a placeholder nobody filled in: no key for it.
    if (name[0] == '<')
        AssertHandler(0, "app[0]!='<'", __FILE__, __LINE__, 0, 0);
    else
        rc = OpenPath(OPENORCREATE);
    if (rc != ERROR_SUCCESS)
        Logit("REGISTRY::Constructor failed for app=%s, basekey=%s, user=%d\n", name, TextOf(basekey), user);
}

STRING REGISTRY::KeyPath(const char* base, const char* app)
{
    STRING path(TextOf(base));
    if (path.IsEmpty() || path.Text()[path.Length() - 1] != '\\')
        path.Append("\\");
    const char* name = TextOf(app);
    while (*name == '\\')
        name++;
    path.Append(name);
    while (path.StripLast('\\'))
        ;
    return path;
}

void REGISTRY::Close()
{
    if (hKey)
        RegCloseKey(static_cast<HKEY>(hKey));
    hKey = 0;
}

long REGISTRY::OpenPath(int mode)
{
    Close();
    HKEY root = static_cast<HKEY>(hRoot);
    HKEY key = 0;
    LONG rc;
    if (mode == OPENORCREATE)
        rc = RegCreateKeyA(root, Path.Text(), &key);
    else
        rc = RegOpenKeyExA(root, Path.Text(), 0,
                           (mode == READWRITE ? KEY_READ | KEY_WRITE : KEY_READ) | (View64 ? KEY_WOW64_64KEY : 0), &key);
    if (rc == ERROR_SUCCESS)
        hKey = key;
    return rc;
}

bool REGISTRY::Reopen(int mode)
{
    if (mode != OPENORCREATE && mode != READONLY && mode != READWRITE)
    {
        AssertHandler(0, "mode==REGISTRY::OPENORCREATE || mode==REGISTRY::READONLY || mode==REGISTRY::READWRITE",
                      __FILE__, __LINE__, 0, 0);
        return false;
    }
    long rc = OpenPath(mode);
    LogitIf(2, "REGISTRY::Reopen %s mode=%d, error=%d\n", Path.Text(), mode, (int)rc);
    return rc == ERROR_SUCCESS;
}

long REGISTRY::Query(const char* value, void* buffer, int* size, uint32_t* type)
{
    DWORD length = (DWORD)*size;
    DWORD kind = 0;
    LONG rc = RegQueryValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, &kind, static_cast<BYTE*>(buffer), &length);
    *size = (int)length;
    if (type)
        *type = kind;
    return rc;
}

bool REGISTRY::ReadString(const char* value, STRING& out, uint32_t* kind)
{
    char first[2048] = {};
    char* buffer = first;
    char* grown = 0;
    int size = sizeof(first);
    uint32_t type = 0;
    long rc = Query(value, buffer, &size, &type);
    if (rc == ERROR_MORE_DATA)
    {
        grown = static_cast<char*>(calloc(size > 0 ? size : 1, 1));
        if (grown)
        {
            buffer = grown;
            rc = Query(value, buffer, &size, &type);
        }
    }
    bool ok = rc == ERROR_SUCCESS;
    if (ok)
    {
        if (type == REG_SZ)
            while (size > 1 && buffer[size - 1] == 0)
                size--;
        out.Truncate(0);
        out.Append(buffer, size);
    }
    free(grown);
    if (ok && kind)
        *kind = type;
    LogitIf(2, "REGISTRY::Read key=%s, ok=%d, error=%d\n", TextOf(value), ok, (int)rc);
    return ok;
}

bool REGISTRY::ReadBuffer(const char* value, void* buffer, int& size, uint32_t* type)
{
    int capacity = size;
    size = 0;
    int got = capacity;
    long rc = buffer && capacity >= 0 ? Query(value, buffer, &got, type) : ERROR_INVALID_PARAMETER;
    bool ok = rc == ERROR_SUCCESS;
    if (ok)
    {
        size = got;
        if (got < capacity)
            static_cast<char*>(buffer)[got] = 0;
    }
    LogitIf(2, "REGISTRY::Read key=%s, ok=%d, error=%d\n", TextOf(value), ok, (int)rc);
    return ok;
}

bool REGISTRY::ReadDword(const char* value, uint32_t& out)
{
    uint32_t data = 0;
    int size = sizeof(data);
    long rc = Query(value, &data, &size, 0);
    bool ok = rc == ERROR_SUCCESS && size == sizeof(data);
    if (ok)
        out = data;
    LogitIf(2, "REGISTRY::Read key=%s, ok=%d, error=%d\n", TextOf(value), ok, (int)rc);
    return ok;
}

bool REGISTRY::WriteString(const char* value, const char* data)
{
    const char* text = TextOf(data);
    LONG rc = RegSetValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             (DWORD)strlen(text));
    LogitIf(2, "REGISTRY::Write String value= %s; data=%s, error=%08x\n", TextOf(value), text, (unsigned)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::WriteDword(const char* value, uint32_t data)
{
    DWORD dword = data;
    LONG rc = RegSetValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword),
                             sizeof(dword));
    LogitIf(2, "REGISTRY::Write DWORD value= %s; data=%ld, error=%08x\n", TextOf(value), (long)data, (unsigned)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::WriteBinary(const char* value, const void* data, int size)
{
    LONG rc = size < 0 || (!data && size > 0)
                  ? ERROR_INVALID_PARAMETER
                  : RegSetValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, REG_BINARY,
                                   static_cast<const BYTE*>(data), (DWORD)size);
    LogitIf(2, "REGISTRY::Write binary value= %s, error=%08x\n", TextOf(value), (unsigned)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::DeleteKey(const char* name, bool tree)
{
    HKEY key = static_cast<HKEY>(hKey);
    LONG rc = tree ? SHDeleteKeyA(key, TextOf(name)) : RegDeleteKeyA(key, TextOf(name));
    LogitIf(2, "REGISTRY::delete key= %s, error=%d\n", TextOf(name), (int)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::DeleteValue(const char* name)
{
    LONG rc = RegDeleteValueA(static_cast<HKEY>(hKey), TextOf(name));
    LogitIf(2, "REGISTRY::delete value= %s, error=%d\n", TextOf(name), (int)rc);
    return rc == ERROR_SUCCESS;
}

DLLINTERFACE::DLLINTERFACE(const char* dllname, const char* function)
    : hDll(0), Quiet(false), pFunction(0), FunctionName{}, DllName{}
{
    Logit("[>>]DLLINTERFACE::DLLINTERFACE dllname= %s\n", TextOf(dllname));
    Load(dllname, function);
    Logit("[<<]DLLINTERFACE::DLLINTERFACE done, hdll= %p\n", hDll);
}

DLLINTERFACE::~DLLINTERFACE()
{
    Logit("[>>]DLLINTERFACE::~DLLINTERFACE this->DllName= %s\n", DllName);
    Unload();
    Logit("[<<]DLLINTERFACE::~DLLINTERFACE\n");
}

int DLLINTERFACE::Load(const char* filename, const char* function)
{
    Logit("DLLINTERFACE::Load %s %s\n", TextOf(filename), TextOf(function));
    Unload();
    if (filename)
    {
        HMODULE module = LoadLibraryA(filename);
        if (module)
        {
            hDll = module;
            FORMAT::Copy(DllName, filename, sizeof(DllName));
        }
    }
    if (function && hDll)
    {
        FORMAT::Copy(FunctionName, function, sizeof(FunctionName));
        pFunction = reinterpret_cast<DLLFUNCTION>(GetProcAddress(static_cast<HMODULE>(hDll), function));
    }
    int result = hDll && (!function || pFunction) ? 1 : 0;
    Logit("DLLINTERFACE::Load returns %d\n", result);
    return result;
}

DLLFUNCTION DLLINTERFACE::GetFunction(const char* name)
{
    if (!Quiet)
        Logit("DLLINTERFACE::GetFunction %s from %s\n", TextOf(name), DllName);
    DLLFUNCTION function = pFunction;
    if (name)
        function = hDll ? reinterpret_cast<DLLFUNCTION>(GetProcAddress(static_cast<HMODULE>(hDll), name)) : 0;
    if (!Quiet)
        Logit("DLLINTERFACE::GetFunction %s for %p returns %p\n", TextOf(name), hDll, reinterpret_cast<void*>(function));
    return function;
}

DLLFUNCTION DLLINTERFACE::GetFunctionByOrdinal(int ordinal)
{
    DLLFUNCTION function = 0;
    if (hDll && ordinal > 0 && ordinal <= 0xFFFF)
        function = reinterpret_cast<DLLFUNCTION>(GetProcAddress(static_cast<HMODULE>(hDll), MAKEINTRESOURCEA(ordinal)));
    if (!Quiet)
        Logit("DLLINTERFACE::GetFunction #%d for %p returns %p\n", ordinal, hDll, reinterpret_cast<void*>(function));
    return function;
}

void DLLINTERFACE::Unload()
{
    Logit("DLLINTERFACE::Unload this->DllName= %s\n", DllName);
    FunctionName[0] = 0;
    pFunction = 0;
    if (hDll)
    {
        Logit("DLLINTERFACE::Unload free library %p (%s)\n", hDll, DllName);
        FreeLibrary(static_cast<HMODULE>(hDll));
        hDll = 0;
    }
    Logit("DLLINTERFACE::Unload done\n");
}

bool DLLINTERFACE::DllExists(const char* filename)
{
    HMODULE module = filename ? LoadLibraryA(filename) : 0;
    if (module)
        FreeLibrary(module);
    return module != 0;
}
