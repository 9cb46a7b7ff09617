// The start-up work the frame must do, and nothing else: common controls,
// Winsock and the service manager. The benchmark compares service.exe with it.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x7FF};
    InitCommonControlsEx(&controls);
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, "TarniBenchMissingService", SERVICE_START) : 0;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    WSACleanup();
    return 6;
}
