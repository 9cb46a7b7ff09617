// A program built on the frame that loads the controller's configuration as
// the controller does. It writes the result and the store into the file named
// by CONFIGPROBE_REPORT and exits with the load's result.

#include <stdio.h>
#include <stdlib.h>

#include "framework/app/tarni_win32.h"
#include "service/serviceconfig.h"

static int ProbeMain(int count, char** arguments, char** environment)
{
    int result = SERVICECONFIG::Load();
    const char* reportPath = getenv("CONFIGPROBE_REPORT");
    FILE* report = reportPath ? fopen(reportPath, "wb") : 0;
    if (report)
    {
        fprintf(report, "result=%d\n", result);
        HASH& store = SERVICECONFIG::Store();
        for (int i = 0; i < store.Count(); i++)
            fprintf(report, "%s=%s\n", store.KeyAt(i), store.ValueAt(i)->Text());
        fclose(report);
    }
    return result;
}

static TARNIAPPMAIN gProbeMain(ProbeMain);
