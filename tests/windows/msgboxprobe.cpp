// A program built on the frame that shows one message box: /KIND: Info,
// Warning, YesNo or YesNoCancel; title and text from MSGBOXPROBE_TITLE
// (absent: no title given) and MSGBOXPROBE_TEXT. With /CHILDOWNER the box is
// opened from a child of a top-level window of class "MsgBoxProbeOwner".
// Exit code: the box's result + 10.

#include <windows.h>
#include <stdlib.h>

#include "framework/app/tarni_win32.h"
#include "framework/windows/winmisc_win32.h"

static int ProbeMain(int count, char** arguments, char** environment)
{
    HWND owner = 0;
    HWND child = 0;
    if (TestArg("CHILDOWNER"))
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(0);
        windowClass.lpszClassName = "MsgBoxProbeOwner";
        RegisterClassA(&windowClass);
        owner = CreateWindowA("MsgBoxProbeOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200, 0, 0,
                              windowClass.hInstance, 0);
        child = CreateWindowA("STATIC", "child", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, owner, 0,
                              windowClass.hInstance, 0);
    }
    const char* title = getenv("MSGBOXPROBE_TITLE");
    const char* text = getenv("MSGBOXPROBE_TEXT");
    STRING kind = GetArgValue("KIND", 0);
    int result = 0;
    if (_stricmp(kind.Text(), "Info") == 0)
        WINTARNI::InfoMsgBox(child, title, text);
    else if (_stricmp(kind.Text(), "Warning") == 0)
        WINTARNI::WarningMsgBox(child, title, text);
    else if (_stricmp(kind.Text(), "YesNo") == 0)
        result = WINTARNI::YesNoMsgBox(child, title, text);
    else if (_stricmp(kind.Text(), "YesNoCancel") == 0)
        result = WINTARNI::YesNoCancelMsgBox(child, title, text);
    else
        result = 100;
    if (owner)
        DestroyWindow(owner);
    return result + 10;
}

static TARNIAPPMAIN gProbeMain(ProbeMain);
