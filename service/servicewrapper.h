#pragma once
// Connects one service to the service control manager, and the launcher that
// runs the hosted application as that service's work.

#include <windows.h>

#include "framework/os/osys.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"

// Owner of a service manager or service handle. Declare the service handle
// after the manager handle, so it is closed first.
class SCHANDLE
{
public:
    explicit SCHANDLE(SC_HANDLE h = 0) : Handle(h) {}
    ~SCHANDLE() { if (Handle) CloseServiceHandle(Handle); }
    SCHANDLE(const SCHANDLE&) = delete;
    SCHANDLE& operator=(const SCHANDLE&) = delete;
    SC_HANDLE Get() const { return Handle; }
    explicit operator bool() const { return Handle != 0; }

private:
    SC_HANDLE Handle;
};

// The dispatcher calls of the service control manager. Tests put their own in
// place with SERVICEWRAPPER::SetServiceCalls.
struct SERVICECALLS
{
    BOOL(WINAPI* StartDispatcher)(const SERVICE_TABLE_ENTRYA* table);
    SERVICE_STATUS_HANDLE(WINAPI* RegisterHandler)(LPCSTR name, LPHANDLER_FUNCTION handler);
    BOOL(WINAPI* SetStatus)(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status);
};

class SERVICEWRAPPER
{
public:
    enum { NAMESIZE = 128 };

    SERVICEWRAPPER(void* instance, const char* name, DWORD controlsAccepted);
    virtual ~SERVICEWRAPPER();
    SERVICEWRAPPER(const SERVICEWRAPPER&) = delete;
    SERVICEWRAPPER& operator=(const SERVICEWRAPPER&) = delete;

    virtual const char* GetDependencies();
    virtual void Run(int mode) = 0;
    virtual bool OnInit();
    virtual void OnStop();
    virtual void OnInterrogate();
    virtual void OnPause();
    virtual void OnContinue();
    virtual void OnShutdown();
    virtual bool OnUserControl(DWORD code);

    // True when StartServiceCtrlDispatcherA succeeded; it returns only after
    // the service has ended.
    bool StartDispatcher();
    // Reports a state; a stopped service is reported exactly once.
    void SetStatus(DWORD state);

    // Service manager requests on this service's name.
    bool IsInstalled();
    bool Install(DWORD startType);
    bool Uninstall();

    const char* GetServiceName() const { return ServiceName; }
    void* GetInstance() const { return Instance; }

    // null restores the calls of the system.
    static void SetServiceCalls(const SERVICECALLS* calls);

    // Whether this process runs as a service, where nobody sees its windows:
    // started by the service manager (parent image "services.exe"), or on a
    // window station that says it is not visible (stationVisible 0; 1 is
    // visible, -1 unknown).
    static bool RunsAsService(const char* parentImage, int stationVisible);

private:
    static void WINAPI ServiceMain(DWORD count, LPSTR* arguments);
    static void WINAPI ControlHandler(DWORD code);
    void Main();
    void Control(DWORD code);

    char ServiceName[NAMESIZE];
    SERVICE_STATUS_HANDLE StatusHandle;
    SERVICE_STATUS Status;
    CRITSECT StatusLock;
    void* Instance;
    bool StoppedReported;
    // The dispatcher returns once stopped is reported, which can be before
    // the service main function has let go of this object.
    OWNEDHANDLE MainThread;
};

// Runs the hosted application with "/service" and asks it to quit through
// its main window.
class SERVICELAUNCHER : public SERVICEWRAPPER
{
public:
    enum { EXESIZE = 260, CLASSSIZE = 128 };

    SERVICELAUNCHER(void* instance, const char* name, const char* windowClass, const char* executable);
    ~SERVICELAUNCHER() override;

    void Run(int mode) override;
    bool OnInit() override;
    void OnStop() override;
    void OnInterrogate() override;
    void OnPause() override;
    void OnContinue() override;
    void OnShutdown() override;
    bool OnUserControl(DWORD code) override;

    const char* GetExecutable() const { return Executable; }
    const char* GetWindowClass() const { return WindowClass; }

    // The working directory for a program in directory: in the development
    // layout (a "Debug" or "Release" build folder beside main.cpp) the folder
    // above it, else directory itself.
    static STRING WorkingDirectory(const char* directory);

private:
    char Executable[EXESIZE];
    char WindowClass[CLASSSIZE];
};
