// A program built on the frame for the frame's tests. It reports what the
// frame made of its start (arguments, directories, language) into the file
// named by FRAMEPROBE_REPORT, and can raise an assertion on request.

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"

// Raises a second assertion while the first one's dialog is showing, then
// leaves "second.txt" in the current directory.
static DWORD WINAPI SecondAssertion(void*)
{
    Sleep(500);
    AssertHandler(0, "second==condition", __FILE__, __LINE__, 0, 0);
    FILE* marker = fopen("second.txt", "w");
    if (marker)
        fclose(marker);
    return 0;
}

static int ProbeMain(int count, char** arguments, char** environment)
{
    if (TestArg("PROBEASSERT2"))
    {
        HANDLE thread = CreateThread(0, 0, SecondAssertion, 0, 0, 0);
        AssertHandler(0, "first==condition", __FILE__, __LINE__, 0, 0);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (TestArg("PROBEASSERT"))
        AssertHandler(0, "probe==condition", __FILE__, __LINE__, "raised on request", 0);

    const char* reportPath = getenv("FRAMEPROBE_REPORT");
    if (reportPath)
    {
        FILE* report = fopen(reportPath, "wb");
        if (report)
        {
            for (int i = 0; i < count; i++)
                fprintf(report, "arg=%s\n", arguments[i]);
            fprintf(report, "terminator=%s\n", arguments[count] ? "set" : "null");
            fprintf(report, "cwd=%s\n", OSYS::GetCurrentDirectory().Text());
            fprintf(report, "workdir=%s\n", gWorkDir.Text());
            fprintf(report, "appdir=%s\n", TARNIAPP::AppDirectory().Text());
            fprintf(report, "appname=%s\n", TARNIAPP::AppName().Text());
            fprintf(report, "commandline=%s\n", TARNIAPP::CommandLine().Text());
            fprintf(report, "locale=%d\n", gLocale);
            fprintf(report, "mainthread=%d\n", TARNIAPP::IsMainThread() ? 1 : 0);
            fprintf(report, "crashlevel=%d\n", CRASHDUMP::Level());
            fclose(report);
        }
    }
    const char* exitCode = getenv("FRAMEPROBE_EXIT");
    return exitCode ? atoi(exitCode) : 0;
}

static TARNIAPPMAIN gProbeMain(ProbeMain);
