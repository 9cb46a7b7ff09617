// Message boxes: the shown text (reflow, wrap, entities) computed in process,
// and the boxes themselves read and answered from here while a probe program
// shows them.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/os/osys.h"
#include "framework/windows/winmisc_win32.h"
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
