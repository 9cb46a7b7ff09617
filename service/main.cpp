// The service controller's entry: load "service.cfg", then act on one verb.
// Started by the service control manager (no verb), it becomes the service.

#include <windows.h>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "service/serviceconfig.h"
#include "service/servicegui.h"
#include "service/serviceops.h"
#include "service/servicewrapper.h"

namespace
{
    // Shown as it stands: the lines must not be reflowed into one paragraph.
    void ShowSyntax()
    {
        AppMessageBox(0,
                    "Syntax:\r\n"
                    "\r\n"
                    "service /config\r\n"
                    "\r\n"
                    "service /start\r\n"
                    "service /stop\r\n"
                    "service /install\r\n"
                    "service /uninstall\r\n",
                    "Tarni Service Controller", MB_OK | MB_ICONINFORMATION);
    }

    // Waits while the service is stopping or still running: one query a
    // second, at most 21 queries. The verb succeeds whatever the last state.
    void WaitForStop(const STRING& name)
    {
        for (int queries = 0; queries < 21;)
        {
            OSYS::Sleep(1000);
            int state = ServiceOperation("QUERY_STATUS", name, 0, 0);
            queries++;
            if (state != SERVICE_STOP_PENDING && state != SERVICE_RUNNING)
                break;
        }
    }

    int ControllerMain(int count, char** arguments, char** environment)
    {
        // Nobody would see a box of the service process: it would wait for ever.
        if (SERVICEWRAPPER::RunsAsService(OSYS::ParentProcessImage().Text(), OSYS::WindowStationVisible()))
            AssertSetUnattended(1);

        int rc = SERVICECONFIG::Load();
        if (rc != 0)
            return rc;

        STRING name = SERVICECONFIG::Value("AppName");
        STRING windowClass = SERVICECONFIG::Value("AppWinClass");
        STRING executable = SERVICECONFIG::Value("AppExe");

        if (TestArg("GUI") || TestArg("CONFIG") || TestArg("ADVGUI"))
        {
            SERVICEGUI::Run();
            return 0;
        }
        if (TestArg("?") || TestArg("HELP"))
        {
            ShowSyntax();
            return 0;
        }
        if (TestArg("INSTALL"))
            return ServiceOperation("INSTALL", name, windowClass.Text(), executable.Text());
        if (TestArg("UNINSTALL"))
            return ServiceOperation("UNINSTALL", name, windowClass.Text(), executable.Text());
        if (TestArg("START"))
            return ServiceOperation("START", name, 0, 0);
        if (TestArg("STOP"))
        {
            rc = ServiceOperation("STOP", name, 0, 0);
            if (rc == 0)
                WaitForStop(name);
            return rc;
        }
        return ServiceOperation("RUN", name, windowClass.Text(), executable.Text());
    }
}

static TARNIAPPMAIN gControllerMain(ControllerMain);
