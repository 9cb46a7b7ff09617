// The crash benchmark's two programs: each holds 50 MB of heap, writes the
// performance counter at the moment of its fault to the file named by
// CRASHBENCH_TIME, and faults. Both are built on the frame, so that their
// dumps hold the same modules: in crashprobe.exe the crash handler takes over;
// in the baseline, crashbaseline.exe, a filter of its own only writes the same
// kind of dump to CRASHBENCH_DUMP and ends with 42.

#include <windows.h>
#include <dbghelp.h>
#include <stdlib.h>
#include <string.h>

#include "framework/app/tarni_win32.h"

namespace
{
    void* volatile gHeld;

    void HoldHeapAndFault()
    {
        const size_t size = 50 * 1024 * 1024;
        gHeld = malloc(size);
        if (gHeld)
            memset(gHeld, 0x5A, size);   // committed, not only reserved
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        char path[MAX_PATH] = "";
        if (GetEnvironmentVariableA("CRASHBENCH_TIME", path, sizeof(path)))
        {
            HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
            DWORD written = 0;
            WriteFile(file, &now, sizeof(now), &written, 0);
            CloseHandle(file);
        }
        volatile int* volatile nowhere = 0;
        *nowhere = 1;
    }
}

#ifdef CRASHBENCH_BASELINE
static LONG WINAPI DumpOnly(EXCEPTION_POINTERS* exception)
{
    char path[MAX_PATH] = "";
    GetEnvironmentVariableA("CRASHBENCH_DUMP", path, sizeof(path));
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = GetCurrentThreadId();
    information.ExceptionPointers = exception;
    information.ClientPointers = FALSE;
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, (MINIDUMP_TYPE)0x155, &information, 0, 0);
    CloseHandle(file);
    TerminateProcess(GetCurrentProcess(), 42);
    return EXCEPTION_EXECUTE_HANDLER;
}
#endif

static int CrashMain(int, char**, char**)
{
#ifdef CRASHBENCH_BASELINE
    SetUnhandledExceptionFilter(DumpOnly);
#endif
    HoldHeapAndFault();
    return 0;
}

static TARNIAPPMAIN gCrashMain(CrashMain);
