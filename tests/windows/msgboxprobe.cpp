// A program built on the frame that shows one message box: /KIND: Info,
// Warning, YesNo or YesNoCancel; title and text from MSGBOXPROBE_TITLE
// (absent: no title given) and MSGBOXPROBE_TEXT. With /CHILDOWNER the box is
// opened from a child of a top-level window of class "MsgBoxProbeOwner".
// The keyed forms (KeyedInfo, KeyedWarning, KeyedError, KeyedYesNo) read the
// state store from the file MSGBOXPROBE_STATE, look up MSGBOXPROBE_KEY
// (absent: no key) and save the store back. CheckFile opens the file named by
// the text through WINTARNI::CheckFileOpened (result 1 when it opened).
// /WITHLIBRARIES loads the language library from the "languages" folder beside
// the program. Exit code: the box's result + 10.

#include <windows.h>
#include <stdlib.h>

#include "framework/app/resources.h"
#include "framework/app/tarni_win32.h"
#include "framework/windows/winmisc_win32.h"

static int KeyedBox(const char* kind, HWND owner, const char* title, const char* text)
{
    const char* stateFile = getenv("MSGBOXPROBE_STATE");
    const char* key = getenv("MSGBOXPROBE_KEY");
    HASH state;
    state.Load(stateFile);
    int result = 0;
    if (_stricmp(kind, "KeyedInfo") == 0)
        WINTARNI::InfoMsgBox(owner, title, text, state, key);
    else if (_stricmp(kind, "KeyedWarning") == 0)
        WINTARNI::WarningMsgBox(owner, title, text, state, key);
    else if (_stricmp(kind, "KeyedError") == 0)
        WINTARNI::ErrorMsgBox(owner, title, text, state, key);
    else
        result = WINTARNI::YesNoMsgBox(owner, title, text, state, key);
    state.Save(stateFile);
    return result;
}

static int ProbeMain(int count, char** arguments, char** environment)
{
    if (TestArg("WITHLIBRARIES"))
    {
        char self[MAX_PATH] = "";
        GetModuleFileNameA(0, self, sizeof(self));
        TARNIAPP::SetupLanguage(self, "languages", "1", "msgboxprobe", true);
    }
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
    else if (_strnicmp(kind.Text(), "Keyed", 5) == 0)
        result = KeyedBox(kind.Text(), child, title, text);
    else if (_stricmp(kind.Text(), "CheckFile") == 0)
    {
        FILE* file = WINTARNI::CheckFileOpened(fopen(text ? text : "", "r"), text);
        result = file ? 1 : 0;
        if (file)
            fclose(file);
    }
    else
        result = 100;
    if (owner)
        DestroyWindow(owner);
    return result + 10;
}

static TARNIAPPMAIN gProbeMain(ProbeMain);
