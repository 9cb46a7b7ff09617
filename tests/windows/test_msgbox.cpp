// Message boxes: the shown text (reflow, wrap, entities) computed in process,
// and the boxes themselves read and answered from here while a probe program
// (plain boxes) or a second thread of this one (keyed boxes) shows them.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/resources.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/windows/winmisc_win32.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    std::u16string Shown(const std::string& text, int wrapColumn, bool force)
    {
        WSTRING result = WINTARNI::FormatMsgText(text.c_str(), wrapColumn, force);
        return std::u16string(result.Text(), result.Length());
    }

    std::string Repeat(const std::string& word, int count)
    {
        std::string text;
        for (int i = 0; i < count; i++)
            text += (i ? " " : "") + word;
        return text;
    }

    // A copy of the probe under a name of its own, in a folder of its own.
    class BOXPROBE
    {
    public:
        explicit BOXPROBE(const std::string& name = "msgboxprobe.exe") : Exe(Dir.File(name))
        {
            EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\msgboxprobe.exe").c_str(), Exe.c_str(), FALSE));
        }
        // The box the probe shows, or null.
        HWND Show(const std::string& arguments, const char* title, const std::string& text)
        {
            std::vector<std::string> environment = {"MSGBOXPROBE_TEXT=" + text};
            if (title)
                environment.push_back(std::string("MSGBOXPROBE_TITLE=") + title);
            if (!Child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), environment, Exe))
                return 0;
            return WaitForWindow(Child.Id(), "#32770", 20000);
        }
        // The box's result, from the exit code.
        int Result() { return Child.Wait(20000) - 10; }

        TEMPDIR Dir{"box"};
        std::string Exe;
        CHILD Child;
    };
}

TEST(MsgText, ReflowEntitiesAndWrap)
{
    const std::string longLine = Repeat("word", 30);
    const std::u16string longShown(longLine.begin(), longLine.end());
    const struct
    {
        std::string Text;
        int Column;
        bool Force;
        std::u16string Shown;
    } rows[] = {
        {"\n", 55, false, u"\r"},
        // A single break between words becomes a space; a double one, or one before a blank, stays.
        {"one\r\ntwo", 55, false, u"one two"},
        {"one\n\ntwo", 55, false, u"one\r\rtwo"},
        {"one\n two", 55, false, u"one\r two"},
        {"one\n\ttwo", 55, false, u"one\r\ttwo"},
        // The header keeps every break and stops any wrap, but only at the very start.
        {"##NOWRAP##\r\none\ntwo " + longLine, 10, true, u"one\rtwo " + longShown},
        {"x ##NOWRAP##\none\ntwo", 55, false, u"x ##NOWRAP## one two"},
        {"a&nbsp;b &rarr; \xe4\x80", 55, false, u"a b \u2192 \u00e4\u20ac"},   // code page 1252
        // A forced wrap breaks at the first space beyond the column.
        {"abcde fg hi", 5, true, u"abcde\rfg hi"},
        {"abcdefg&nbsp;hij klmnop", 5, true, u"abcdefg hij\rklmnop"},
        {"ab\n\rcdefgh ij", 5, true, u"ab\r\rcdefgh\rij"},   // a kept break restarts the column
        {"abcdefg\nhijk", 5, true, u"abcdefg\rhijk"},        // a joined break may wrap
        // Unforced, only systems before Vista wrap (the controller's refusal
        // box shows that wrap under Windows 98).
        {longLine, 55, false, longShown},
    };
    ASSERT_GE(OSYS::GetOsId(), 5) << "the rows expect a system from Vista on";
    for (const auto& row : rows)
        EXPECT_EQ(row.Shown, Shown(row.Text, row.Column, row.Force)) << row.Text << " / " << row.Column;
}

// The information and error boxes are read on the real controller.
TEST(MsgBox, EveryKindShowsItsButtonsAndAnswers)
{
    const std::string line = Repeat("abcdefghi", 12);   // 119 characters: longer than a wrapped line
    const std::wstring shown = L"first second\r\r" + std::wstring(line.begin(), line.end());
    const struct
    {
        const char* Kind;
        std::vector<int> Buttons;
        int Press;   // 0: close the box
        int Result;
    } rows[] = {
        {"Warning", {IDOK}, IDOK, 0},
        {"YesNo", {IDYES, IDNO}, IDYES, 1},
        {"YesNo", {IDYES, IDNO}, IDNO, 0},
        {"YesNoCancel", {IDYES, IDNO, IDCANCEL}, IDYES, 1},
        {"YesNoCancel", {IDYES, IDNO, IDCANCEL}, IDNO, 0},
        {"YesNoCancel", {IDYES, IDNO, IDCANCEL}, 0, -1},
    };
    for (const auto& row : rows)
    {
        std::string context = std::string(row.Kind) + " " + std::to_string(row.Press);
        BOXPROBE probe;
        HWND box = probe.Show("/KIND:" + std::string(row.Kind), "Caption \xe4", "first\nsecond\n\n" + line);
        ASSERT_NE(nullptr, box) << context;
        EXPECT_EQ(L"Caption \u00e4", WindowText(box)) << context;
        EXPECT_EQ(shown, ControlText(box, 0xFFFF)) << context;
        for (int button : {IDOK, IDYES, IDNO, IDCANCEL})
        {
            bool wanted = std::find(row.Buttons.begin(), row.Buttons.end(), button) != row.Buttons.end();
            EXPECT_EQ(wanted, GetDlgItem(box, button) != nullptr) << context << " button " << button;
        }
        if (row.Press)
            ASSERT_TRUE(PressButton(box, row.Press)) << context;
        else
            PostMessageA(box, WM_CLOSE, 0, 0);
        EXPECT_EQ(row.Result, probe.Result()) << context;
    }
}

TEST(MsgBox, FromAChildWithoutTitleBelongsToTheTopLevelWindowAndTheAppName)
{
    BOXPROBE probe("untitledbox.exe");
    HWND box = probe.Show("/KIND:INFO /CHILDOWNER", nullptr, "text");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"untitledbox", WindowText(box));
    char className[64] = "";
    GetClassNameA(GetWindow(box, GW_OWNER), className, sizeof(className));
    EXPECT_STREQ("MsgBoxProbeOwner", className);
    PressButton(box, IDOK);
    EXPECT_EQ(0, probe.Result());
}

namespace
{
    // The language library of locale loaded into this process while in scope.
    struct LANGUAGE
    {
        explicit LANGUAGE(int locale = 9) : Previous(gLocale)
        {
            gLocale = locale;
            EXPECT_TRUE(TARNIAPP::SetupLanguage((SelfDirectory() + "\\..\\languages\\t.exe").c_str(), "", "", "t", true));
        }
        ~LANGUAGE() { TARNIAPP::ReleaseResourceModule(), gLocale = Previous; }
        int Previous;
    };

    // Calls show while another thread hands the box it opens (null when none
    // is seen within waitMs) to drive, which reads it and ends it.
    template <class SHOW> auto Driven(SHOW show, const std::function<void(HWND)>& drive, int waitMs = 20000)
    {
        std::thread driver([&] { drive(WaitForWindow(GetCurrentProcessId(), "#32770", waitMs)); });
        auto result = show();
        driver.join();
        return result;
    }
}

// Yes and No under wrapped lines, OK under a line narrower than the check box,
// for the scale of LogPixels; run in a process of its own after it was set.
TEST(KeyedBox, DISABLED_Layout)
{
    DWORD dpi = 0, size = sizeof(dpi);
    RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", RRF_RT_REG_DWORD, 0, &dpi, &size);
    const LONG scale = WINDOW::DpiScaleOf(0);
    ASSERT_EQ(LONG(dpi * 100 / 96), scale);
    auto s = [scale](LONG n) { return n * scale / 100; };
    LANGUAGE language;
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    for (bool yesNo : {true, false})
    {
        // A space at column 56 of a paragraph is a break, one at column 55 is not.
        const std::string text = yesNo ? Repeat("wrapped", 20) + "\n\n" + std::string(54, 'A') + " abcd\n\n" +
                                             std::string(53, 'B') + " abc"
                                       : "Short.";
        HASH state;
        std::wstring shown;
        std::vector<LONG> label, check, ok, yes, no, seen;
        Driven([&] { return yesNo ? WINTARNI::YesNoMsgBox(0, "Layout", text.c_str(), state, "k")
                                  : (WINTARNI::InfoMsgBox(0, "Layout", text.c_str(), state, "k"), 0); },
               [&](HWND box) {
                   shown = ControlText(box, 10001), label = ChildRect(box, 10001), check = ChildRect(box, 10003);
                   ok = ChildRect(box, IDOK), yes = ChildRect(box, IDYES), no = ChildRect(box, IDNO);
                   RECT f = {};
                   GetWindowRect(box, &f);
                   seen = {IsWindowVisible(GetDlgItem(box, IDOK)), IsWindowVisible(GetDlgItem(box, IDYES)),
                           IsWindowVisible(GetDlgItem(box, IDNO)), f.left, f.top, f.right - f.left, f.bottom - f.top};
                   PressButton(box, yesNo ? IDYES : IDOK);
               });
        const WSTRING wrapped = WINTARNI::FormatMsgText(text.c_str(), 55, true);
        ASSERT_EQ(std::wstring(wrapped.Text(), wrapped.Text() + wrapped.Length()), shown);
        // The lines in the message font, the first twice, at least as wide as the check box.
        NONCLIENTMETRICSA metrics = {sizeof(metrics)};
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
        HFONT font = CreateFontIndirectA(&metrics.lfMessageFont);
        const std::vector<SIZE> lines = LineExtents(font, shown, L'\r', L"X");
        DeleteObject(font);
        LONG w = check[2] - check[0], h = lines[0].cy;
        for (SIZE line : lines)
            w = std::max(w, line.cx), h += line.cy;

        const LONG left = 3 * s(10) + GetSystemMetrics(SM_CXICON), width = left + w + 3 * s(10);
        LONG y = s(20) + h;
        y += (y < GetSystemMetrics(SM_CYICON) ? GetSystemMetrics(SM_CYICON) : 0) + 2 * s(10);
        const LONG buttons = y + check[3] - check[1] + 2 * s(10);
        const LONG yesLeft = (width - (no[2] - no[0]) - s(10) - (yes[2] - yes[0])) / 2;
        const LONG height = buttons + ok[3] - ok[1] + s(30) + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
        EXPECT_EQ((std::vector<LONG>{left, s(20), left + w, s(20) + h}), label) << scale;
        EXPECT_EQ((std::vector<LONG>{(width - (check[2] - check[0])) / 2, y}), (std::vector<LONG>{check[0], check[1]}));
        EXPECT_EQ(yesNo ? (std::vector<LONG>{yesLeft, buttons, yesLeft + yes[2] - yes[0] + s(10), buttons})
                        : (std::vector<LONG>{(width - (ok[2] - ok[0])) / 2, buttons}),
                  yesNo ? (std::vector<LONG>{yes[0], yes[1], no[0], no[1]}) : (std::vector<LONG>{ok[0], ok[1]}));
        EXPECT_EQ((std::vector<LONG>{!yesNo, yesNo, yesNo, (area.right - area.left - width) / 2,
                                     (area.bottom - area.top - height) / 2, width, height}), seen) << scale;
    }
}

TEST(KeyedBox, LayoutAt96And144Dpi)
{
    const char* key = "Control Panel\\Desktop";
    DWORD previous = 96, size = sizeof(previous);
    RegGetValueA(HKEY_CURRENT_USER, key, "LogPixels", RRF_RT_REG_DWORD, 0, &previous, &size);
    ATEND restore{[&] { RegSetKeyValueA(HKEY_CURRENT_USER, key, "LogPixels", REG_DWORD, &previous, sizeof(previous)); }};
    for (DWORD dpi : {96, 144})
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, key, "LogPixels", REG_DWORD, &dpi, sizeof(dpi)));
        EXPECT_EQ(0, RunDisabledTest("KeyedBox.DISABLED_Layout")) << dpi;
    }
}

// The stored value decides whether the box shows (-1 when not); the tick
// decides what is stored afterwards, whatever the button. Each form has its
// icon, kept by a control that answers nothing, and the application's title.
// A missing key or an unknown button nibble is reported; the box still runs.
TEST(KeyedBox, StoredValueTickAndAnswer)
{
    LANGUAGE language;
    auto yesNo = [](HASH& state) { return WINTARNI::YesNoMsgBox(0, nullptr, "Go on?", state, "k"); };
    auto warning = [](HASH& state) { return WINTARNI::WarningMsgBox(0, nullptr, "Careful.", state, "k"), 0; };
    auto error = [](HASH& state) { return WINTARNI::ErrorMsgBox(0, nullptr, "Failed.", state, "k"), 0; };
    auto noKey = [](HASH& state) { return WINTARNI::KeyedMsgBox(MB_ICONHAND, 0, nullptr, "x", state, nullptr); };
    auto odd = [](HASH& state) { return WINTARNI::KeyedMsgBox(MB_ICONHAND | 1, 0, nullptr, "x", state, "k"); };
    const struct { int (*Show)(HASH&); LONG_PTR Icon; const char* Before; bool Tick; int Press, Result;
                   const char *After, *Assertion; } rows[] = {   // Icon 0: not shown; Press 0: closed
        {yesNo, MB_ICONQUESTION, nullptr, false, IDYES, 1, "0", ""},
        {yesNo, MB_ICONQUESTION, nullptr, true, IDNO, 0, "1", ""},
        {yesNo, MB_ICONQUESTION, "0", true, 0, 1, "1", ""},
        {warning, MB_ICONEXCLAMATION, "", false, IDOK, 0, "0", ""},
        {error, MB_ICONHAND, "0", true, IDOK, 0, "1", ""},
        {yesNo, 0, "1", false, 0, -1, "1", ""},
        {yesNo, 0, "7x", false, 0, -1, "7x", ""},
        {noKey, MB_ICONHAND, nullptr, false, 0, 1, "", "pstatekey"},
        {odd, MB_ICONHAND, nullptr, false, 0, 1, "0", "FALSE"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(&row - rows);
        HASH state(STRING(row.Before ? (std::string("k=") + row.Before).c_str() : ""));
        ASSERTSPY spy;
        std::wstring title;
        LONG_PTR icon = 0, code = 0;
        auto drive = [&](HWND box) {
            title = WindowText(box), icon = GetWindowLongPtrA(GetDlgItem(box, 10002), GWLP_USERDATA);
            code = SendDlgItemMessageA(box, 10002, WM_GETDLGCODE, 0, 0);
            if (row.Tick)
                PressButton(box, 10003);
            if (!row.Press || !PressButton(box, row.Press))
                PostMessageA(box, WM_CLOSE, 0, 0);
        };
        EXPECT_EQ(row.Result, Driven([&] { return row.Show(state); }, drive, row.Icon ? 20000 : 2000));
        EXPECT_EQ(row.Icon ? L"Tarni Application" : L"", title);
        EXPECT_EQ((std::vector<LONG_PTR>{row.Icon, 0}), (std::vector<LONG_PTR>{icon, code}));
        EXPECT_STREQ(row.After, state.Get("k").Text());
        std::string asserted;
        for (size_t i = 0; i < spy.Count(); i++)
            asserted += spy[i].Condition;
        EXPECT_EQ(row.Assertion, asserted);
    }
}

// Only a file that did not open is reported, by name and reason, in the
// texts of the language library.
TEST(CheckFileOpened, NamesTheFileAndTheReasonOnlyWhenNothingOpened)
{
    LANGUAGE german(7);
    TEMPDIR dir("cfo");
    const std::string missing = dir.File("missing.txt");
    std::wstring seen;
    auto read = [&](HWND box) { seen = WindowText(box) + L"|" + ControlText(box, 0xFFFF), PressButton(box, IDOK); };
    auto open = [&] { return WINTARNI::CheckFileOpened(fopen(missing.c_str(), "r"), missing.c_str()); };
    EXPECT_EQ(nullptr, Driven(open, read));
    EXPECT_EQ(L"Tarni Anwendung|Die Datei konnte nicht ge\u00f6ffnet werden:\r\r" +
                  std::wstring(missing.begin(), missing.end()) + L"\r\rGrund: No such file or directory", seen);
    FILE* self = fopen(SelfPath().c_str(), "rb");
    EXPECT_EQ(self, Driven([&] { return WINTARNI::CheckFileOpened(self, "x"); }, read, 2000));
    EXPECT_EQ(L"|", seen) << "no box";
    fclose(self);
}
