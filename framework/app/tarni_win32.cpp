// The application frame: Windows entry point, process start-up, program
// arguments from the command line and "commandline.ini" files, exit banner.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/resources.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/text/unicode.h"

APPMAINFUNC pfnAppMain = 0;
int gLocale = 9;
STRING gWorkDir;
uint32_t gMainThreadId = 0;

namespace
{
    STRING gMakerName("Tarni");
    STRING gAppName("Application");
    STRING gVersion("0.00");
    STRING gArgumentZero("n/a");
    STRING gAppDirectory;
    STRING gCommandLine;
    STRINGARRAY gArguments(64);
    HINSTANCE gInstance = 0;
    HMODULE gKernel32 = 0;
    void (*gCleanups[16])() = {};
    int gCleanupCount = 0;

    bool EndsWith(const char* text, const char* tail, bool ignoreCase)
    {
        size_t n = strlen(text), m = strlen(tail);
        if (n < m)
            return false;
        return ignoreCase ? _stricmp(text + n - m, tail) == 0 : strcmp(text + n - m, tail) == 0;
    }

    // A '/' or '-' argument whose key equals key exactly (case ignored).
    bool IsOption(const char* argument, const char* key)
    {
        return (argument[0] == '/' || argument[0] == '-') && _stricmp(argument + 1, key) == 0;
    }

    void EnableLowFragmentationHeap()
    {
        typedef BOOL(WINAPI * HEAPSETINFORMATION)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);
        typedef BOOL(WINAPI * ISDEBUGGERPRESENT)(void);
        if (!gKernel32)
            gKernel32 = LoadLibraryA("kernel32.dll");
        if (!gKernel32)
            return;
        auto isDebuggerPresent = (ISDEBUGGERPRESENT)(void*)GetProcAddress(gKernel32, "IsDebuggerPresent");
        if (isDebuggerPresent && isDebuggerPresent())
        {
            Logit("Not using LowFragmentation Heap in debugger\n");
            return;
        }
        auto heapSetInformation = (HEAPSETINFORMATION)(void*)GetProcAddress(gKernel32, "HeapSetInformation");
        if (heapSetInformation)
        {
            ULONG lowFragmentation = 2;
            heapSetInformation(GetProcessHeap(), (HEAP_INFORMATION_CLASS)0, &lowFragmentation, 4);
        }
    }

    void SetDpiAwareness()
    {
        typedef HRESULT(WINAPI * SETPROCESSDPIAWARENESS)(int);
        typedef HRESULT(WINAPI * GETPROCESSDPIAWARENESS)(HANDLE, int*);
        typedef BOOL(WINAPI * SETPROCESSDPIAWARE)(void);
        int awareness = -1;
        if (OSYS::GetOsId() >= 8)
        {
            HMODULE shcore = LoadLibraryA("Shcore.dll");
            if (shcore)
            {
                auto setAwareness = (SETPROCESSDPIAWARENESS)(void*)GetProcAddress(shcore, "SetProcessDpiAwareness");
                auto getAwareness = (GETPROCESSDPIAWARENESS)(void*)GetProcAddress(shcore, "GetProcessDpiAwareness");
                if (setAwareness)
                    Logit("TARNIAPP SetProcessDpiAwareness returned %08lx\n", (unsigned long)setAwareness(1));
                if (getAwareness)
                {
                    HRESULT rc = getAwareness(0, &awareness);
                    Logit("TARNIAPP GetProcessDpiAwareness returned %08lx, awareness= %d\n", (unsigned long)rc, awareness);
                }
                FreeLibrary(shcore);
            }
        }
        if (awareness != 1)
        {
            HMODULE user32 = GetModuleHandleA("user32.dll");
            auto setAware = user32 ? (SETPROCESSDPIAWARE)(void*)GetProcAddress(user32, "SetProcessDPIAware") : 0;
            if (setAware)
                Logit("TARNIAPP SetProcessDPIAware returned %d\n", (int)setAware());
        }
    }

    void TakeCandidate(STRINGARRAY& files, const STRING& name)
    {
        STRING tried(name);
        for (int attempt = 0; attempt < 2; attempt++)
        {
            bool listed = false;
            for (int i = 0; i < files.Count() && !listed; i++)
                listed = STRING::Compare(files.Text(i), tried.Text(), 1) == 0;
            if (!listed && FILENAME(tried.Text()).Exists())
            {
                files.AddItem(tried);
                return;
            }
            if (!EndsWith(tried.Text(), ".ini", true))
                return;
            tried.Truncate(tried.Length() - 4);
            tried.Append(".qrx");
        }
    }

    // "name_commandline.ini" for a program path ending in ".exe" or ".app".
    bool ProgramIniName(STRING* result)
    {
        if (!EndsWith(gArgumentZero.Text(), ".exe", true) && !EndsWith(gArgumentZero.Text(), ".app", true))
            return false;
        STRING name = FILENAME(gArgumentZero.Text()).Name();
        name.Truncate(name.Length() - 4);
        name.Append("_commandline.ini");
        *result = name;
        return true;
    }

    void ReadCandidate(const char* file, bool handToLog)
    {
        STRINGARRAY lines;
        lines.Load(file, 0);
        for (int i = 0; i < lines.Count(); i++)
        {
            STRING line(lines.Text(i));
            line.Trim('B', " \t\r");
            const char* text = line.Text();
            int n = line.Length();
            if (n > 2 && (text[0] == '"' || text[0] == '\'') && text[n - 1] == text[0])
            {
                line.Truncate(n - 1);
                line.DeleteLeft(1);
            }
            if (line.IsEmpty())
                continue;
            gArguments.AddItem(line);
            if (handToLog)
                LogitOption(line.Text());
        }
        Logit("TARNIAPP processing of %s done\n", file);
    }
}

namespace TARNIAPP
{

int SplitCommandLine(char* text, char* self, char** argv)
{
    int count = 0;
    argv[count++] = self;
    char* p = text;
    while (*p == ' ')
        p++;
    size_t length = strlen(p);
    while (length > 0 && p[length - 1] == ' ')
        p[--length] = 0;

    while (*p && count < MaxArgumentPointers - 2)
    {
        char* start = p;
        char delimiter = ' ';
        if (*p == '"')
        {
            delimiter = '"';
            start = ++p;
        }
        char* end = strchr(p, delimiter);
        argv[count++] = start;
        if (!end)
        {
            p += strlen(p);
            break;
        }
        *end++ = 0;
        while (*end == ' ')
            *end++ = 0;
        p = end;
    }
    if (*p)
        argv[count++] = p;
    argv[count] = 0;

    if (count > 1 && strlen(argv[1]) > 4 && EndsWith(argv[1], ".exe", false))
    {
        memmove(argv + 1, argv + 2, (count - 1) * sizeof(char*));
        count--;
    }
    return count;
}

void CommandLineIniCandidates(STRINGARRAY& files, bool* desktopTaken)
{
    *desktopTaken = false;
    STRING desktop = OSYS::GetSystemPath(8);
    if (desktop.NotEmpty())
    {
        int before = files.Count();
        TakeCandidate(files, FILENAME(desktop.Text(), "commandline.ini").GetPath());
        *desktopTaken = files.Count() > before;
    }
    STRING programIni;
    bool hasProgramIni = ProgramIniName(&programIni);
    TakeCandidate(files, FILENAME(gAppDirectory.Text(), "commandline.ini").GetPath());
    if (hasProgramIni)
        TakeCandidate(files, FILENAME(gAppDirectory.Text(), programIni.Text()).GetPath());
    if (_stricmp(gAppDirectory.Text(), gWorkDir.Text()) != 0)
    {
        TakeCandidate(files, FILENAME(gWorkDir.Text(), "commandline.ini").GetPath());
        if (hasProgramIni)
            TakeCandidate(files, FILENAME(gWorkDir.Text(), programIni.Text()).GetPath());
    }
}

void AcquireArguments(int count, char** argv, int defaultLanguage)
{
    srand(GetCurrentProcessId());
    gMainThreadId = GetCurrentThreadId();
    gWorkDir = OSYS::GetCurrentDirectory();
    if (count > 0 && argv[0])
        gArgumentZero = argv[0];
    gAppDirectory = FILENAME(gArgumentZero.Text()).Directory().GetPath();

    gAppDirectory = ProductDirectory(gAppDirectory.Text());
    OSYS::SetCurrentDirectory(gAppDirectory.Text());

    if (_stricmp(gAppName.Text(), "Application") == 0)
    {
        STRING name = FILENAME(gArgumentZero.Text()).Name();
        name.Replace(".exe", "", 1);
        gAppName = name;
    }

    STRINGARRAY files;
    bool desktopTaken = false;
    CommandLineIniCandidates(files, &desktopTaken);
    if (desktopTaken)
        LogitOption("/LOGDEFAULTDESKTOP");

    gArguments.DeleteAll();
    for (int i = 0; i < count; i++)
    {
        LogitOption(argv[i]);
        gArguments.AddItem(STRING(argv[i]));
    }

    bool isController = _stricmp(FILENAME(gArgumentZero.Text()).Name().Text(), "service.exe") == 0;
    for (int i = 0; i < files.Count(); i++)
        ReadCandidate(files.Text(i), !isController);

    Logit("TARNIAPP arguments acquired\n");
    for (int i = 0; i < gArguments.Count(); i++)
        Logit("TARNIAPP program argument %d= '%s'\n", i, gArguments.Text(i));

    if (TestArgValue("STARTUPDELAY", 0))
    {
        Logit("TARNIAPP sleeping for startupdelay\n");
        int seconds = atoi(GetArgValue("STARTUPDELAY", 0).Text());
        if (seconds > 0)
            Sleep((DWORD)seconds * 1000);
    }

    STRING language = GetArgValue("LANG", 0);
    if (_stricmp(language.Text(), "GER") == 0)
        gLocale = 7;
    else if (_stricmp(language.Text(), "ENGL") == 0)
        gLocale = 9;
    else if (_stricmp(language.Text(), "FRENCH") == 0)
        gLocale = 12;
    else if (_stricmp(language.Text(), "HUNGARIAN") == 0)
        gLocale = 14;
    else
        gLocale = defaultLanguage;
    LCID thread = GetThreadLocale();
    Logit("TARNIAPP gLocale= %d, locale= %x/%x/%x, primarylang= %x\n", gLocale, (unsigned)thread,
          (unsigned)GetUserDefaultLCID(), (unsigned)GetSystemDefaultLCID(), (unsigned)(thread & 0x3FF));
}

int Run(void* instance, APPMAINFUNC appMain)
{
    gInstance = static_cast<HINSTANCE>(instance);
    SetResourceModule(gInstance);

    // Entry point: split a private copy of the command line.
    const char* fullCommandLine = GetCommandLineA();
    char* text = _strdup(fullCommandLine ? fullCommandLine : "");
    char self[MAX_PATH];
    FORMAT::Copy(self, FILENAME("<self>").Text(), sizeof(self));
    gCommandLine = text;
    gCommandLine.Trim('B', " ");
    char* argv[MaxArgumentPointers];
    int count = SplitCommandLine(text, self, argv);

    EnableLowFragmentationHeap();
    CRASHDUMP::Install(0);
    INITCOMMONCONTROLSEX controls = {8, 0x7FF};
    InitCommonControlsEx(&controls);
    SetDpiAwareness();
    _putenv("TZ=");
    SetEnvironmentVariableA("TZ", 0);
    OSYS::ElapsedMs(true);
    gMainThreadId = GetCurrentThreadId();
    Logit("TARNIAPP instance= %p gMainThreadId= %08x\n", instance, gMainThreadId);

    AcquireArguments(count, argv, PRIMARYLANGID(GetUserDefaultUILanguage()));
    free(text);

    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        WSAStartup(MAKEWORD(1, 1), &winsock);

    int result = 1;
    AssertHandler(appMain != 0, "pfnAppMain", __FILE__, 157, 0, 0);
    if (appMain)
    {
        int n = gArguments.Count();
        char** pointers = static_cast<char**>(calloc(n + 1, sizeof(char*)));
        STRINGARRAY copy(gArguments);
        for (int i = 0; pointers && i < n; i++)
            pointers[i] = const_cast<char*>(copy.Text(i));
        result = pointers ? appMain(n, pointers, _environ) : 1;
        free(pointers);
    }

    Logit("\n");
    Logit("Welcome back %s, you have safely returned to TARNIAPP with exit code %d\n", gAppName.Text(), result);
    Logit("Taxi to your hangar and have a pleasant stay.\n");
    Logit("Over and out.\n");
    while (gCleanupCount > 0)
        gCleanups[--gCleanupCount]();
    LogitOption("/LOGITCLOSE");

    WSACleanup();
    ReleaseResourceModule();
    BUFFERCORE::PoolShutdown();
    UNICODE::Release();
    if (gKernel32)
        FreeLibrary(gKernel32);
    gKernel32 = 0;
    CRASHDUMP::ReleaseReserve();
    return result;
}

bool AtExit(void (*cleanup)())
{
    const int capacity = (int)(sizeof(gCleanups) / sizeof(gCleanups[0]));
    if (!cleanup || gCleanupCount >= capacity)
    {
        AssertHandler(0, "cleanup && gCleanupCount<ARRAYMAX(gCleanups)", __FILE__, __LINE__, 0, 0);
        return false;
    }
    gCleanups[gCleanupCount++] = cleanup;
    return true;
}

STRINGARRAY& Arguments() { return gArguments; }
const STRING& MakerName() { return gMakerName; }
const STRING& AppName() { return gAppName; }
void SetAppName(const char* name) { gAppName = name; }
const STRING& Version() { return gVersion; }
void SetVersion(const char* version) { gVersion = version; }
const STRING& ArgumentZero() { return gArgumentZero; }
const STRING& AppDirectory() { return gAppDirectory; }
const STRING& CommandLine() { return gCommandLine; }
bool IsMainThread() { return GetCurrentThreadId() == gMainThreadId; }
void* Instance() { return gInstance; }

}

int TestArg(const char* key)
{
    key = STRING::NullGuard(key);
    int found = 0;
    for (int i = 0; i < gArguments.Count() && !found; i++)
        found = IsOption(gArguments.Text(i), key);
    Logit("TestArg(\"%s\") returned %d\n", key, found);
    return found;
}

int TestArgValue(const char* key, int index)
{
    key = STRING::NullGuard(key);
    size_t keyLength = strlen(key);
    int matches = 0;
    for (int i = 0; i < gArguments.Count() && matches <= index; i++)
    {
        const char* argument = gArguments.Text(i);
        if ((argument[0] == '-' && _stricmp(argument + 1, key) == 0) ||
            (argument[0] == '/' && _strnicmp(argument + 1, key, keyLength) == 0 && argument[1 + keyLength] == ':'))
            matches++;
    }
    int result = matches > index ? 1 : 0;
    Logit("TestArgValue(\"%s\", %d) returned %d\n", key, index, result);
    return result;
}

STRING GetArgValue(const char* key, int index)
{
    key = STRING::NullGuard(key);
    size_t keyLength = strlen(key);
    STRING value;
    int matches = 0;
    for (int i = 0; i < gArguments.Count(); i++)
    {
        const char* argument = gArguments.Text(i);
        if ((argument[0] != '/' && argument[0] != '-') || _strnicmp(argument + 1, key, keyLength) != 0)
            continue;
        if (matches++ < index)
            continue;
        if (argument[0] == '/')
        {
            const char* rest = argument + 1 + keyLength;
            value = rest[0] == ':' ? rest + 1 : rest;
        }
        else
        {
            value = gArguments.Text(i + 1);
        }
        break;
    }
    Logit("GetArgValue(\"%s\", %d) returned %s\n", key, index, value.IsEmpty() ? "<NULL>" : value.Text());
    return value;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    return TARNIAPP::Run(instance, pfnAppMain);
}
