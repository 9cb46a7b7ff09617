#pragma once
// The theme and keyboard services that window procedures need: the dark
// title bar through the documented window attribute, and keyboard messages
// turned into key events.

#include <windows.h>

namespace WINTHEME
{
    // True when the system offers dark title bars (Windows 10 and later with
    // DwmSetWindowAttribute); everything below does nothing otherwise.
    bool DarkModeSupported();
    // The user's choice of dark applications, as last read by RefreshDarkMode.
    bool IsDarkMode();
    // Reads the choice again; its result is the new state.
    bool RefreshDarkMode();
    // Lets the window's controls follow dark mode (the dark theme of the
    // common controls while dark mode is on).
    bool AllowDarkMode(HWND window);
    // Dark or light title bar colours for a top-level window.
    bool SetDarkTitleBar(HWND window, bool dark);
}

// One key stroke or character.
struct KEYEVENT
{
    enum { SHIFT = 1, CONTROL = 2, ALT = 4 };
    UINT Message;
    UINT VirtualKey;     // 0 for a character message
    wchar_t Character;   // 0 for a key message
    int Modifiers;       // SHIFT, CONTROL, ALT as held when the message came
    bool KeyDown;
};

namespace WINKEYS
{
    // The event of a keyboard message (WM_KEYDOWN to WM_SYSCHAR, WM_IME_CHAR);
    // false for any other message and for a modifier key pressed or released
    // on its own.
    bool KeyEventFromMessage(UINT message, WPARAM wParam, LPARAM lParam, KEYEVENT& event);
    // The input-method composition nobody else took: the system's composition window.
    LRESULT ImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
}
