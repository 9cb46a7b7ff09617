#include "service/serviceops.h"

#include "framework/app/logit.h"
#include "service/servicewrapper.h"

namespace
{
    OPENMANAGERFUNCTION gOpenManager = OpenSCManagerA;

    bool IsOperation(const STRING& operation, const char* name)
    {
        return STRING::Compare(operation.Text(), name) == 0;
    }

    int StartNamedService(const char* name)
    {
        SCHANDLE manager(gOpenManager(0, 0, SC_MANAGER_ALL_ACCESS));
        if (!manager)
            return 6;
        SCHANDLE service(OpenServiceA(manager.Get(), name, SERVICE_START));
        if (!service || !StartServiceA(service.Get(), 0, 0))
            return 6;
        return 0;
    }

    int StopNamedService(const char* name)
    {
        SCHANDLE manager(gOpenManager(0, 0, SC_MANAGER_ALL_ACCESS));
        if (!manager)
            return 7;
        SCHANDLE service(OpenServiceA(manager.Get(), name, SERVICE_STOP));
        SERVICE_STATUS status;
        if (!service || !ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
        {
            // The system's reason tells a refused stop from a service that did not answer.
            Logit("StopNamedService %s failed, error %lu\n", service ? "ControlService" : "OpenService", GetLastError());
            return 7;
        }
        return 0;
    }

    int QueryNamedState(const char* name)
    {
        SCHANDLE manager(gOpenManager(0, 0, SC_MANAGER_ALL_ACCESS));
        if (!manager)
            return 0;
        SCHANDLE service(OpenServiceA(manager.Get(), name, SERVICE_QUERY_STATUS));
        SERVICE_STATUS status;
        if (!service || !QueryServiceStatus(service.Get(), &status))
            return 0;
        return (int)status.dwCurrentState;
    }
}

void SetManagerOpener(OPENMANAGERFUNCTION opener)
{
    gOpenManager = opener ? opener : OpenSCManagerA;
}

int ServiceOperation(const STRING& operation, const STRING& name, const char* windowClass, const char* executable)
{
    Logit("ServiceOperation %s %s\n", operation.Text(), name.Text());
    int result = 0;
    if (IsOperation(operation, "START"))
        result = StartNamedService(name.Text());
    else if (IsOperation(operation, "STOP"))
        result = StopNamedService(name.Text());
    else if (IsOperation(operation, "QUERY_STATUS"))
        result = QueryNamedState(name.Text());
    else if (IsOperation(operation, "INSTALL") || IsOperation(operation, "UNINSTALL") || IsOperation(operation, "RUN"))
    {
        SERVICELAUNCHER launcher(GetModuleHandleA(0), name.Text(), windowClass, executable);
        if (IsOperation(operation, "INSTALL"))
            result = launcher.Install(SERVICE_AUTO_START) ? 0 : 2;
        else if (IsOperation(operation, "UNINSTALL"))
            result = launcher.Uninstall() ? 0 : 3;
        else if (!launcher.IsInstalled())
            result = 5;
        else
            result = launcher.StartDispatcher() ? 0 : 4;
    }
    Logit("ServiceOperation %s returns %d\n", operation.Text(), result);
    return result;
}
