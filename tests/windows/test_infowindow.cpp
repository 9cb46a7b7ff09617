// The information window, made in this process (it is modeless): the flag it
// keeps in the registry, its size from the text, its layout and its texts.

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
    const char* const Value = "DontShowAgainTest";

    // HKEY_CURRENT_USER\Software\Tarni\<Name>, removed before and after.
    struct SCRATCHKEY
    {
        SCRATCHKEY() { RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str()); }
        ~SCRATCHKEY() { RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str()); }
        // The type and bytes of the stored value; {} when there is none.
        std::vector<DWORD> Stored()
        {
            BYTE bytes[16];
            DWORD type = 0, size = sizeof(bytes);
            if (RegGetValueA(HKEY_CURRENT_USER, Path.c_str(), Value, RRF_RT_ANY, &type, bytes, &size))
                return {};
            std::vector<DWORD> result = {type};
            result.insert(result.end(), bytes, bytes + size);
            return result;
        }
        std::string Name = "InfoWindowTest" + std::to_string(GetCurrentProcessId());
        std::string Path = "Software\\Tarni\\" + Name;
    };

    std::vector<LONG> ChildRect(HWND window, int id)
    {
        RECT r = {};
        GetWindowRect(GetDlgItem(window, id), &r);
        MapWindowPoints(0, window, reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right, r.bottom};
    }
}

// The tick reaches the registry at closing, only with a key and a value name;
// without them there is no check box.
TEST(InfoWindow, ClosingStoresTheTickOnlyWithAKey)
{
    const struct { bool Key, Value, Tick; std::vector<DWORD> Stored; } rows[] = {
        {true, true, true, {REG_BINARY, 1, 0, 0, 0}},
        {true, true, false, {}},
        {false, true, true, {}},
        {true, false, true, {}},
    };
    for (const auto& row : rows)
    {
        SCRATCHKEY key;
        std::string context = std::to_string(row.Key) + std::to_string(row.Value) + std::to_string(row.Tick);
        HWND window = WINTARNI::ShowInfoWindow(0, "Notice", "Read this.", row.Key ? key.Name.c_str() : nullptr,
                                               row.Value ? Value : nullptr);
        ASSERT_NE(nullptr, window) << context;
        EXPECT_TRUE(IsWindowVisible(window)) << context;
        EXPECT_EQ(1000, BASEWINDOW::Init(window)) << context;
        EXPECT_EQ(L"Read this.", ControlText(window, 1001)) << context;
        EXPECT_EQ(L"Do not show this window again", ControlText(window, 1002)) << context;
        EXPECT_EQ(row.Key && row.Value, IsWindowVisible(GetDlgItem(window, 1002)) != 0) << context;
        SendDlgItemMessageA(window, 1002, BM_SETCHECK, row.Tick ? BST_CHECKED : BST_UNCHECKED, 0);
        EXPECT_EQ(1, SendMessageA(window, WM_CLOSE, 0, 0)) << context;
        EXPECT_FALSE(IsWindow(window)) << context;
        EXPECT_EQ(row.Stored, key.Stored()) << context;
    }
}

// Only 4 bytes of REG_BINARY that are not 0 keep the window away (nothing is
// made); a value of another type or size reads as absent.
TEST(InfoWindow, AStoredFlagKeepsItAway)
{
    const struct { std::vector<DWORD> Stored; bool Shown; } rows[] = {
        {{REG_BINARY, 1, 0, 0, 0}, false},
        {{REG_BINARY, 0, 1, 0, 0}, false},
        {{REG_BINARY, 0, 0, 0, 0}, true},
        {{REG_DWORD, 1, 0, 0, 0}, true},
        {{REG_BINARY, 1, 0}, true},
        {{REG_BINARY, 1, 0, 0, 0, 0}, true},
        {{}, true},
    };
    for (const auto& row : rows)
    {
        SCRATCHKEY key;
        const std::vector<BYTE> bytes(row.Stored.begin() + !row.Stored.empty(), row.Stored.end());
        if (!row.Stored.empty())
            RegSetKeyValueA(HKEY_CURRENT_USER, key.Path.c_str(), Value, row.Stored[0], bytes.data(), bytes.size());
        HWND window = WINTARNI::ShowInfoWindow(0, "Notice", "text", key.Name.c_str(), Value);
        EXPECT_EQ(row.Shown, window != nullptr) << row.Stored.size();
        EXPECT_EQ(row.Shown, FindWindowA("TarniWinClassInfoWindow", "Notice") != nullptr) << row.Stored.size();
        SendMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(row.Stored, key.Stored()) << "the stored value stays";
    }
}

// Size: the widest line (at least 50) + 30 by 50 + the line heights + 85,
// centred in the work area; the controls follow the client size.
TEST(InfoWindow, SizeFromTheTextAndLayoutFromTheClient)
{
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    // Widths that the system's smallest and largest window sizes leave alone.
    for (std::string text : {std::string("a longer first line of text\n\nshort\nend"), std::string(60, 'W') + "\nx"})
    {
        HWND window = WINTARNI::ShowInfoWindow(0, "Size", text.c_str(), nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        HDC dc = GetDC(GetDlgItem(window, 1001));
        int w = 50, h = 50;
        for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1)
        {
            end = text.find('\n', start);
            std::string line = text.substr(start, end == std::string::npos ? end : end - start);
            SIZE size = {};
            GetTextExtentPoint32A(dc, line.empty() ? " " : line.c_str(), std::max<int>(1, line.size()), &size);
            w = std::max<int>(w, size.cx);
            h += size.cy;
        }
        ReleaseDC(GetDlgItem(window, 1001), dc);
        w += 30, h += 85;
        RECT r = {};
        GetWindowRect(window, &r);
        EXPECT_EQ((std::vector<LONG>{(area.right - area.left - w) / 2, (area.bottom - area.top - h) / 2, w, h}),
                  (std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top})) << text;
        SendMessageA(window, WM_CLOSE, 0, 0);
    }

    SCRATCHKEY key;
    HWND window = WINTARNI::ShowInfoWindow(0, "Layout", "text", key.Name.c_str(), Value);
    const std::vector<LONG> before = ChildRect(window, 1001);
    EXPECT_EQ(0, SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(300, 200)));
    EXPECT_EQ(before, ChildRect(window, 1001)) << "minimised: nothing moves";
    EXPECT_EQ(1, SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)));
    EXPECT_EQ((std::vector<LONG>{10, 10, 290, 165}), ChildRect(window, 1001));
    EXPECT_EQ((std::vector<LONG>{10, 180, 290, 196}), ChildRect(window, 1002));
    SendMessageA(window, WM_CLOSE, 0, 0);
}

TEST(InfoWindow, GermanCheckBoxAndButtonFaceBackground)
{
    const int previous = gLocale;
    ATEND restore{[previous] { gLocale = previous; }};
    gLocale = 7;
    SCRATCHKEY key;
    HWND window = WINTARNI::ShowInfoWindow(0, "Hinweis", "Text", key.Name.c_str(), Value);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"Dieses Fenster nicht mehr anzeigen", ControlText(window, 1002));
    UpdateWindow(window);
    HDC dc = GetDC(window);
    RECT client = {};
    GetClientRect(window, &client);
    // Between the text and the check box no control paints.
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, 5, client.bottom - 30));
    ReleaseDC(window, dc);
    SendMessageA(window, WM_CLOSE, 0, 0);
}
