// The idle benchmark's baseline: a plain DialogBox whose 2-second timer asks
// the service manager for the state of the service named on the command line
// and shows it, which is all the controller dialog has to do while idle.

#include <windows.h>
#include <stdio.h>

namespace
{
    const char* gService = "";

    void Refresh(HWND dialog)
    {
        DWORD state = 0;
        SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = manager ? OpenServiceA(manager, gService, SERVICE_QUERY_STATUS) : 0;
        SERVICE_STATUS status;
        if (service && QueryServiceStatus(service, &status))
            state = status.dwCurrentState;
        if (service)
            CloseServiceHandle(service);
        if (manager)
            CloseServiceHandle(manager);
        char text[64];
        snprintf(text, sizeof(text), "State %lu", (unsigned long)state);
        SetDlgItemTextA(dialog, 1104, text);
    }

    INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
    {
        switch (message)
        {
        case WM_INITDIALOG:
            SetTimer(dialog, 1, 2000, 0);
            Refresh(dialog);
            return TRUE;
        case WM_TIMER:
            Refresh(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL)
                EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    gService = commandLine;
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(100), 0, Procedure, 0);
}
