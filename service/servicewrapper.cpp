#include "service/servicewrapper.h"

#include "framework/app/logit.h"
#include "framework/os/osysfile.h"
#include "framework/text/strings.h"

namespace
{
    BOOL WINAPI SystemStartDispatcher(const SERVICE_TABLE_ENTRYA* table)
    {
        return StartServiceCtrlDispatcherA(table);
    }

    SERVICE_STATUS_HANDLE WINAPI SystemRegisterHandler(LPCSTR name, LPHANDLER_FUNCTION handler)
    {
        return RegisterServiceCtrlHandlerA(name, handler);
    }

    BOOL WINAPI SystemSetStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
    {
        return SetServiceStatus(handle, status);
    }

    const SERVICECALLS gSystemCalls = {SystemStartDispatcher, SystemRegisterHandler, SystemSetStatus};
    const SERVICECALLS* gCalls = &gSystemCalls;

    // The service manager's callbacks carry no context: they reach the one
    // wrapper of the process through this pointer.
    SERVICEWRAPPER* gWrapper = 0;

    void CopyText(char* field, size_t size, const char* text)
    {
        FORMAT::Copy(field, STRING::NullGuard(text), size);
    }
}

void SERVICEWRAPPER::SetServiceCalls(const SERVICECALLS* calls)
{
    gCalls = calls ? calls : &gSystemCalls;
}

SERVICEWRAPPER::SERVICEWRAPPER(void* instance, const char* name, DWORD controlsAccepted)
    : StatusHandle(0), Instance(instance), StoppedReported(false)
{
    if (!name)
        AssertHandler(0, "name!=0", __FILE__, __LINE__, "SERVICEWRAPPER", 0);
    CopyText(ServiceName, sizeof(ServiceName), name);
    ZeroMemory(&Status, sizeof(Status));
    Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    Status.dwCurrentState = SERVICE_STOPPED;
    Status.dwControlsAccepted = controlsAccepted;
    if (gWrapper)
        AssertHandler(0, "gWrapper==0", __FILE__, __LINE__, "one service wrapper a process", 0);
    gWrapper = this;
    Logit("SERVICEWRAPPER::SERVICEWRAPPER %s\n", ServiceName);
}

SERVICEWRAPPER::~SERVICEWRAPPER()
{
    if (gWrapper == this)
        gWrapper = 0;
}

const char* SERVICEWRAPPER::GetDependencies() { return 0; }
bool SERVICEWRAPPER::OnInit() { return true; }
void SERVICEWRAPPER::OnStop() {}
void SERVICEWRAPPER::OnInterrogate() {}
void SERVICEWRAPPER::OnPause() {}
void SERVICEWRAPPER::OnContinue() {}
void SERVICEWRAPPER::OnShutdown() {}
bool SERVICEWRAPPER::OnUserControl(DWORD code) { return false; }

bool SERVICEWRAPPER::StartDispatcher()
{
    SERVICE_TABLE_ENTRYA table[2] = {{ServiceName, ServiceMain}, {0, 0}};
    Logit("SERVICEWRAPPER::StartDispatcher %s\n", ServiceName);
    bool ok = gCalls->StartDispatcher(table) != 0;
    if (MainThread.Valid())
        WaitForSingleObject(MainThread.Get(), 10000);
    MainThread.Close();
    Logit("SERVICEWRAPPER::StartDispatcher returns ok= %d\n", ok ? 1 : 0);
    return ok;
}

void SERVICEWRAPPER::SetStatus(DWORD state)
{
    StatusLock.Enter();
    // Nothing follows the stopped report: a late report from the control
    // handler would otherwise undo it.
    if (!StoppedReported)
    {
        Status.dwCurrentState = state;
        if (state == SERVICE_STOPPED)
        {
            StoppedReported = true;
            if (Status.dwServiceSpecificExitCode == 0)
                Status.dwServiceSpecificExitCode = 1;
        }
        LogitIf(2, "SERVICEWRAPPER::SetStatus %d\n", (int)state);
        gCalls->SetStatus(StatusHandle, &Status);
    }
    StatusLock.Leave();
}

void WINAPI SERVICEWRAPPER::ServiceMain(DWORD count, LPSTR* arguments)
{
    if (gWrapper)
        gWrapper->Main();
}

void WINAPI SERVICEWRAPPER::ControlHandler(DWORD code)
{
    if (gWrapper)
        gWrapper->Control(code);
}

void SERVICEWRAPPER::Main()
{
    Logit("SERVICEWRAPPER::ServiceMain %s\n", ServiceName);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), MainThread.Receive(), SYNCHRONIZE,
                    FALSE, 0);
    StatusLock.Enter();
    Status.dwCurrentState = SERVICE_START_PENDING;
    StatusLock.Leave();
    StatusHandle = gCalls->RegisterHandler(ServiceName, ControlHandler);
    if (!StatusHandle)
    {
        Logit("SERVICEWRAPPER::ServiceMain no handler: %s\n", OSYS::GetErrorText(-4711).Text());
        return;
    }
    SetStatus(SERVICE_START_PENDING);
    bool initialised = OnInit();
    StatusLock.Enter();
    Status.dwWin32ExitCode = ::GetLastError();
    Status.dwCheckPoint = 0;
    Status.dwWaitHint = 0;
    StatusLock.Leave();
    SetStatus(initialised ? SERVICE_RUNNING : SERVICE_STOPPED);
    if (initialised)
    {
        StatusLock.Enter();
        Status.dwWin32ExitCode = 0;
        Status.dwCheckPoint = 0;
        Status.dwWaitHint = 0;
        StatusLock.Leave();
        Run(1);
    }
    SetStatus(SERVICE_STOPPED);
    Logit("SERVICEWRAPPER::ServiceMain done\n");
}

void SERVICEWRAPPER::Control(DWORD code)
{
    LogitIf(2, "SERVICEWRAPPER::ControlHandler %d\n", (int)code);
    switch (code)
    {
    case SERVICE_CONTROL_STOP:
        SetStatus(SERVICE_STOP_PENDING);
        OnStop();
        break;
    case SERVICE_CONTROL_PAUSE:
        OnPause();
        break;
    case SERVICE_CONTROL_CONTINUE:
        OnContinue();
        break;
    case SERVICE_CONTROL_INTERROGATE:
        OnInterrogate();
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        OnShutdown();
        break;
    default:
        OnUserControl(code);
        break;
    }
    // The state is read under the lock, so it cannot be older than a report
    // the service thread has just made.
    StatusLock.Enter();
    SetStatus(Status.dwCurrentState);
    StatusLock.Leave();
}

bool SERVICEWRAPPER::IsInstalled()
{
    SCHANDLE manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return false;
    SCHANDLE service(OpenServiceA(manager.Get(), ServiceName, SERVICE_QUERY_CONFIG));
    Logit("SERVICEWRAPPER::IsInstalled %s returns %d\n", ServiceName, service ? 1 : 0);
    return (bool)service;
}

bool SERVICEWRAPPER::Install(DWORD startType)
{
    SCHANDLE manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
    if (!manager)
    {
        Logit("SERVICEWRAPPER::Install no manager: %s\n", OSYS::GetErrorText(-4711).Text());
        return false;
    }
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const char* dependencies = GetDependencies();
    SCHANDLE service(CreateServiceA(manager.Get(), ServiceName, ServiceName, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, startType,
                                    SERVICE_ERROR_NORMAL, path, 0, 0, dependencies, 0, 0));
    Logit("SERVICEWRAPPER::Install %s %s returns %d\n", ServiceName, path, service ? 1 : 0);
    return (bool)service;
}

bool SERVICEWRAPPER::Uninstall()
{
    SCHANDLE manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return false;
    SCHANDLE service(OpenServiceA(manager.Get(), ServiceName, DELETE));
    bool ok = service && DeleteService(service.Get());
    Logit("SERVICEWRAPPER::Uninstall %s returns %d\n", ServiceName, ok ? 1 : 0);
    return ok;
}

SERVICELAUNCHER::SERVICELAUNCHER(void* instance, const char* name, const char* windowClass, const char* executable)
    : SERVICEWRAPPER(instance, name, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN)
{
    CopyText(Executable, sizeof(Executable), executable);
    CopyText(WindowClass, sizeof(WindowClass), windowClass);
}

SERVICELAUNCHER::~SERVICELAUNCHER() {}

bool SERVICELAUNCHER::OnInit() { return true; }
void SERVICELAUNCHER::OnInterrogate() {}
void SERVICELAUNCHER::OnPause() {}
void SERVICELAUNCHER::OnContinue() {}
bool SERVICELAUNCHER::OnUserControl(DWORD code) { return true; }

STRING SERVICELAUNCHER::WorkingDirectory(const char* directory)
{
    STRING dir(STRING::NullGuard(directory));
    STRING marker = dir || "\\..\\main.cpp";
    const char* builds[] = {"\\Debug", "\\Release"};
    for (const char* build : builds)
    {
        int length = (int)strlen(build);
        if (dir.Length() >= length && STRING::Compare(dir.Right(length).Text(), build) == 0 &&
            FILENAME(marker.Text()).Exists())
            return dir.Left(dir.Length() - length);
    }
    return dir;
}

void SERVICELAUNCHER::Run(int mode)
{
    FILENAME self("<self>");
    FILENAME directory = self.Directory();
    FILENAME program(directory.Text(), Executable);
    STRING workDir = WorkingDirectory(directory.Text());
    Logit("SERVICELAUNCHER::Run %s in %s\n", program.Text(), workDir.Text());
    int ok = OSYS::StartProgram(program.Text(), "/service", workDir.Text(), 0, OSYS::STARTPROGRAM_SYNC);
    Logit("SERVICELAUNCHER::Run returns started= %d\n", ok);
}

void SERVICELAUNCHER::OnStop()
{
    HWND window = FindWindowA(WindowClass, 0);
    Logit("SERVICELAUNCHER::OnStop %s window= %p\n", WindowClass, (void*)window);
    if (window)
        PostMessageA(window, WM_QUIT, 0, 0);
}

void SERVICELAUNCHER::OnShutdown()
{
    OnStop();
}

bool SERVICEWRAPPER::RunsAsService(const char* parentImage, int stationVisible)
{
    return STRING::Compare(parentImage, "services.exe") == 0 || stationVisible == 0;
}
