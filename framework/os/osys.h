#pragma once
// Operating-system services as seen by the portable code. No system headers
// here: kernel objects are held as opaque pointers and filled by osys_win32.

#include <stdint.h>

class STRING;

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
}
