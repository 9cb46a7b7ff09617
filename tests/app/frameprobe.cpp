// A program built on the frame for the frame's tests. It reports what the
// frame made of its start (arguments, directories, language) into the file
// named by FRAMEPROBE_REPORT, and raises an assertion, a fault or the fault
// hot key on request.

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"

static int ProbeMain(int count, char** arguments, char** environment)
{
    if (TestArg("PROBEASSERT"))
        AssertHandler(0, "probe==condition", __FILE__, __LINE__, "raised on request", 0);
    if (TestArg("PROBETWOFAULTS"))
    {
        // A second thread faults while the first is in the handler.
        auto fault = [](void*) -> DWORD {
            Sleep(500);
            volatile int* volatile nowhere = 0;
            *nowhere = 1;
            return 0;
        };
        HANDLE thread = CreateThread(0, 0, fault, 0, 0, 0);
        if (thread)
            CloseHandle(thread);
    }
    if (TestArg("PROBEFAULT") || TestArg("PROBETWOFAULTS"))
    {
        volatile int* volatile nowhere = 0;
        *nowhere = 1;
    }
    if (TestArg("PROBEF9"))
    {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        DiagnosticHotKeys(WM_KEYDOWN, VK_F9, 0);
    }

    const char* reportPath = getenv("FRAMEPROBE_REPORT");
    FILE* report = reportPath ? fopen(reportPath, "wb") : 0;
    if (report)
    {
        for (int i = 0; i < count; i++)
            fprintf(report, "arg=%s\n", arguments[i]);
        fprintf(report, "cwd=%s\n", OSYS::GetCurrentDirectory().Text());
        fprintf(report, "workdir=%s\n", gWorkDir.Text());
        fprintf(report, "appdir=%s\n", TARNIAPP::AppDirectory().Text());
        fprintf(report, "appname=%s\n", TARNIAPP::AppName().Text());
        fprintf(report, "locale=%d\n", gLocale);
        fprintf(report, "mainthread=%d\n", TARNIAPP::IsMainThread() ? 1 : 0);
        fprintf(report, "crashlevel=%d\n", CRASHDUMP::Level());
        fclose(report);
    }
    return 0;
}

static TARNIAPPMAIN gProbeMain(ProbeMain);
