#include "framework/windows/winkeys_win32.h"

#include "framework/os/osys.h"
#include "framework/os/winhandle_win32.h"

namespace
{
    const DWORD ImmersiveDarkMode = 20;          // DWMWA_USE_IMMERSIVE_DARK_MODE
    const DWORD ImmersiveDarkModeBefore20H1 = 19;

    typedef HRESULT(WINAPI* SETWINDOWATTRIBUTE)(HWND, DWORD, LPCVOID, DWORD);
    typedef HRESULT(WINAPI* SETWINDOWTHEME)(HWND, LPCWSTR, LPCWSTR);

    LIBRARYFUNCTION gSetWindowAttribute("dwmapi.dll", "DwmSetWindowAttribute");
    LIBRARYFUNCTION gSetWindowTheme("uxtheme.dll", "SetWindowTheme");

    SETWINDOWATTRIBUTE SetAttribute()
    {
        return reinterpret_cast<SETWINDOWATTRIBUTE>(gSetWindowAttribute.Get());
    }

    SETWINDOWTHEME SetTheme()
    {
        return reinterpret_cast<SETWINDOWTHEME>(gSetWindowTheme.Get());
    }

    bool gDarkMode = false;

    int HeldModifiers()
    {
        int modifiers = 0;
        if (GetKeyState(VK_SHIFT) < 0)
            modifiers |= KEYEVENT::SHIFT;
        if (GetKeyState(VK_CONTROL) < 0)
            modifiers |= KEYEVENT::CONTROL;
        if (GetKeyState(VK_MENU) < 0)
            modifiers |= KEYEVENT::ALT;
        return modifiers;
    }
}

namespace WINTHEME
{
    bool DarkModeSupported()
    {
        return OSYS::GetOsId() >= 9 && SetAttribute() != 0;
    }

    bool IsDarkMode()
    {
        return gDarkMode;
    }

    bool RefreshDarkMode()
    {
        DWORD light = 1;
        if (DarkModeSupported())
        {
            OWNEDKEY key;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                              KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS)
            {
                DWORD value = 1, size = sizeof(value), type = 0;
                if (RegQueryValueExA(key.Get(), "AppsUseLightTheme", 0, &type, reinterpret_cast<BYTE*>(&value),
                                     &size) == ERROR_SUCCESS &&
                    type == REG_DWORD)
                    light = value;
            }
        }
        gDarkMode = light == 0;
        return gDarkMode;
    }

    bool AllowDarkMode(HWND window)
    {
        SETWINDOWTHEME setTheme = SetTheme();
        if (!DarkModeSupported() || !setTheme || !IsWindow(window))
            return false;
        return SUCCEEDED(setTheme(window, gDarkMode ? L"DarkMode_Explorer" : 0, 0));
    }

    bool SetDarkTitleBar(HWND window, bool dark)
    {
        if (!DarkModeSupported() || !IsWindow(window))
            return false;
        BOOL value = dark ? TRUE : FALSE;
        SETWINDOWATTRIBUTE setAttribute = SetAttribute();
        if (SUCCEEDED(setAttribute(window, ImmersiveDarkMode, &value, sizeof(value))))
            return true;
        return SUCCEEDED(setAttribute(window, ImmersiveDarkModeBefore20H1, &value, sizeof(value)));
    }
}

namespace WINKEYS
{
    bool KeyEventFromMessage(UINT message, WPARAM wParam, LPARAM lParam, KEYEVENT& event)
    {
        event = KEYEVENT{message, 0, 0, HeldModifiers(), true};
        switch (message)
        {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (wParam == VK_SHIFT || wParam == VK_CONTROL || wParam == VK_MENU)
                return false;
            event.VirtualKey = (UINT)wParam;
            event.KeyDown = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
            return true;
        case WM_CHAR:
        case WM_SYSCHAR:
        case WM_IME_CHAR:
            event.Character = (wchar_t)wParam;
            return true;
        default:
            return false;
        }
    }

    LRESULT ImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
