// A small program on the class library: an application object whose
// accelerators serve its main window, a menu, an icon in the notification
// area with a tool tip, and a crash on request (start it with /CRASHDUMP to
// see the crash dump handler at work).

#include <windows.h>

#include "examples/trayapp/trayapp.h"
#include "framework/app/tarni_win32.h"
#include "framework/windows/winapp_win32.h"
#include "framework/windows/winbase_win32.h"
#include "framework/windows/winmisc_win32.h"

namespace
{
    const char WindowClass[] = "TarniTrayAppWindow";

    class MAINWINDOW : public WINDOW
    {
    public:
        MAINWINDOW()
            : WINDOW(WS_OVERLAPPEDWINDOW, "Tarni tray sample", CW_USEDEFAULT, CW_USEDEFAULT, 360, 200, 0, IDI_TRAYAPP,
                     IDM_TRAYAPP, WindowClass),
              Icon(Hwnd(), 1, IDI_TRAYAPP, "Tarni tray sample: double-click to show")
        {
            Icon.Add();
            Show(true);
        }
        ~MAINWINDOW() override { DestroyOwnedWindow(); }

        int OnMenuCommand(int id) override
        {
            switch (id)
            {
            case IDM_HELLO:
                WINTARNI::InfoMsgBox(Hwnd(), 0, "Hello from the tray sample.");
                return 1;
            case IDM_CRASH:
                *static_cast<volatile int*>(Null()) = 42;
                return 1;
            case IDM_EXIT:
                Icon.Remove(false);
                DestroyWindow(Hwnd());
                return 1;
            }
            return 0;
        }

        // The icon's callback: a double click brings the window back.
        LRESULT OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message != WM__NOTIFYICON || lParam != WM_LBUTTONDBLCLK)
                return 0;
            ShowWindow(Hwnd(), SW_RESTORE);
            BringToForeground();
            return 1;
        }

        int OnDestroy() override
        {
            PostQuitMessage(0);
            return 0;
        }

    private:
        // Out of the compiler's sight, so that the write really happens.
        static void* Null()
        {
            static void* volatile null = 0;
            return null;
        }

        TASKBARICON Icon;
    };

    class TRAYAPP : public APPLICATION
    {
    public:
        LRESULT Message(int event, WPARAM, LPARAM, LPARAM) override
        {
            if (event == APPLICATION_OPEN)
                Window = new MAINWINDOW();
            return 1;
        }
        ~TRAYAPP() override { delete Window; }

    private:
        MAINWINDOW* Window = 0;
    };

    int TrayMain(int, char**, char**)
    {
        TRAYAPP application;
        application.SetAccelerators(IDA_TRAYAPP, WindowClass);
        return application.Run();
    }
}

static TARNIAPPMAIN gTrayMain(TrayMain);
