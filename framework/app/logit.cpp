// The diagnostic log and the assertion handler (FORMAT is in format.cpp).

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/text/strings.h"

unsigned int LogitLevel = 0;

namespace
{
    HANDLE gLogHandle = 0;
    char gLogPath[280] = "";
    bool gActive = false;
    bool gDebugOutput = false;
    bool gEnabled = false;
    bool gHard = false;
    bool gAppend = false;
    bool gTemp = false;
    bool gConsoleAllocated = false;
    bool gDefaultOnDesktop = false;
    bool gNoAssert = false;
    bool gUnattended = false;
    const char* gSuppressPrefix = 0;
    bool gSuppressPersistent = false;

    // active || debug output: the one test a call makes while the log is off.
    volatile bool gWriting = false;

    MUTEXSEM* gLogLock = 0;
    double gTimeBase = 0.0;
    DWORD gFirstThread = 0;
    bool gAtLineStart = true;
    int gIndentation = 0;
    DWORD gIndentOwner = 0;
    char gEmphasis = 0;

    volatile bool gAssertShowing = false;
    char gDialogText[2500];
    ASSERTHOOK gAssertHook = 0;

    const char IndentBars[] = "| | | | | | | | | | | | | | | | | | | ";

    // Per thread, in a system TLS slot (the toolchain's thread_local would
    // bring a threads library along): how deep line writing nests, for
    // separator lines, anything deeper being a loop (an assertion raised while
    // writing) that is cut off; and the flag CreatingLock, since the lock logs
    // its own creation, which is not written, while other threads' lines are.
    const DWORD gWriterSlot = TlsAlloc();
    const LONG_PTR CreatingLock = 0x100;

    LONG_PTR WriterState()
    {
        return reinterpret_cast<LONG_PTR>(TlsGetValue(gWriterSlot));
    }

    void SetWriterState(LONG_PTR state)
    {
        TlsSetValue(gWriterSlot, reinterpret_cast<void*>(state));
    }

    void UpdateWriting()
    {
        gWriting = gActive || gDebugOutput;
    }

    double NowSeconds()
    {
        int64_t counter = 0, frequency = 1;
        OSYS::PerformanceCounter(&counter, &frequency);
        return frequency > 0 ? (double)counter / (double)frequency : 0.0;
    }

    bool StartsWithNoCase(const char* text, const char* prefix)
    {
        return _strnicmp(text, prefix, strlen(prefix)) == 0;
    }

    // A line logged between a failed call and its GetLastError must not
    // change the answer (writing to the debugger output does).
    struct KEEPLASTERROR
    {
        DWORD Saved = GetLastError();
        ~KEEPLASTERROR() { SetLastError(Saved); }
    };

    void WriteLine(const char* format, va_list args)
    {
        KEEPLASTERROR keep;
        double now = NowSeconds();
        if (gTimeBase == 0.0)
            gTimeBase = now;
        double elapsed = now - gTimeBase;
        DWORD thread = GetCurrentThreadId();
        if (gFirstThread == 0)
            gFirstThread = thread;
        LONG_PTR state = WriterState();
        if (!gLogLock && !(state & CreatingLock))
        {
            SetWriterState(state | CreatingLock);
            MUTEXSEM* created = new MUTEXSEM(0, 0, MUTEXSEM::CREATE);
            SetWriterState(state);
            // Two threads may get here at once: the first lock stored is the one.
            if (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&gLogLock), created, 0) != 0)
                delete created;
        }
        if (!gWriting || (state & CreatingLock) || state > 4)
            return;

        SetWriterState(state + 1);
        MUTEXSEM* lock = gLogLock;
        if (!lock->Request(-1))
            AssertHandler(0, "ok", __FILE__, __LINE__, 0, 0);

        char prefix[32] = "";
        if (gIndentation > 0)
        {
            if (gIndentOwner == thread)
                FORMAT::Copy(prefix, IndentBars, (gIndentation < 30 ? gIndentation : 30) + 1);
            else
                FORMAT::Copy(prefix, "@ ", sizeof(prefix));
        }

        char group = 0;
        if (format[0] == '[' && (gIndentOwner == 0 || gIndentOwner == thread))
        {
            if (strncmp(format, "[>>]", 4) == 0 && gIndentation < 30)
            {
                if (gIndentation == 0)
                    gIndentOwner = thread;
                gIndentation += 2;
                format += 4;
            }
            else if (strncmp(format, "[<<]", 4) == 0 && gIndentation >= 2)
            {
                gIndentation -= 2;
                if (gIndentation == 0)
                    gIndentOwner = 0;
                prefix[gIndentation < (int)sizeof(prefix) ? gIndentation : (int)sizeof(prefix) - 1] = 0;
                format += 4;
            }
            else if (strncmp(format, "[!1]", 4) == 0 || strncmp(format, "[!2]", 4) == 0)
            {
                group = format[2];
                if (gEmphasis && gEmphasis != group)
                    Logit("\n");
                gEmphasis = group;
                format += 4;
            }
        }
        if (gEmphasis != group)
        {
            gEmphasis = group;
            Logit("\n");
        }

        char logitbuf[8192];
        int howmany = 0;
        if (gAtLineStart)
            howmany = FORMAT::Print(logitbuf, sizeof(logitbuf), "[%07.3lf%c%04x] %s", elapsed,
                                    thread == gFirstThread ? ':' : '#', (unsigned)(thread & 0xFFFFF), prefix);
        int room = (int)sizeof(logitbuf) - howmany;
        int wanted = strchr(format, '%') ? FORMAT::PrintV(logitbuf + howmany, room, format, args)
                                         : (int)FORMAT::Copy(logitbuf + howmany, format, room);
        howmany += wanted < room ? (wanted > 0 ? wanted : 0) : room - 1;

        if (howmany > 0 && logitbuf[howmany - 1] == '\n')
        {
            // A line that fills the buffer gives up its last text byte for the CR.
            if (howmany >= (int)sizeof(logitbuf) - 1)
                howmany--;
            logitbuf[howmany - 1] = '\r';
            logitbuf[howmany++] = '\n';
            logitbuf[howmany] = 0;
            gAtLineStart = true;
        }
        else
        {
            gAtLineStart = false;
        }

        AssertHandler(howmany < (int)sizeof(logitbuf), "howmany < sizeof(logitbuf)", __FILE__, __LINE__, 0, 0);
        if (gLogHandle && gLogHandle != INVALID_HANDLE_VALUE)
        {
            DWORD written = 0;
            WriteFile(gLogHandle, logitbuf, howmany, &written, 0);
        }
        if (gDebugOutput)
            OutputDebugStringA(logitbuf);
        lock->Release();
        SetWriterState(state);
    }

    bool SuppressedBy(const char* format)
    {
        if (!gSuppressPrefix || !format)
            return false;
        if (strncmp(format, gSuppressPrefix, strlen(gSuppressPrefix)) != 0)
            return false;
        if (!gSuppressPersistent)
            gSuppressPrefix = 0;
        return true;
    }

    STRING DefaultLogName()
    {
        STRING app(TARNIAPP::AppName());
        app.ToUpper();
        return STRING::Sprintf("Tarni_%s_logit.log", app.Text());
    }

    STRING UniqueLogName()
    {
        STRING stamp = OSYS::DateTimeText(0);
        stamp.Replace("  ", "_", 1);
        stamp.Replace(":", "-", 1);
        int64_t counter = 0, frequency = 1;
        OSYS::PerformanceCounter(&counter, &frequency);
        int millis = frequency > 0 ? (int)((int64_t)((double)counter / (double)frequency * 1000.0) % 1000) : 0;
        STRING tail = STRING::Sprintf("Logit_%s-%d_%X.log", stamp.Text(), millis, (unsigned)GetCurrentProcessId());
        STRING name = DefaultLogName();
        name.Replace("logit.log", tail.Text(), 1);
        return name;
    }

    STRING LogPathFor(const char* value)
    {
        if (value)
        {
            STRING chosen = _stricmp(value, "UNIQUE") == 0 ? UniqueLogName() : STRING(value);
            if (OSYS::GetOsId() < 5)
                return chosen;
            if (_stricmp(chosen.Text(), "DESKTOP") == 0)
                return FILENAME(OSYS::GetSystemPath(8).Text(), DefaultLogName().Text()).GetPath();
            if (_stricmp(chosen.Text(), "CONSOLE") == 0 || _stricmp(chosen.Text(), "STDERR") == 0)
                return chosen;
            return FILENAME(OSYS::GetSystemPath(18).Text(), chosen.Text()).GetPath();
        }
        if (gDefaultOnDesktop)
            return FILENAME(OSYS::GetSystemPath(8).Text(), DefaultLogName().Text()).GetPath();
        if (FILENAME("..\\quv.cpp").Exists())
            return STRING("..\\logit.log");
        if (FILENAME("main.cpp").Exists() || FILENAME("quv.pdb").Exists())
            return STRING("logit.log");
        int type = _stricmp(OSYS::GetUserName().Text(), "SYSTEM") == 0 ? 12 : 18;
        return FILENAME(OSYS::GetSystemPath(type).Text(), DefaultLogName().Text()).GetPath();
    }

    void CloseLog()
    {
        if (gLogHandle && gLogHandle != INVALID_HANDLE_VALUE)
            CloseHandle(gLogHandle);
        gLogHandle = 0;
        if (gConsoleAllocated)
        {
            FreeConsole();
            gConsoleAllocated = false;
        }
        if (gTemp && gLogPath[0])
            DeleteFileA(gLogPath);
        gActive = false;
        UpdateWriting();
        MUTEXSEM* lock = gLogLock;
        gLogLock = 0;
        delete lock;
    }

    void OpenLog(const char* argument)
    {
        const char* colon = strchr(argument, ':');
        const char* value = colon && colon[1] ? colon + 1 : 0;
        STRING path = LogPathFor(value);
        const bool hard = StartsWithNoCase(argument, "/LOGITHARD");

        if (gLogHandle)
            CloseLog();
        if (path.Length() >= (int)sizeof(gLogPath))
        {
            // Longer paths are not provided for; a hard log still arms the crash handler.
            if (hard)
                CRASHDUMP::Install(2);
            return;
        }
        FORMAT::Copy(gLogPath, path.Text(), sizeof(gLogPath));
        gHard = hard;
        gAppend = StartsWithNoCase(argument, "/LOGITAPPEND");
        gTemp = StartsWithNoCase(argument, "/LOGITTEMP");

        if (_stricmp(gLogPath, "STDERR") == 0)
        {
            gLogHandle = GetStdHandle(STD_ERROR_HANDLE);
        }
        else if (_stricmp(gLogPath, "CONSOLE") == 0)
        {
            AllocConsole();
            gConsoleAllocated = true;
            gLogHandle = GetStdHandle(STD_OUTPUT_HANDLE);
        }
        else
        {
            gLogHandle = CreateFileA(gLogPath, GENERIC_WRITE, FILE_SHARE_READ, 0, gAppend ? OPEN_ALWAYS : CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL | (gHard ? FILE_FLAG_WRITE_THROUGH : 0), 0);
            if (gLogHandle == INVALID_HANDLE_VALUE)
                gLogHandle = 0;
            if (gLogHandle && gAppend)
            {
                SetFilePointer(gLogHandle, 0, 0, FILE_END);
                gActive = true;
                UpdateWriting();
                Logit("\n");
            }
        }
        if (gLogHandle && gLogHandle != INVALID_HANDLE_VALUE)
        {
            gActive = true;
            UpdateWriting();
            Logit("Logging starts at %s %s\n", OSYS::CurrentDateText().Text(), OSYS::CurrentTimeText().Text());
            FILENAME self("<self>");
            Logit("Running as %s (%lu bytes, %s)\n", self.Text(), (unsigned long)self.Size(),
                  OSYS::DateTimeText(self.ModificationTime()).Text());
        }
        else
        {
            gLogHandle = 0;
        }
        if (gHard)
            CRASHDUMP::Install(2);
    }

    void Tune(const int (*notes)[2], int count)
    {
        for (int i = 0; i < count; i++)
        {
            if (i > 0)
                Sleep(10);
            Beep(notes[i][0], notes[i][1]);
        }
    }
}

int Logit(const char* format, ...)
{
    if (!gWriting)
        return 0;
    if (SuppressedBy(format))
        return 0;
    va_list args;
    va_start(args, format);
    WriteLine(STRING::NullGuard(format), args);
    va_end(args);
    return 1;
}

int LogitIf(unsigned int level, const char* format, ...)
{
    if (!gWriting)
        return 0;
    if (SuppressedBy(format))
        return 0;
    if (!LogitLevelPasses(level, LogitLevel))
        return 0;
    if (!format)
        return 1;
    va_list args;
    va_start(args, format);
    WriteLine(format, args);
    va_end(args);
    return 1;
}

void LogitSuppress(const char* prefix, int persistent)
{
    gSuppressPrefix = prefix;
    gSuppressPersistent = persistent != 0;
}

int LogitIsEnabled()
{
    return gEnabled;
}

int LogitOption(const char* argument)
{
    if (!argument)
        return 0;
    char option[1024];
    FORMAT::Copy(option, argument, sizeof(option));
    if (option[0] == '-')
        option[0] = '/';

    int handled = 1;
    if (_stricmp(option, "/LOGIT") == 0 || StartsWithNoCase(option, "/LOGIT:") ||
        _stricmp(option, "/LOGITHARD") == 0 || StartsWithNoCase(option, "/LOGITHARD:") ||
        _stricmp(option, "/LOGITAPPEND") == 0 || StartsWithNoCase(option, "/LOGITAPPEND:") ||
        _stricmp(option, "/LOGITTEMP") == 0 || StartsWithNoCase(option, "/LOGITTEMP:"))
    {
        OpenLog(option);
    }
    else if (_stricmp(option, "/LOGDEFAULTDESKTOP") == 0)
    {
        gDefaultOnDesktop = true;
    }
    else if (_stricmp(option, "/LOGDEBUG") == 0 || _stricmp(option, "/LOGDBG") == 0)
    {
        gDebugOutput = true;
        UpdateWriting();
    }
    else if (StartsWithNoCase(option, "/LOG:") || StartsWithNoCase(option, "/D:"))
    {
        if (!gActive && StartsWithNoCase(option, "/LOG"))
            LogitOption("/LOGIT");
        LogitLevel |= (unsigned int)atol(strchr(option, ':') + 1);
        Logit("LogitLevel %08x\n", LogitLevel);
    }
    else if (_stricmp(option, "/LOGITCLOSE") == 0)
    {
        CloseLog();
    }
    else if (_stricmp(option, "/NOASSERT") == 0)
    {
        gNoAssert = !gNoAssert;
    }
    else if (StartsWithNoCase(option, "/CRASHDUMP"))
    {
        CRASHDUMP::Install(option[10] == ':' ? atoi(option + 11) : 2);
    }
    else
    {
        handled = 0;
    }
    gEnabled = gActive || gDebugOutput;
    return handled;
}

namespace
{
    // "assert.log" in the working directory, else a file of the program's
    // own in the folder of GetSystemPath(14); null when neither opens.
    FILE* OpenAssertLog(STRING& path)
    {
        path = "assert.log";
        FILE* file = fopen(path.Text(), "a");
        if (!file)
        {
            STRING app(TARNIAPP::AppName());
            app.ToUpper();
            STRING name = TARNIAPP::MakerName() || "_";
            name.AppendFormat("%s_Assert.log", app.Text());
            path = FILENAME(OSYS::GetSystemPath(14).Text(), name.Text()).GetPath();
            file = fopen(path.Text(), "a");
        }
        return file;
    }
}

void AssertSetUnattended(int on)
{
    gUnattended = on != 0;
}

int AssertIsUnattended()
{
    return gUnattended;
}

int AssertDefaultAnswer(unsigned style)
{
    switch (style & MB_TYPEMASK)
    {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDCANCEL;
    }
}

int AssertBoxNotShown(const char* title, const char* text, unsigned style)
{
    if (!gUnattended)
        return 0;
    const int answer = AssertDefaultAnswer(style);
    static const char* const names[] = {"OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    Logit("AssertBoxNotShown title=%s answer=%d\n", STRING::NullGuard(title), answer);
    auto textOf = [](const char* text) {
        text = STRING::NullGuard(text);
        return text ? text : "";
    };
    STRING path;
    if (FILE* file = OpenAssertLog(path))
    {
        // Formatted by the framework, not the C runtime's printf, which would
        // link its own number conversions.
        STRING record = STRING::Sprintf("--- %s --- %s %s ---\n\n    Message box not shown, answered %s:\n",
                                        textOf(title), OSYS::CurrentDateText().Text(),
                                        OSYS::CurrentTimeText().Text(), names[answer - IDOK]);
        fputs(record.Text(), file);
        fputs(textOf(text), file);
        fputs("\n\n", file);
        fclose(file);
    }
    return answer;
}

int AppMessageBox(void* owner, const char* text, const char* title, unsigned style)
{
    if (int answer = AssertBoxNotShown(title, text, style))
        return answer;
    return MessageBoxA(static_cast<HWND>(owner), text, title, style);
}

ASSERTHOOK AssertSetHook(ASSERTHOOK hook)
{
    ASSERTHOOK previous = gAssertHook;
    gAssertHook = hook;
    return previous;
}

int AssertHandler(int conditionValue, const char* conditionText, const char* file, int line, const char* info,
                  int silent)
{
    if (conditionValue)
        return 1;
    DWORD error = GetLastError();
    conditionText = conditionText ? conditionText : "<null>";
    if (gAssertHook && gAssertHook(conditionText, file, line, info))
        return 1;
    if (strcmp(conditionText, "FALSE") == 0)
        error = 0;

    STRING title = TARNIAPP::MakerName() || " ";
    title.Append(TARNIAPP::AppName());
    title.AppendFormat(" (%s)", TARNIAPP::Version().Text());

    char errorLine[512] = "";
    if (error)
        FORMAT::Print(errorLine, sizeof(errorLine), "%s: %d (%s)", "GetLastError()", (int)error,
                      OSYS::GetErrorText((int)error).Text());

    const char* source = file ? file : "";
    for (const char* p = source; *p; p++)
    {
        if (*p == ':' || *p == '/' || *p == '\\')
            source = p + 1;
    }
    info = info ? info : "<null>";

    char message[2047];
    FORMAT::Print(message, sizeof(message),
                  gLocale == 7 ? "    Bedingung: %s\n    Datei: %s Zeile %d\n    Info: %s\n    %s\n"
                               : "    Condition: %s\n    Location : %s line %d\n    Add. Info: %s\n    %s\n",
                  conditionText, source, line, info, errorLine);
    Logit("*** ASSERTION FAILED: \n%s\n", message);

    STRING assertPath;
    FILE* assertFile = OpenAssertLog(assertPath);
    if (assertFile)
    {
        if (gAssertShowing)
            fputs("--- (another assert message is currently showing)\n\n", assertFile);
        const char* const parts[] = {"--- ", title.Text(), " --- ", OSYS::CurrentDateText().Text(), " ",
                                     OSYS::CurrentTimeText().Text(), " ---\n\n", message, "\n\n"};
        for (const char* part : parts)
            fputs(part, assertFile);
        fclose(assertFile);
    }

    if (gNoAssert || gUnattended || silent || gAssertShowing)
        return 1;

    FORMAT::Print(gDialogText, 2499,
                  gLocale == 7 ? "Es ist eine unerwartete Situation aufgetreten.\n\nBitte melden Sie die Umstaende des "
                                 "Fehlers und die folgenden\nInformationen an uns (Datei %s):\n\n%s\nWollen Sie jetzt "
                                 "versuchen mit dem Programm fortzufahren?"
                               : "An unexpected condition has been encountered.\n\nPlease contact us via our web site "
                                 "and provide the following information (logged in the %s file):\n\n%s\nDo you want to "
                                 "try to continue with the program?",
                  assertPath.Text(), message);
    gAssertShowing = true;
    STRING boxTitle = title || " / ";
    boxTitle.Append(OSYS::LocaleTimeText());
    int answer = MessageBoxA(0, gDialogText, boxTitle.Text(), MB_YESNO | MB_ICONERROR);
    if (answer == IDNO)
        CRASHDUMP::EndAsOnFault();
    gAssertShowing = false;
    return 1;
}

int DiagnosticHotKeys(unsigned int message, uintptr_t wParam, intptr_t lParam)
{
    WORD key = 0;
    if (message == WM_KEYDOWN)
        key = (WORD)wParam;
    else if (message == WM_NOTIFY && lParam && ((const NMHDR*)lParam)->code == (UINT)-155)
        key = ((const NMLVKEYDOWN*)lParam)->wVKey;
    else
        return 0;
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) >= 0 || GetKeyState(VK_MENU) < 0)
        return 0;

    static const int rising[][2] = {{440, 200}, {660, 100}, {880, 100}};
    static const int falling[][2] = {{880, 100}, {660, 100}, {440, 100}};
    static const int fault[][2] = {{880, 100}, {660, 100}, {440, 100}, {440, 100}, {440, 100}};
    switch (key)
    {
    case VK_F5:
        LogitOption("/LOGIT");
        Tune(rising, 3);
        return 1;
    case VK_F6:
        LogitOption("/LOGITHARD");
        Tune(rising, 3);
        return 1;
    case VK_F7:
        LogitOption("/LOGIT:CONSOLE");
        Tune(rising, 3);
        Sleep(100);
        Beep(880, 100);
        return 1;
    case VK_F8:
        LogitOption("/LOGITCLOSE");
        Tune(falling, 3);
        return 1;
    case VK_F9:
        Tune(fault, 5);
        CRASHDUMP::EndAsOnFault();
        return 1;
    default:
        return 0;
    }
}
