// Message boxes: the shown text (reflow, wrap, entities) computed in process,
// and the boxes themselves read and answered from here while a probe program
// shows them.

#include <gtest/gtest.h>

#include <windows.h>

#include <stddef.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/resources.h"
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
        bool Start(const std::string& arguments, const char* title, const std::string& text,
                   std::vector<std::string> environment = {})
        {
            environment.push_back("MSGBOXPROBE_TEXT=" + text);
            if (title)
                environment.push_back(std::string("MSGBOXPROBE_TITLE=") + title);
            return Child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), environment, Exe);
        }
        // The box the probe shows, or null.
        HWND Show(const std::string& arguments, const char* title, const std::string& text,
                  const std::vector<std::string>& environment = {})
        {
            if (!Start(arguments, title, text, environment))
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
    // A probe with the language libraries and a state file, showing a keyed box.
    struct KEYEDPROBE : BOXPROBE
    {
        KEYEDPROBE()
        {
            CreateDirectoryA(Dir.File("languages").c_str(), 0);
            for (std::string library : {"english.dll", "german.dll"})
                CopyFileA((SelfDirectory() + "\\..\\languages\\" + library).c_str(),
                          Dir.File("languages\\" + library).c_str(), FALSE);
        }
        bool Run(const std::string& kind, const char* title, const std::string& text)
        {
            return Start("/WITHLIBRARIES /KIND:" + kind, title, text, {"MSGBOXPROBE_STATE=" + State, "MSGBOXPROBE_KEY=k"});
        }
        HWND Box() { return WaitForWindow(Child.Id(), "#32770", 20000); }
        std::string Stored(const char* key = "k")   // "-" when missing
        {
            HASH state;
            state.Load(State.c_str());
            STRING* value = 0;
            return state.Exists(key, &value) && value ? value->Text() : "-";
        }
        std::string State = Dir.File("state.cfg");
    };

    // Left, top, right, bottom in the box's client area.
    std::vector<LONG> Rect(HWND box, int id)
    {
        RECT r = {};
        GetWindowRect(GetDlgItem(box, id), &r);
        MapWindowPoints(0, box, reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right, r.bottom};
    }

    // What the box measures: the shown lines in the message font, the first twice.
    SIZE MeasuredText(const WSTRING& shown, int checkWidth)
    {
        NONCLIENTMETRICSA metrics = {};
        metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
        HFONT font = CreateFontIndirectA(&metrics.lfMessageFont);
        HDC dc = GetDC(0);
        HGDIOBJ previous = SelectObject(dc, font);
        std::wstring text(shown.Text(), shown.Text() + shown.Length());
        SIZE result = {checkWidth, 0};
        for (size_t start = 0, end = 0; end != std::wstring::npos; start = end + 1)
        {
            end = text.find(L'\r', start);
            std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
            SIZE size = {};
            GetTextExtentPoint32W(dc, line.empty() ? L"X" : line.c_str(), std::max<int>(1, line.size()), &size);
            result.cx = std::max(result.cx, size.cx);
            result.cy += size.cy * (start == 0 ? 2 : 1);
        }
        SelectObject(dc, previous);
        ReleaseDC(0, dc);
        DeleteObject(font);
        return result;
    }

    // The keyed box laid out for the desktop's scale, read from the probe.
    void CheckKeyedLayout()
    {
        const int scale = WINDOW::DpiScaleOf(0);
        auto s = [scale](int n) { return n * scale / 100; };
        RECT area = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        const std::string paragraph = Repeat("wrapped", 20);
        // A text of wrapped lines and one narrower than the check box.
        for (std::string kind : {"KeyedYesNo", "KeyedInfo"})
        {
            const std::string text = kind == "KeyedInfo" ? "Short." : paragraph + "\n\n" + paragraph;
            KEYEDPROBE probe;
            ASSERT_TRUE(probe.Run(kind, "Layout", text));
            HWND box = probe.Box();
            ASSERT_NE(nullptr, box) << kind;
            const WSTRING shown = WINTARNI::FormatMsgText(text.c_str(), 55, true);
            EXPECT_EQ(std::wstring(shown.Text(), shown.Text() + shown.Length()), ControlText(box, 10001));
            const std::vector<LONG> check = Rect(box, 10003), ok = Rect(box, IDOK), yes = Rect(box, IDYES),
                                    no = Rect(box, IDNO);
            const SIZE measured = MeasuredText(shown, check[2] - check[0]);
            const LONG left = 3 * s(10) + GetSystemMetrics(SM_CXICON);
            const LONG width = left + measured.cx + 3 * s(10);
            LONG y = s(20) + measured.cy;
            y += (y < GetSystemMetrics(SM_CYICON) ? GetSystemMetrics(SM_CYICON) : 0) + 2 * s(10);
            const LONG buttons = y + check[3] - check[1] + 2 * s(10);
            const bool yesNo = kind == "KeyedYesNo";
            const LONG yesLeft = (width - (no[2] - no[0]) - s(10) - (yes[2] - yes[0])) / 2;
            const LONG height = buttons + ok[3] - ok[1] + s(30) + GetSystemMetrics(SM_CYFRAME) +
                                GetSystemMetrics(SM_CYCAPTION);
            RECT frame = {};
            GetWindowRect(box, &frame);
            const std::vector<LONG> expected = {left, s(20), left + measured.cx, s(20) + measured.cy,
                (width - (check[2] - check[0])) / 2, y,
                yesNo ? yesLeft : (width - (ok[2] - ok[0])) / 2, buttons,
                yesNo ? yesLeft + yes[2] - yes[0] + s(10) : 0, yesNo ? buttons : 0, !yesNo, yesNo, yesNo,
                (area.right - area.left - width) / 2, (area.bottom - area.top - height) / 2, width, height};
            const std::vector<LONG> actual = {Rect(box, 10001)[0], Rect(box, 10001)[1], Rect(box, 10001)[2],
                Rect(box, 10001)[3], check[0], check[1], (yesNo ? yes : ok)[0], (yesNo ? yes : ok)[1],
                yesNo ? no[0] : 0, yesNo ? no[1] : 0, IsWindowVisible(GetDlgItem(box, IDOK)),
                IsWindowVisible(GetDlgItem(box, IDYES)), IsWindowVisible(GetDlgItem(box, IDNO)),
                frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top};
            EXPECT_EQ(expected, actual) << kind << " at scale " << scale;
            PressButton(box, yesNo ? IDYES : IDOK);
            EXPECT_EQ(yesNo ? 1 : 0, probe.Result()) << kind;
        }
    }
}

TEST(KeyedBox, LayoutAt96Dpi)
{
    ASSERT_EQ(100, WINDOW::DpiScaleOf(0)) << "the test expects 96 dpi";
    CheckKeyedLayout();
}

// Run after LogPixels was set to 144, in a process of its own.
TEST(KeyedBox, DISABLED_LayoutAt144)
{
    ASSERT_EQ(150, WINDOW::DpiScaleOf(0));
    CheckKeyedLayout();
}

TEST(KeyedBox, LayoutAt144Dpi)
{
    const char* key = "Control Panel\\Desktop";
    DWORD previous = 96, size = sizeof(previous), dpi = 144;
    RegGetValueA(HKEY_CURRENT_USER, key, "LogPixels", RRF_RT_REG_DWORD, 0, &previous, &size);
    ATEND restore{[&] { RegSetKeyValueA(HKEY_CURRENT_USER, key, "LogPixels", REG_DWORD, &previous, sizeof(previous)); }};
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, key, "LogPixels", REG_DWORD, &dpi, sizeof(dpi)));
    EXPECT_EQ(0, RunDisabledTest("KeyedBox.DISABLED_LayoutAt144"));
}

// The stored value decides whether the box shows (-1 when not); the tick
// decides what is stored afterwards, whatever the button; other keys stay.
TEST(KeyedBox, StoredValueAndTick)
{
    const struct { const char* Before; bool Tick; int Press; int Result; const char* After; } rows[] = {
        {nullptr, false, IDYES, 1, "0"},
        {nullptr, true, IDNO, 0, "1"},
        {"0", true, IDYES, 1, "1"},
        {"", false, IDNO, 0, "0"},
        {"0", false, 0, 1, "0"},   // closed
        {"1", false, -1, -1, "1"},   // not shown
        {"7x", false, -1, -1, "7x"},
    };
    for (const auto& row : rows)
    {
        std::string context = std::string(row.Before ? row.Before : "(none)") + " " + std::to_string(row.Press);
        KEYEDPROBE probe;
        ASSERT_TRUE(WriteFile(probe.State, "other=1\n" + (row.Before ? "k=" + std::string(row.Before) + "\n" : "")));
        ASSERT_TRUE(probe.Run("KeyedYesNo", "Question", "Go on?"));
        HWND box = row.Press == -1 ? 0 : probe.Box();
        ASSERT_TRUE(row.Press == -1 || box) << context;
        if (row.Tick)
            PressButton(box, 10003);
        if (row.Press > 0)
            PressButton(box, row.Press);
        else if (box)
            PostMessageA(box, WM_CLOSE, 0, 0);
        EXPECT_EQ(row.Result, probe.Result()) << context;
        EXPECT_EQ(row.After, probe.Stored()) << context;
        EXPECT_EQ("1", probe.Stored("other")) << context;
    }
}

// Each form shows OK alone (Yes and No for the question), titled with the
// application's title, and its icon control keeps the icon and answers nothing.
TEST(KeyedBox, EachFormHasItsIconAndButtons)
{
    const struct { const char* Kind; LONG_PTR Icon; int Press; } rows[] = {
        {"KeyedInfo", MB_ICONASTERISK, IDOK},
        {"KeyedWarning", MB_ICONEXCLAMATION, IDOK},
        {"KeyedError", MB_ICONHAND, IDOK},
        {"KeyedYesNo", MB_ICONQUESTION, IDNO},
    };
    for (const auto& row : rows)
    {
        KEYEDPROBE probe;
        ASSERT_TRUE(probe.Run(row.Kind, nullptr, "text"));
        HWND box = probe.Box();
        ASSERT_NE(nullptr, box) << row.Kind;
        EXPECT_EQ(L"Tarni Application", WindowText(box)) << row.Kind;
        EXPECT_EQ(row.Icon, GetWindowLongPtrA(GetDlgItem(box, 10002), GWLP_USERDATA)) << row.Kind;
        EXPECT_EQ(0, SendDlgItemMessageA(box, 10002, WM_GETDLGCODE, 0, 0)) << row.Kind;
        ASSERT_TRUE(IsWindowVisible(GetDlgItem(box, row.Press))) << row.Kind;
        PressButton(box, row.Press);
        EXPECT_EQ(0, probe.Result()) << row.Kind;
    }
}

// A missing key or an unknown button nibble is reported, and the box still runs.
TEST(KeyedBox, BrokenCallsAreReportedAndStillShown)
{
    ASSERT_TRUE(TARNIAPP::SetupLanguage((SelfDirectory() + "\\..\\languages\\prog.exe").c_str(), "", "1", "t", true));
    ATEND release{[] { TARNIAPP::ReleaseResourceModule(); }};
    const struct { uint32_t Flags; const char* Key; const char* Assertion; const char* StoredKey; } rows[] = {
        {MB_ICONASTERISK, nullptr, "pstatekey", "<NULL>"},
        {MB_ICONASTERISK | 1, "odd", "FALSE", "odd"},
    };
    for (const auto& row : rows)
    {
        HASH state;
        ASSERTSPY spy;
        std::thread closer([] { PostMessageA(WaitForWindow(GetCurrentProcessId(), "#32770", 20000), WM_CLOSE, 0, 0); });
        EXPECT_EQ(1, WINTARNI::KeyedMsgBox(row.Flags, 0, "t", "x", state, row.Key)) << row.Assertion;
        closer.join();
        ASSERT_EQ(1u, spy.Count()) << row.Assertion;
        EXPECT_EQ(row.Assertion, spy.Last().Condition);
        EXPECT_STREQ("0", state.Get(row.StoredKey).Text()) << row.Assertion;
    }
}

TEST(CheckFileOpened, NamesTheFileAndTheReasonOnlyWhenNothingOpened)
{
    KEYEDPROBE probe;
    const std::string missing = probe.Dir.File("missing.txt");
    const std::wstring path(missing.begin(), missing.end());
    const struct { const char* Language; std::wstring Title, Text; } rows[] = {
        {"ENGL", L"Tarni Application", L"The file could not be opened:\r\r" + path + L"\r\rReason: "},
        {"GER", L"Tarni Anwendung", L"Die Datei konnte nicht ge\u00f6ffnet werden:\r\r" + path + L"\r\rGrund: "},
    };
    for (const auto& row : rows)
    {
        HWND box = probe.Show("/WITHLIBRARIES /LANG:" + std::string(row.Language) + " /KIND:CheckFile", 0, missing);
        ASSERT_NE(nullptr, box) << row.Language;
        EXPECT_EQ(row.Title, WindowText(box));
        EXPECT_EQ(row.Text + L"No such file or directory", ControlText(box, 0xFFFF));
        PressButton(box, IDOK);
        EXPECT_EQ(0, probe.Result());
    }
    ASSERT_TRUE(WriteFile(missing, "present"));
    ASSERT_TRUE(probe.Start("/WITHLIBRARIES /KIND:CheckFile", nullptr, missing));
    EXPECT_EQ(1, probe.Result()) << "an opened file passes through without a box";
}
