#pragma once
// Operating-system services as seen by the portable code. No system headers
// here: kernel objects are held as opaque pointers and filled by the osys_*_win32 files.

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

class STRING;

// Code pages of the system, for UNICODE and WSTRING.
namespace OSYS
{
    int GetAnsiCodePage();
    int GetOemCodePage();
    // Return the units or bytes written (needed, when out is null), 0 on
    // failure. WideToMultiByte puts '?' for characters the code page lacks
    // and says so in *usedDefault (may be null).
    int MultiByteToWide(int codepage, const char* text, int len, char16_t* out, int outmax);
    int WideToMultiByte(int codepage, const char16_t* wtext, int len, char* out, int outmax, int* usedDefault);
    // The system's wide printf (%s takes 16-bit text): at most size units
    // with a zero; returns the length the whole text needs, -1 on error.
    int FormatWideV(char16_t* buffer, int size, const char16_t* format, va_list args);
    // The system's printf, with C vsnprintf's rules: at most size bytes with
    // a zero (when size >= 1); returns the length the whole text needs, -1 on
    // error.
    int FormatV(char* buffer, size_t size, const char* format, va_list args);
}

// A Windows mutex: recursive for the owning thread.
class MUTEXSEM
{
public:
    enum { CREATE = 1, OPEN = 2 };
    explicit MUTEXSEM(int state = 0, const char* name = 0, int openmode = CREATE);
    ~MUTEXSEM();
    MUTEXSEM(const MUTEXSEM&) = delete;
    MUTEXSEM& operator=(const MUTEXSEM&) = delete;

    // Timeout in ms, -1 waits forever. True only when the mutex was acquired
    // cleanly (an abandoned mutex is owned but answers false).
    bool Request(int timeout = -1);
    bool Release();

private:
    void* hmux;
    uint32_t OwnerThreadId;
};

// A critical section for static data; the block lives on the heap.
class CRITSECT
{
public:
    CRITSECT();
    ~CRITSECT();
    CRITSECT(const CRITSECT&) = delete;
    CRITSECT& operator=(const CRITSECT&) = delete;
    void Enter();
    void Leave();

private:
    void* pCritSect;
};

// Stopwatch on the performance counter; reports to the log on request.
class PERFORMANCETIMER
{
public:
    explicit PERFORMANCETIMER(const char* name = 0, bool reportOnDestroy = true);
    virtual ~PERFORMANCETIMER();
    PERFORMANCETIMER(const PERFORMANCETIMER&) = delete;
    PERFORMANCETIMER& operator=(const PERFORMANCETIMER&) = delete;

    void Start();
    double Elapsed(bool stopNow = false);   // seconds; the first call freezes the time
    void Report(const char* name = 0);

private:
    char Name[64];
    bool ReportOnDestroy;
    int64_t StartCounter;
    int64_t StopCounter;
    int64_t Frequency;
};

// PROCESS_INFORMATION of <windows.h>, filled by OSYS::StartProgram.
struct _PROCESS_INFORMATION;

// Calendar fields of a time: Month 1-12, Weekday 0 = Sunday.
struct CALENDARTIME
{
    int Year;
    int Month;
    int Weekday;
    int Day;
    int Hour;
    int Minute;
    int Second;
    int Milliseconds;
};

// The parameter block of OSYS::CreateThreadWithParm. The thread owns it and
// releases it with free().
struct THREADPARM
{
    enum : uint32_t { MARKER = 0xFFEEDDCC };
    uint32_t Marker;
    void* Parameter1;
    void* Parameter2;
};

#ifdef _WIN32
#define TARNI_THREADCALL __stdcall
#else
#define TARNI_THREADCALL
#endif
// The calling convention _beginthreadex expects on Windows.
typedef unsigned(TARNI_THREADCALL* THREADFUNCTION)(void* parameter);

class PIPECHILD;
namespace OSYS
{
    bool CreatePipeChild(const char* commandLine, const char* workDir, PIPECHILD& child);
}

// A child process whose standard input and output (with standard error) are
// pipes held here; OSYS::CreatePipeChild starts it. Every handle is closed
// on destruction; a child still running then is left alone.
class PIPECHILD
{
public:
    PIPECHILD();
    ~PIPECHILD();
    PIPECHILD(const PIPECHILD&) = delete;
    PIPECHILD& operator=(const PIPECHILD&) = delete;

    int Write(const void* data, int size);   // bytes written, -1 on failure
    int Read(void* buffer, int size);        // bytes read, 0 at the end, -1 on failure
    void CloseInput();                       // the child then reads the end of its input
    // Exit code; -1 when the child does not end within timeout ms (-1 waits forever).
    int Wait(int timeout);
    uint32_t ProcessId() const { return Pid; }
    void Close();

private:
    friend bool OSYS::CreatePipeChild(const char* commandLine, const char* workDir, PIPECHILD& child);
    void* hProcess;
    void* hInput;
    void* hOutput;
    uint32_t Pid;
};

namespace OSYS
{
    int GetOsId();
    STRING GetOsName();
    STRING GetSystemPath(int type);
    STRING GetUserName();
    STRING GetComputerName();
    STRING GetProgramPath();
    STRING GetCurrentDirectory();
    bool SetCurrentDirectory(const char* path);
    STRING GetErrorText(int code);          // -4711: the thread's last error
    int GetLastError();
    void SetLastError(int code);
    uint32_t GetCurrentThreadId();
    uint32_t GetCurrentProcessId();

    STRING CurrentDateText();               // "%04d-%02d-%02d"
    STRING CurrentTimeText();               // "%02d:%02d:%02d"
    STRING DateTimeText(int64_t time);      // "%04d-%02d-%02d  %02d:%02d:%02d", 0 = now
    STRING LocaleTimeText();
    int64_t Now();

    bool PerformanceCounter(int64_t* counter, int64_t* frequency);
    int64_t ElapsedMs(bool reset = false);
    void Sleep(int ms);
    void Beep(int frequency, int duration);

    // Pure mapping of version numbers to the operating-system id.
    int OsIdFromVersion(unsigned platformId, unsigned major, unsigned minor, unsigned build);
    STRING OsNameFromId(int id);
    // The folder type actually served: the SYSTEM account has no desktop or
    // documents of its own and gets the common ones.
    int SystemPathTypeFor(int type, const char* userName);

    bool IsWow64();
    // The image name (without folder) of the process that started this one;
    // empty when it cannot be read or has ended.
    STRING ParentProcessImage();
    // Whether the window station of this process is shown to a user: 1 yes,
    // 0 no, -1 cannot be read.
    int WindowStationVisible();

    // Flags of StartProgram; a program text beginning with '*' starts
    // minimised, one beginning with '#' hidden.
    enum
    {
        STARTPROGRAM_SYNC = 1,          // wait until the program ends
        STARTPROGRAM_HIDDEN = 2,
        STARTPROGRAM_MINIMIZED = 4,
        STARTPROGRAM_MAXIMIZED = 8,
        STARTPROGRAM_PUMPMESSAGES = 16  // with SYNC: run the message pump while waiting
    };
    // Result 0 when the program could not be started. exitCode holds -8 until
    // a waited-for program's exit code is read. A given processInfo receives
    // the process and thread handles, which the caller then closes.
    int StartProgram(const char* program, const char* parameters, const char* workDir, const char* title,
                     int flags, _PROCESS_INFORMATION* processInfo = 0, int* exitCode = 0);
    // Waits for the program; its exit code, or 1 when it could not be started.
    int StartProgramExitCode(const char* program, const char* parameters, const char* workDir = 0,
                             const char* title = 0);
    // The window framework's message pump, run by StartProgram between waits.
    void SetMessagePumpHook(void (*pump)());

    // The module argument that stands for the language resource module.
    extern void* const LANGUAGEMODULE;
    STRING GetStringFromResource(int id, void* module = LANGUAGEMODULE);

    STRING LocaleDateText();
    STRING LocaleLongDateText();
    enum { RELATIVEDATE_NOTIME = 1 };
    // "Today", "Yesterday", a weekday name or a short date, then two blanks
    // and "HH:mm:ss" (German texts for a German user locale).
    STRING RelativeDateTimeText(int64_t time, int flags = 0);
    // Adds offset / divisor days to a "%hd-%hd-%hd  %hd:%hd:%hd" text:
    // divisor 1 counts days, 24 hours, 1440 minutes, 86400 seconds.
    STRING AddToDateText(const char* text, int64_t offset, int divisor);
    // Times before 1970 count as the epoch. Milliseconds come from the clock.
    bool CalendarFromTime(int64_t time, CALENDARTIME& fields, bool utc = false);
    int64_t TimeFromCalendar(const CALENDARTIME& fields, bool utc = false);

    // Threads run at once with a stack of 0x8000 bytes; the result is the
    // thread's handle, closed by WaitThread or KillThread.
    void* CreateThread(THREADFUNCTION function, void* parameter, uint32_t* threadId = 0);
    // The thread receives a THREADPARM holding both parameters.
    void* CreateThreadWithParm(THREADFUNCTION function, void* parameter1, void* parameter2,
                               uint32_t* threadId = 0);
    bool WaitThread(void* thread, int timeout);   // true when the thread ended; -1 waits forever
    bool KillThread(void* thread);

    bool ShellExecuteRun(void* owner, const char* program, const char* parameters, const char* workDir);
    // exitCode receives -1 when it cannot be read (or the program still runs after timeout ms).
    bool ShellExecuteRunSync(void* owner, const char* program, const char* parameters, const char* workDir,
                             int timeout, int* exitCode);
    bool OpenDocument(const char* path, void* owner = 0);
    bool CreatePipeChild(const char* commandLine, const char* workDir, PIPECHILD& child);
    bool PlaySoundFile(const char* path, bool sync);
    // ExitWindowsEx with flags and reason, after enabling the shutdown privilege.
    bool Shutdown(unsigned flags, unsigned reason);
    bool WakeupHarddisk(const char* directory);
    void WakeupScreensaver();
    // "<self>" or "<ownfile>" stands for the running program; no program
    // removes the entry.
    bool SetAutostart(const char* name, const char* program);

    // Colours are 0xAABBGGRR: red in the low byte as in a COLORREF.
    uint32_t GetThemedSysColor(int index, bool plain = false);
    // Tells whether the window framework's dark mode is on.
    void SetDarkModeHook(bool (*isDarkMode)());
    uint32_t BlendColor(uint32_t first, uint32_t second, int percent);   // percent of second
    // Hue in degrees, saturation 0..1, brightness 0..1, and up to 2 for a
    // blend towards white; alpha 0..255.
    uint32_t HsbToRgb(float hue, float saturation, float brightness, int alpha = 0);
    void RgbToHsb(uint32_t color, float& hue, float& saturation, float& brightness, int& alpha);

    // CRC-32 (IEEE 802.3, reflected): the caller chooses the start value and
    // any final XOR.
    uint32_t Crc32(uint32_t value, const void* bytes, size_t count);
    uint32_t Crc32Text(uint32_t value, const char* text);
    // length -1 reads the whole file; true when the requested length was read.
    bool Crc32File(const char* path, int64_t length, uint32_t* value);
}


#include "framework/text/strings.h"

// A manual-reset event: Set releases every waiter until Reset.
class EVENTSEM
{
public:
    explicit EVENTSEM(int initialState = 0);
    ~EVENTSEM();
    EVENTSEM(const EVENTSEM&) = delete;
    EVENTSEM& operator=(const EVENTSEM&) = delete;

    bool Set();
    bool Reset();
    bool Wait(int timeout = -1);   // ms, -1 forever; true only when signalled

private:
    void* hev;
};

// A named block of shared memory guarded by a named mutex ("<name>MX").
// Every access belongs between Lock and Unlock.
class SHAREDMEMORY
{
public:
    enum { CREATE = 1, OPEN = 2 };
    SHAREDMEMORY(const char* name, int size, int openmode = CREATE);
    virtual ~SHAREDMEMORY();
    SHAREDMEMORY(const SHAREDMEMORY&) = delete;
    SHAREDMEMORY& operator=(const SHAREDMEMORY&) = delete;

    // Takes the block's mutex; *memory is the block, null when the lock was
    // not taken or the block could not be mapped. A Lock that returned true
    // needs its Unlock.
    bool Lock(void** memory, int timeout = -1);
    bool Unlock(void* memory);

private:
    MUTEXSEM* pMutex;
    STRING Name;
    void* pMemory;
    int Size;
    void* hMem;
};

// Security attributes with a null DACL: every account may open the object.
class NULLDACL
{
public:
    NULLDACL();
    ~NULLDACL();
    NULLDACL(const NULLDACL&) = delete;
    NULLDACL& operator=(const NULLDACL&) = delete;

    void* Attributes() { return &Sa; }   // a SECURITY_ATTRIBUTES
    bool Success() const { return Ok; }

private:
    struct SECURITYATTRIBUTES           // the layout of SECURITY_ATTRIBUTES
    {
        uint32_t Length;
        void* Descriptor;
        int InheritHandle;
    };
    void* pDescriptor;
    SECURITYATTRIBUTES Sa;
    bool Ok;
};

// Enables a privilege of the process token while the object lives.
class GETPRIVILEGE
{
public:
    explicit GETPRIVILEGE(const char* privilegeName);
    ~GETPRIVILEGE();
    GETPRIVILEGE(const GETPRIVILEGE&) = delete;
    GETPRIVILEGE& operator=(const GETPRIVILEGE&) = delete;

    bool Success() const { return Ok; }

private:
    struct TOKENPRIVILEGE               // the layout of TOKEN_PRIVILEGES with one entry
    {
        uint32_t Count;
        uint32_t LuidLow;
        int32_t LuidHigh;
        uint32_t Attributes;
    };
    STRING PrivilegeName;
    void* hToken;
    TOKENPRIVILEGE Privilege;
    bool Adjusted;
    bool Ok;
};

// Scoped priority class of the current process. previousClass -1 reads the
// class to restore from the process.
class RAISEPROCESSPRIORITY
{
public:
    explicit RAISEPROCESSPRIORITY(int priorityClass, int previousClass = -1);
    ~RAISEPROCESSPRIORITY();
    RAISEPROCESSPRIORITY(const RAISEPROCESSPRIORITY&) = delete;
    RAISEPROCESSPRIORITY& operator=(const RAISEPROCESSPRIORITY&) = delete;

    bool Raised() const { return RaiseOk; }

private:
    void* hProcess;
    int PreviousClass;
    bool RaiseOk;
};

// Scoped priority of the thread that makes the object. previousPriority -1
// reads the priority to restore from the thread.
class RAISETHREADPRIORITY
{
public:
    explicit RAISETHREADPRIORITY(int priority, int previousPriority = -1);
    ~RAISETHREADPRIORITY();
    RAISETHREADPRIORITY(const RAISETHREADPRIORITY&) = delete;
    RAISETHREADPRIORITY& operator=(const RAISETHREADPRIORITY&) = delete;

    bool SetPriority(int priority);
    bool Raised() const { return RaiseOk; }

private:
    void* hThread;
    int PreviousPriority;
    bool RaiseOk;
};


// One open registry key: root key plus a path of base and application name.
class REGISTRY
{
public:
    enum { OPENORCREATE = 0, READONLY = 1, READWRITE = 2 };
    enum { KIND_UNINSTALL = 1, KIND_USER = 2, KIND_MACHINE = 3 };

    // user 0: HKEY_LOCAL_MACHINE, 1: HKEY_CURRENT_USER, any other value is a
    // predefined root key; rootKey is such a key as a handle.
    REGISTRY(const char* app, const char* basekey, int user);
    REGISTRY(const char* app, const char* basekey, void* rootKey);
    REGISTRY(int kind, const char* app);
    ~REGISTRY();
    REGISTRY(const REGISTRY&) = delete;
    REGISTRY& operator=(const REGISTRY&) = delete;

    void Close();
    // Opens the same path again; the 64-bit view applies to READONLY and READWRITE.
    bool Reopen(int mode);
    void SetView64(bool on) { View64 = on; }
    bool IsOpen() const { return hKey != 0; }
    const char* GetPath() const { return Path.Text(); }

    // type, when given, receives the value's registry type (REG_SZ, REG_BINARY, ...).
    bool ReadString(const char* value, STRING& out, uint32_t* type = 0);   // out unchanged on failure
    bool ReadBuffer(const char* value, void* buffer, int& size, uint32_t* type = 0);
    bool ReadDword(const char* value, uint32_t& out);         // out unchanged on failure
    bool WriteString(const char* value, const char* data);
    bool WriteDword(const char* value, uint32_t data);
    bool WriteBinary(const char* value, const void* data, int size);
    bool DeleteKey(const char* name, bool tree);
    bool DeleteValue(const char* name);

    // base, '\' unless base ends with one, app without its leading '\';
    // trailing '\' cut from the whole.
    static STRING KeyPath(const char* base, const char* app);

private:
    void Construct(const char* app, const char* basekey, void* root, int user);
    long OpenPath(int mode);
    long Query(const char* value, void* buffer, int* size, uint32_t* type);

    void* hKey;
    void* hRoot;
    STRING Path;
    bool View64;
};

// Any exported function; cast it to its real type before calling.
typedef void (*DLLFUNCTION)(void);

// A dynamic library loaded by name, with one function looked up at load time.
class DLLINTERFACE
{
public:
    explicit DLLINTERFACE(const char* dllname = 0, const char* function = 0);
    ~DLLINTERFACE();
    DLLINTERFACE(const DLLINTERFACE&) = delete;
    DLLINTERFACE& operator=(const DLLINTERFACE&) = delete;

    int Load(const char* filename, const char* function = 0);
    DLLFUNCTION GetFunction(const char* name = 0);   // null: the one found by Load
    DLLFUNCTION GetFunctionByOrdinal(int ordinal);   // an export that has a number only
    void Unload();
    void SetQuiet(bool quiet) { Quiet = quiet; }
    bool IsLoaded() const { return hDll != 0; }

    static bool DllExists(const char* filename);

private:
    void* hDll;
    bool Quiet;
    DLLFUNCTION pFunction;
    char FunctionName[128];
    char DllName[128];
};
