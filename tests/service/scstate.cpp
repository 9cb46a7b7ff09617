// Prints the state of a service as the service control manager reports it;
// the demo uses it to show what the controller did.

#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    static const char* const names[] = {"not installed", "stopped", "start pending", "stop pending", "running",
                                        "continue pending", "pause pending", "paused"};
    if (argc < 2)
    {
        fprintf(stderr, "usage: scstate <service name>\n");
        return 2;
    }
    DWORD state = 0;
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, argv[1], SERVICE_QUERY_STATUS) : 0;
    SERVICE_STATUS status;
    if (service && QueryServiceStatus(service, &status))
        state = status.dwCurrentState;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    printf("service %s: %s (%lu)\n", argv[1], state < 8 ? names[state] : "unknown", (unsigned long)state);
    return 0;
}
