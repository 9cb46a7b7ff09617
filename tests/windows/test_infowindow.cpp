// The information window, made in this process (it is modeless): the flag it
// keeps in the registry, its size, layout and German check box.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/app/tarni_win32.h"
#include "framework/windows/winmisc_win32.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

// Only 4 bytes of REG_BINARY that are not 0 keep the window away (none is
// made). The tick is stored at closing, only with a key and a value name;
// without them there is no check box.
TEST(InfoWindow, TheStoredFlag)
{
    const std::string name = "InfoWindowTest" + std::to_string(GetCurrentProcessId());
    const std::string path = "Software\\Tarni\\" + name;
    ATEND clean{[&] { RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()); }};
    const std::vector<BYTE> one = {REG_BINARY, 1, 0, 0, 0}, zero = {REG_BINARY, 0, 0, 0, 0};
    const std::vector<BYTE> dword = {REG_DWORD, 1, 0, 0, 0}, two = {REG_BINARY, 1, 0};
    // Before and After: the type, then the bytes; {} for none.
    const struct { std::vector<BYTE> Before; bool Key, Value, Tick, Shown; std::vector<BYTE> After; } rows[] = {
        {{}, true, true, true, true, one},       {{}, true, true, false, true, {}},
        {{}, false, true, true, true, {}},      {{}, true, false, true, true, {}},
        {one, true, true, false, false, one},   {zero, true, true, false, true, zero},
        {dword, true, true, false, true, dword}, {two, true, true, false, true, two},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(&row - rows);
        clean.Undo();
        if (!row.Before.empty())
            RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), "Flag", row.Before[0], &row.Before[1],
                            row.Before.size() - 1);
        HWND window = WINTARNI::ShowInfoWindow(0, "Notice", "Read this.", row.Key ? name.c_str() : nullptr,
                                               row.Value ? "Flag" : nullptr);
        EXPECT_EQ(row.Shown, window && IsWindowVisible(window));
        EXPECT_EQ(window, FindWindowA("TarniWinClassInfoWindow", "Notice"));
        EXPECT_EQ(row.Shown && row.Key && row.Value, window && IsWindowVisible(GetDlgItem(window, 1002)));
        SendDlgItemMessageA(window, 1002, BM_SETCHECK, row.Tick ? BST_CHECKED : BST_UNCHECKED, 0);
        SendMessageA(window, WM_CLOSE, 0, 0);
        std::vector<BYTE> after(17);
        DWORD type = 0, size = 16;
        const bool stored = !RegGetValueA(HKEY_CURRENT_USER, path.c_str(), "Flag", RRF_RT_ANY, &type, &after[1], &size);
        after[0] = (BYTE)type, after.resize(stored ? size + 1 : 0);
        EXPECT_EQ(row.After, after);
    }
}

// Size: the widest line (at least 50) + 30 by 50 + the line heights + 85,
// centred in the work area; the controls follow the client size, not when
// minimised; the rest is painted in the button face colour.
TEST(InfoWindow, SizeLayoutAndGermanCheckBox)
{
    const int previous = gLocale;
    ATEND restore{[previous] { gLocale = previous; }};
    gLocale = 7;
    const std::string text = "short\n\na longer middle line of text\nend";
    HWND window = WINTARNI::ShowInfoWindow(0, "Layout", text.c_str(), nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"Dieses Fenster nicht mehr anzeigen", ControlText(window, 1002));
    LONG w = 50, h = 50;   // measured as the window does, in the font of a fresh device context
    for (SIZE line : LineExtents((HFONT)GetStockObject(SYSTEM_FONT), std::wstring(text.begin(), text.end()), L'\n', L" "))
        w = std::max(w, line.cx), h += line.cy;
    RECT area = {}, r = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &r);
    EXPECT_EQ((std::vector<LONG>{(area.right - area.left - w - 30) / 2, (area.bottom - area.top - h - 85) / 2, w + 30,
                                 h + 85}),
              (std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}));

    const std::vector<LONG> before = ChildRect(window, 1001);
    SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(300, 200));
    EXPECT_EQ(before, ChildRect(window, 1001));
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    EXPECT_EQ((std::vector<LONG>{10, 10, 290, 165}), ChildRect(window, 1001));
    EXPECT_EQ((std::vector<LONG>{10, 180, 290, 196}), ChildRect(window, 1002));
    UpdateWindow(window);
    HDC dc = GetDC(window);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, 5, 5));
    ReleaseDC(window, dc);
    SendMessageA(window, WM_CLOSE, 0, 0);
}
