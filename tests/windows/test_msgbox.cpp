// Message boxes: the shown text (reflow, wrap, entities) computed in process,
// and the boxes themselves read and answered from here while a probe program
// shows them.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/os/osys.h"
#include "framework/windows/winmisc_win32.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    std::u16string Shown(const char* text, int wrapColumn = 55, bool force = false)
    {
        WSTRING result = WINTARNI::FormatMsgText(text, wrapColumn, force);
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
        bool Start(const std::string& arguments, const char* title, const std::string& text)
        {
            std::vector<std::string> environment = {"MSGBOXPROBE_TEXT=" + text};
            if (title)
                environment.push_back(std::string("MSGBOXPROBE_TITLE=") + title);
            return Child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), environment, Exe);
        }
        HWND Box() { return WaitForWindow(Child.Id(), "#32770", 20000); }
        // The box's result, from the exit code.
        int Result() { return Child.Wait(20000) - 10; }

        TEMPDIR Dir{"box"};
        std::string Exe;
        CHILD Child;
    };

}

TEST(MsgText, ShortTextsStayAsTheyAre)
{
    EXPECT_EQ(u"", Shown(""));
    EXPECT_EQ(u"x", Shown("x"));
    EXPECT_EQ(u"\r", Shown("\n"));
    EXPECT_EQ(u"ab", Shown("ab"));
    EXPECT_EQ(u"a\r", Shown("a\r\n"));
}

TEST(MsgText, SingleBreaksBetweenWordsAreJoined)
{
    EXPECT_EQ(u"one two", Shown("one\ntwo"));
    EXPECT_EQ(u"one two", Shown("one\r\ntwo"));
    EXPECT_EQ(u"one two", Shown("one \ntwo")) << "a break after a space is dropped";
    EXPECT_EQ(u"one\r\rtwo", Shown("one\n\ntwo")) << "an empty line stays";
    EXPECT_EQ(u"one\r two", Shown("one\n two"));
    EXPECT_EQ(u"one\r\ttwo", Shown("one\n\ttwo"));
    EXPECT_EQ(u"one two\r\tthree four", Shown("one\ntwo\r\n\tthree\nfour"));
}

TEST(MsgText, NoWrapHeaderKeepsEveryBreak)
{
    EXPECT_EQ(u"one\rtwo", Shown("##NOWRAP##\r\none\ntwo"));
    EXPECT_EQ(u"one\rtwo", Shown("##NOWRAP##\none\r\ntwo"));
    EXPECT_EQ(u"x ##NOWRAP## one two", Shown("x ##NOWRAP##\none\ntwo"));
    std::string longLine = Repeat("word", 30);
    EXPECT_EQ(std::u16string(longLine.begin(), longLine.end()), Shown(("##NOWRAP##\n" + longLine).c_str(), 10, true));
}

TEST(MsgText, EntitiesBecomeSpaceAndArrow)
{
    EXPECT_EQ(u"a b", Shown("a&nbsp;b"));
    EXPECT_EQ(u"a \u2192 b", Shown("a &rarr; b"));
    EXPECT_EQ(u"\u00e4\u20ac", Shown("\xe4\x80")) << "texts are code page 1252";
}

TEST(MsgText, ForcedWrapBreaksAtTheFirstSpaceBeyondTheColumn)
{
    EXPECT_EQ(u"abcd ef", Shown("abcd ef", 5, true));
    EXPECT_EQ(u"abcde\rfg hi", Shown("abcde fg hi", 5, true));
    EXPECT_EQ(u"abcdefg\rhijklmn\rxy", Shown("abcdefg hijklmn xy", 5, true));
    EXPECT_EQ(u"abcdefg hij", Shown("abcdefg&nbsp;hij", 5, true)) << "no break at a held space";
    EXPECT_EQ(u"ab\r\rcdefgh\rij", Shown("ab\n\rcdefgh ij", 5, true)) << "a kept break restarts the column";
    EXPECT_EQ(u"abcdefg\rhijk", Shown("abcdefg\nhijk", 5, true)) << "a joined break may wrap";
}

TEST(MsgText, PlainWrapOnlyBeforeVista)
{
    std::string longLine = Repeat("word", 30);
    std::u16string expected(longLine.begin(), longLine.end());
    EXPECT_EQ(expected, Shown(longLine.c_str(), -1, false));
    if (OSYS::GetOsId() >= 5)
    {
        EXPECT_EQ(expected, Shown(longLine.c_str(), 55, false));
    }
}

TEST(MsgBox, InfoWarningAndErrorShowTitleTextAndOk)
{
    for (const char* kind : {"INFO", "WARNING", "ERROR"})
    {
        BOXPROBE probe;
        ASSERT_TRUE(probe.Start(std::string("/KIND:") + kind, "Caption \xe4", "first\nsecond\n\nthird"));
        HWND box = probe.Box();
        ASSERT_NE(nullptr, box) << kind;
        EXPECT_EQ(L"Caption \u00e4", WindowText(box)) << kind;
        EXPECT_EQ(L"first second\r\rthird", ControlText(box, 0xFFFF)) << kind;
        EXPECT_EQ(nullptr, GetDlgItem(box, IDYES)) << kind;
        ASSERT_TRUE(PressButton(box, IDOK)) << kind;
        EXPECT_EQ(0, probe.Result()) << kind;
    }
}

TEST(MsgBox, YesNoAnswers)
{
    for (int button : {IDYES, IDNO})
    {
        BOXPROBE probe;
        ASSERT_TRUE(probe.Start("/KIND:YESNO", "Question", "Go on?"));
        HWND box = probe.Box();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL));
        ASSERT_TRUE(PressButton(box, button));
        EXPECT_EQ(button == IDYES ? 1 : 0, probe.Result());
    }
}

TEST(MsgBox, YesNoCancelAnswersAndCloseIsCancel)
{
    const int buttons[] = {IDYES, IDNO, IDCANCEL};
    const int results[] = {1, 0, -1};
    for (int i = 0; i < 3; i++)
    {
        BOXPROBE probe;
        ASSERT_TRUE(probe.Start("/KIND:YESNOCANCEL", "Question", "Save?"));
        HWND box = probe.Box();
        ASSERT_NE(nullptr, box);
        ASSERT_TRUE(PressButton(box, buttons[i]));
        EXPECT_EQ(results[i], probe.Result()) << buttons[i];
    }
    BOXPROBE probe;
    ASSERT_TRUE(probe.Start("/KIND:YESNOCANCEL", "Question", "Save?"));
    HWND box = probe.Box();
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_CLOSE, 0, 0);
    EXPECT_EQ(-1, probe.Result());
}

TEST(MsgBox, OpenedFromAChildBelongsToItsTopLevelWindow)
{
    BOXPROBE probe;
    ASSERT_TRUE(probe.Start("/KIND:INFO /CHILDOWNER", "Owned", "text"));
    HWND box = probe.Box();
    ASSERT_NE(nullptr, box);
    HWND owner = GetWindow(box, GW_OWNER);
    char className[64] = "";
    GetClassNameA(owner, className, sizeof(className));
    EXPECT_STREQ("MsgBoxProbeOwner", className);
    PressButton(box, IDOK);
    EXPECT_EQ(0, probe.Result());
}

TEST(MsgBox, WithoutTitleTheApplicationNamesTheBox)
{
    BOXPROBE probe("untitledbox.exe");
    ASSERT_TRUE(probe.Start("/KIND:WARNING", nullptr, "text"));
    HWND box = probe.Box();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"untitledbox", WindowText(box));
    PressButton(box, IDOK);
    EXPECT_EQ(0, probe.Result());
}

TEST(MsgBox, EachKindWritesItsLogLine)
{
    BOXPROBE probe;
    std::string log = probe.Dir.File("box.log");
    ASSERT_TRUE(probe.Start("/KIND:YESNOCANCEL \"/LOGIT:" + log + "\"", "T1", "line one\nline two"));
    HWND box = probe.Box();
    ASSERT_NE(nullptr, box);
    PressButton(box, IDNO);
    EXPECT_EQ(0, probe.Result());
    EXPECT_NE(std::string::npos,
              ReadTextFile(log).find("WINTARNI::YesNoCancelMsgBox title=T1 text=line one\nline two\n"));
}

TEST(MsgBox, PlainBoxesWrapAtColumn55BeforeVista)
{
    std::string text = Repeat("abcdefghi", 12);   // 119 characters, a space every tenth
    std::wstring line = std::wstring(L"abcdefghi ") + L"abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi";
    std::wstring wrapped = line + L"\r" + line;
    {
        std::string name = "boxxp" + std::to_string(GetCurrentProcessId()) + ".exe";
        APPVERSION version(name, "winxp");
        BOXPROBE probe(name);
        ASSERT_TRUE(probe.Start("/KIND:INFO", "Old", text));
        HWND box = probe.Box();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(wrapped, ControlText(box, 0xFFFF));
        PressButton(box, IDOK);
        EXPECT_EQ(0, probe.Result());
    }
    BOXPROBE probe;
    ASSERT_TRUE(probe.Start("/KIND:INFO", "New", text));
    HWND box = probe.Box();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(std::wstring(text.begin(), text.end()), ControlText(box, 0xFFFF));
    PressButton(box, IDOK);
    EXPECT_EQ(0, probe.Result());
}
