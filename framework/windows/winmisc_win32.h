#pragma once
// Message boxes: every part of the program tells the user something through
// these. Texts are 8-bit (code page 1252); the boxes are shown through the
// UTF-16 interface of the system.

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <memory>

#include "framework/containers/stringarray.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/unicode.h"
#include "framework/windows/wincontrols_win32.h"

namespace WINTARNI
{
    // owner may be null or any window (a child's top-level window owns the
    // box); a null title is the application's title.
    void InfoMsgBox(HWND owner, const char* title, const char* text);
    void WarningMsgBox(HWND owner, const char* title, const char* text);
    void ErrorMsgBox(HWND owner, const char* title, const char* text);
    // 1 for Yes, else 0.
    int YesNoMsgBox(HWND owner, const char* title, const char* text);
    // 1 for Yes, 0 for No, -1 for Cancel (also the close button).
    int YesNoCancelMsgBox(HWND owner, const char* title, const char* text);

    // The text a box shows: single line breaks between words are joined
    // (reflow), "&nbsp;" and "&rarr;" are resolved, and spaces beyond
    // wrapColumn break the line when force is set or, for wrapColumn other
    // than -1, on systems older than Vista. A leading "##NOWRAP##" line turns
    // reflow and wrapping off.
    WSTRING FormatMsgText(const char* text, int wrapColumn, bool force);

    // Keyed forms: the box carries a "do not show again" check box whose
    // state is kept in state under key ("1" ticked, "0" not). A box whose
    // stored value is not 0 is not shown.
    void InfoMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key);
    void WarningMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key);
    void ErrorMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key);
    // 1 for Yes, 0 for No, -1 when not shown.
    int YesNoMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key);
    // flags: buttons in the low nibble (0 OK, 4 Yes and No), the MB_ICON*
    // value in the next. 0 for No, -1 when not shown, else 1.
    int KeyedMsgBox(uint32_t flags, HWND owner, const char* title, const char* text, HASH& state, const char* key);

    // The modeless information window; with keyName and valueName it has a
    // "do not show again" check box whose tick is kept under
    // HKEY_CURRENT_USER\Software\Tarni\<keyName>. Null when the stored flag
    // says not to show it.
    HWND ShowInfoWindow(HWND parent, const char* title, const char* text, const char* keyName,
                        const char* valueName);

    // Returns file; when it is null, tells the user that filename could not
    // be opened and why (errno).
    FILE* CheckFileOpened(FILE* file, const char* filename);
}

// The resizable information window: a read-only text and an optional check
// box. It deletes itself when closed; one whose stored flag is set when it is
// made destroys its window at once (Hwnd() is then null).
class INFOWINDOW : public WINDOW
{
public:
    INFOWINDOW(HWND parent, const char* title, const char* text, const char* keyName, const char* valueName);
    ~INFOWINDOW() override;

    LRESULT WinProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The stored flag under HKEY_CURRENT_USER\Software\Tarni\<keyName>; a
    // value that is missing, or not 4 bytes of REG_BINARY, reads as 0.
    static int32_t ReadFlag(const char* keyName, const char* valueName);

private:
    void Layout(int width, int height);
    void Paint();

    std::unique_ptr<CONTROL> Edit;
    std::unique_ptr<CONTROL> Check;
    int32_t DontShow;
    OWNEDGDIOBJECT Font;
    STRING KeyName;
    STRING ValueName;
};
