// The information window, made in this process (it is modeless): its check
// box and the flag it keeps in the registry, its size from the text and its
// layout, its German text and its painting.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/app/tarni_win32.h"
#include "framework/windows/winmisc_win32.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    const char* const ValueName = "DontShowAgainTest";

    // HKEY_CURRENT_USER\Software\Tarni\<name>, removed before and after.
    class SCRATCHKEY
    {
    public:
        SCRATCHKEY() : Name("InfoWindowTest" + std::to_string(GetCurrentProcessId())), Path("Software\\Tarni\\" + Name)
        {
            RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str());
        }
        ~SCRATCHKEY() { RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str()); }
        bool Set(DWORD type, const std::vector<BYTE>& bytes)
        {
            return RegSetKeyValueA(HKEY_CURRENT_USER, Path.c_str(), ValueName, type, bytes.data(),
                                   (DWORD)bytes.size()) == ERROR_SUCCESS;
        }
        // The stored bytes; empty when there is no value. type receives its type.
        std::vector<BYTE> Get(DWORD* type)
        {
            std::vector<BYTE> bytes(16);
            DWORD size = (DWORD)bytes.size();
            *type = REG_NONE;
            if (RegGetValueA(HKEY_CURRENT_USER, Path.c_str(), ValueName, RRF_RT_ANY, type, bytes.data(), &size) !=
                ERROR_SUCCESS)
                return {};
            bytes.resize(size);
            return bytes;
        }
        std::string Name;
        std::string Path;
    };

    void Pump()
    {
        MSG message;
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }

    int InfoWindowsOfThisThread()
    {
        int count = 0;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM counter) -> BOOL {
                char name[64] = "";
                GetClassNameA(window, name, sizeof(name));
                if (strcmp(name, "TarniWinClassInfoWindow") == 0)
                    ++*reinterpret_cast<int*>(counter);
                return TRUE;
            },
            (LPARAM)&count);
        return count;
    }

    // The rectangle of a control in its parent's client coordinates.
    RECT ChildRect(HWND window, int id)
    {
        RECT rect = {};
        GetWindowRect(GetDlgItem(window, id), &rect);
        MapWindowPoints(0, window, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    std::vector<LONG> Values(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }
}

// The flag reaches the registry only when the box is ticked at closing and the
// window has a key and a value name; without them there is no box at all.
TEST(InfoWindow, ClosingStoresTheTickOnlyWithAKey)
{
    SCRATCHKEY key;
    const struct
    {
        bool WithKey;
        bool WithValue;
        bool Tick;
        bool Stored;
    } rows[] = {
        {true, true, true, true},
        {true, true, false, false},
        {false, true, true, false},
        {true, false, true, false},
    };
    for (const auto& row : rows)
    {
        std::string context = std::to_string(row.WithKey) + std::to_string(row.WithValue) + std::to_string(row.Tick);
        HWND window = WINTARNI::ShowInfoWindow(0, "Notice", "Read this.", row.WithKey ? key.Name.c_str() : nullptr,
                                               row.WithValue ? ValueName : nullptr);
        ASSERT_NE(nullptr, window) << context;
        Pump();
        EXPECT_TRUE(IsWindowVisible(window)) << context;
        EXPECT_EQ(1000, BASEWINDOW::Init(window)) << context;
        EXPECT_EQ(L"Read this.", ControlText(window, 1001)) << context;
        HWND check = GetDlgItem(window, 1002);
        EXPECT_EQ(row.WithKey && row.WithValue, IsWindowVisible(check) != 0) << context;
        EXPECT_EQ(L"Do not show this window again", ControlText(window, 1002)) << context;
        if (row.Tick)
            SendMessageA(check, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(1, SendMessageA(window, WM_CLOSE, 0, 0)) << context;
        EXPECT_FALSE(IsWindow(window)) << context;
        DWORD type = 0;
        std::vector<BYTE> stored = key.Get(&type);
        if (row.Stored)
        {
            EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), stored) << context;
            EXPECT_EQ((DWORD)REG_BINARY, type) << context;
        }
        else
        {
            EXPECT_TRUE(stored.empty()) << context;
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, key.Path.c_str());
    }
}

// Only 4 bytes of REG_BINARY that are not 0 keep the window away; a value of
// another type or size reads as absent.
TEST(InfoWindow, AStoredFlagKeepsItAway)
{
    const struct
    {
        DWORD Type;
        std::vector<BYTE> Bytes;
        bool Shown;
    } rows[] = {
        {REG_BINARY, {1, 0, 0, 0}, false},
        {REG_BINARY, {0, 1, 0, 0}, false},
        {REG_BINARY, {0, 0, 0, 0}, true},
        {REG_DWORD, {1, 0, 0, 0}, true},
        {REG_BINARY, {1, 0}, true},
        {REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}, true},
        {REG_NONE, {}, true},   // no value
    };
    for (const auto& row : rows)
    {
        std::string context = std::to_string(row.Type) + "/" + std::to_string(row.Bytes.size());
        SCRATCHKEY key;
        ASSERT_TRUE(row.Bytes.empty() || key.Set(row.Type, row.Bytes)) << context;
        HWND window = WINTARNI::ShowInfoWindow(0, "Notice", "text", key.Name.c_str(), ValueName);
        EXPECT_EQ(row.Shown, window != nullptr) << context;
        EXPECT_EQ(row.Shown ? 1 : 0, InfoWindowsOfThisThread()) << context;
        if (window)
            SendMessageA(window, WM_CLOSE, 0, 0);
        DWORD type = 0;
        EXPECT_EQ(row.Bytes, key.Get(&type)) << context << ": the stored value stays";
    }
}

// Width: the widest line (at least 50) + 30; height: 50 + the line heights + 85;
// centred in the work area; the controls follow the client size.
TEST(InfoWindow, SizeFromTheTextAndLayoutFromTheClient)
{
    // Widths the system's smallest and largest window sizes do not change.
    const std::vector<std::string> texts = {"a longer first line of text\n\nshort\nend", std::string(60, 'W') + "\nx"};
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    for (const std::string& text : texts)
    {
        HWND window = WINTARNI::ShowInfoWindow(0, "Size", text.c_str(), nullptr, nullptr);
        ASSERT_NE(nullptr, window) << text;
        HWND edit = GetDlgItem(window, 1001);
        HDC dc = GetDC(edit);
        int width = 50, height = 50;
        size_t start = 0;
        for (;;)
        {
            size_t end = text.find('\n', start);
            std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            SIZE size = {};
            GetTextExtentPoint32A(dc, line.empty() ? " " : line.c_str(), line.empty() ? 1 : (int)line.size(), &size);
            width = std::max(width, (int)size.cx);
            height += size.cy;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        ReleaseDC(edit, dc);
        RECT rect = {};
        GetWindowRect(window, &rect);
        const int w = width + 30, h = height + 85;
        EXPECT_EQ((std::vector<LONG>{(area.right - area.left - w) / 2, (area.bottom - area.top - h) / 2, w, h}),
                  (std::vector<LONG>{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}))
            << text;
        SendMessageA(window, WM_CLOSE, 0, 0);
    }

    SCRATCHKEY key;
    HWND window = WINTARNI::ShowInfoWindow(0, "Layout", "text", key.Name.c_str(), ValueName);
    ASSERT_NE(nullptr, window);
    const RECT before = ChildRect(window, 1001);
    EXPECT_EQ(0, SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(300, 200)));
    EXPECT_EQ(Values(before), Values(ChildRect(window, 1001))) << "minimised: nothing moves";
    EXPECT_EQ(1, SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)));
    EXPECT_EQ((std::vector<LONG>{10, 10, 290, 165}), Values(ChildRect(window, 1001)));
    EXPECT_EQ((std::vector<LONG>{10, 180, 290, 196}), Values(ChildRect(window, 1002)));
    SendMessageA(window, WM_CLOSE, 0, 0);
}

TEST(InfoWindow, GermanCheckBoxAndButtonFaceBackground)
{
    const int previous = gLocale;
    ATEND restore{[previous] { gLocale = previous; }};
    gLocale = 7;
    SCRATCHKEY key;
    HWND window = WINTARNI::ShowInfoWindow(0, "Hinweis", "Text", key.Name.c_str(), ValueName);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"Dieses Fenster nicht mehr anzeigen", ControlText(window, 1002));
    UpdateWindow(window);
    Pump();
    HDC dc = GetDC(window);
    RECT client = {};
    GetClientRect(window, &client);
    // Between the text and the check box no control paints.
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, 5, client.bottom - 30));
    ReleaseDC(window, dc);
    SendMessageA(window, WM_CLOSE, 0, 0);
}
