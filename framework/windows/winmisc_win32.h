#pragma once
// Message boxes: every part of the program tells the user something through
// these. Texts are 8-bit (code page 1252); the boxes are shown through the
// UTF-16 interface of the system.

#include <windows.h>

#include "framework/text/unicode.h"

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
}
