// Win32 implementations of the operating-system layer: synchronisation
// objects, the performance counter, system folders, names, error and date texts.

#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>
#include <time.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/text/strings.h"

// ---------------------------------------------------------------- MUTEXSEM

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

// ---------------------------------------------------------------- CRITSECT

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

// -------------------------------------------------------- PERFORMANCETIMER

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

// -------------------------------------------------------------------- OSYS

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
