// The help file: topic ids, mappings and topics, through a recording stand-in
// for the HTML Help control or the control itself; a probe program for what
// ends or belongs to a whole process.

#include <gtest/gtest.h>

#include <windows.h>
#include <htmlhelp.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/tarni_win32.h"
#include "framework/windows/helpfile.h"
#include "framework/windows/windows_win32.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"
#include "tests/windows/test_dialog.h"

using namespace TESTSUPPORT;

namespace
{
    struct CALL { UINT Command; std::string File; DWORD_PTR Data; };
    std::vector<CALL> gCalls;
    DWORD gCookie;   // what HH_INITIALIZE hands out
    HWND gAnswer;    // what every call answers
    UINT gTaken;     // the message the help window takes out of a loop

    HWND WINAPI Recorder(HWND, const char* file, UINT command, DWORD_PTR data)
    {
        gCalls.push_back({command, file ? file : "", data});
        if (command == HH_INITIALIZE)
            *reinterpret_cast<DWORD*>(data) = gCookie;
        if (command == HH_PRETRANSLATEMESSAGE && gTaken)
            return reinterpret_cast<MSG*>(data)->message == gTaken ? reinterpret_cast<HWND>(1) : 0;
        return gAnswer;
    }

    const std::string gDemoHelp = SelfDirectory() + "\\..\\service\\demoappenglish.chm";

    HWND HelpWindow(int timeoutMs) { return WaitForWindow(GetCurrentProcessId(), "HH Parent", timeoutMs); }

    // Runs an undo step when the scope ends, however it ends.
    struct ATEND
    {
        std::function<void()> Undo;
        ~ATEND() { Undo(); }
    };

    class HELP : public testing::Test
    {
    protected:
        void SetUp() override { Restart(true); }
        void TearDown() override
        {
            for (HWND window; (window = HelpWindow(0)) != 0;)
                SendMessageA(window, WM_CLOSE, 0, 0);
            Restart(false);
        }
        // A new help object on the recorder or on the control, with file when given.
        HELPFILE& Restart(bool hook, const std::string& file = "", DWORD cookie = 0x4711)
        {
            HELPFILE::Release();
            HELPFILE::SetHtmlHelpHook(hook ? Recorder : 0);
            gCalls.clear();
            gCookie = cookie;
            gAnswer = 0;
            if (!file.empty())
                HELPFILE::Get().SetFilename(file.c_str(), true);
            return HELPFILE::Get();
        }
        std::vector<std::string> Topics()
        {
            std::vector<std::string> topics;
            for (int i = 0; i < HELPFILE::Get().Topics().Count(); i++)
                topics.push_back(HELPFILE::Get().Topics().Text(i));
            return topics;
        }
        TEMPDIR Dir{"help"};
    };
}

TEST_F(HELP, TopicIdLinesGiveTheFirstWordAfterTheFirstEquals)
{
    // A null text: no such file.
    const struct { const char* Ids; const char* Cnt; std::vector<std::string> Topics; } rows[] = {
        {"a=1\nb=2 words after\n", nullptr, {"1", "2"}},
        {"1001 two words\nx=1=2\n", nullptr, {"1001", "1=2"}},
        {"a=1\r\n\r\nb=2", nullptr, {"1", "", "2"}},   // CR LF, an empty line, no final break
        {nullptr, "c=5\n", {"5"}},
        {"i=1\n", "c=5\n", {"1"}},
    };
    for (const auto& row : rows)
    {
        TEMPDIR dir;
        if (row.Ids)
            WriteFile(dir.File("h.ids"), row.Ids);
        if (row.Cnt)
            WriteFile(dir.File("h.cnt"), row.Cnt);
        Restart(true, dir.File("h.chm"));
        EXPECT_EQ(row.Topics, Topics()) << (row.Ids ? row.Ids : row.Cnt);
    }
    // A line of 600 bytes is read in pieces of 511.
    WriteFile(Dir.File("long.ids"), "x=7 " + std::string(507, 'a') + "y=8 " + std::string(84, 'b') + "\n");
    Restart(true, Dir.File("long.chm"));
    WriteFile(Dir.File("two.ids"), "b=2\n");
    HELPFILE::Get().SetFilename(Dir.File("two.hlp").c_str(), false);
    EXPECT_EQ((std::vector<std::string>{"7", "8", "2"}), Topics()) << "a second file adds its ids";
    EXPECT_EQ(Dir.File("two.hlp"), HELPFILE::Get().GetFilename().Text());
    EXPECT_EQ(1u, gCalls.size()) << "Windows help needs no HTML Help";
}

TEST_F(HELP, ShowsListedTopicsOfTheDemoHelpAfterMapping)
{
    HELPFILE& help = Restart(true, gDemoHelp);
    help.AddMapping(5, 1001);
    help.AddMapping(6, 999);
    help.AddMapping(7, 999);
    help.AddMapping(7, 1002);
    gAnswer = reinterpret_cast<HWND>(0x1234);
    // Topic null: not shown.
    const struct { int Id; const char* Topic; } rows[] = {
        {1000, "1000"}, {1001, "1001"}, {1003, nullptr}, {5, "1001"}, {6, nullptr}, {7, "1002"}};
    for (const auto& row : rows)
    {
        gCalls.clear();
        EXPECT_EQ(row.Topic != nullptr, help.ShowTopic(row.Id)) << row.Id;
        ASSERT_EQ(row.Topic ? 1u : 0u, gCalls.size()) << row.Id;
        if (row.Topic)
        {
            EXPECT_EQ(gDemoHelp + "::html/topic-" + row.Topic + ".html", gCalls[0].File);
            EXPECT_EQ((UINT)HH_DISPLAY_TOPIC, gCalls[0].Command);
        }
    }
    EXPECT_EQ(gAnswer, help.GetHelpWindow());
    EXPECT_TRUE(help.ShowContents(false));
    EXPECT_EQ((UINT)HH_DISPLAY_TOC, gCalls.back().Command);
    EXPECT_EQ(gDemoHelp, gCalls.back().File);
}

TEST_F(HELP, The129thMappingIsRefused)
{
    HELPFILE& help = Restart(true, gDemoHelp);
    ASSERTSPY spy;
    for (int i = 0; i < 128; i++)
        help.AddMapping(i, 1000);
    help.AddMapping(7, 1002);   // a known id is replaced even in a full table
    EXPECT_EQ(0u, spy.Count());
    help.AddMapping(200, 1001);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("this->NumMappings<ARRAYMAX(this->Mappings)", spy.Last().Condition);
    EXPECT_FALSE(help.ShowTopic(200));
    EXPECT_TRUE(help.ShowTopic(7));
    EXPECT_EQ(gDemoHelp + "::html/topic-1002.html", gCalls.back().File);
}

TEST_F(HELP, PreTranslatesOnlyOnTheMainThreadWithACookie)
{
    const uint32_t mainThread = gMainThreadId;
    gMainThreadId = GetCurrentThreadId();
    const struct { DWORD Cookie; bool OtherThread; HWND Answer; bool Taken; bool Called; } rows[] = {
        {0x4711, false, reinterpret_cast<HWND>(1), true, true},
        {0x4711, false, 0, false, true},
        {0x4711, true, reinterpret_cast<HWND>(1), false, false},
        {0, false, reinterpret_cast<HWND>(1), false, false},
    };
    for (const auto& row : rows)
    {
        HELPFILE& help = Restart(true, gDemoHelp, row.Cookie);
        gCalls.clear();
        gAnswer = row.Answer;
        MSG message = {};
        bool taken = true;
        if (row.OtherThread)
            std::thread([&] { taken = help.PreTranslate(&message); }).join();
        else
            taken = help.PreTranslate(&message);
        EXPECT_EQ(row.Taken, taken) << row.Cookie << row.OtherThread;
        ASSERT_EQ(row.Called ? 1u : 0u, gCalls.size());
        EXPECT_TRUE(!row.Called || gCalls[0].Data == reinterpret_cast<DWORD_PTR>(&message));
    }
    gMainThreadId = mainThread;
}

TEST_F(HELP, DeletionClosesTheHtmlHelp)
{
    Restart(true, gDemoHelp);
    HELPFILE::Release();
    ASSERT_EQ(2u, gCalls.size());
    EXPECT_EQ((UINT)HH_INITIALIZE, gCalls[0].Command);
    EXPECT_EQ((UINT)HH_UNINITIALIZE, gCalls[1].Command);
    EXPECT_EQ(0x4711u, gCalls[1].Data);
    Restart(true);
    HELPFILE::Release();
    EXPECT_TRUE(gCalls.empty()) << "no file, nothing to close";
}

TEST_F(HELP, TheControlOpensListedTopicsOnlyAndFailsQuietlyOnACorruptFile)
{
    HELPFILE& help = Restart(false, gDemoHelp);
    EXPECT_FALSE(help.ShowTopic(1003));
    EXPECT_EQ(nullptr, HelpWindow(500));
    EXPECT_TRUE(help.ShowTopic(1000));
    HWND window = HelpWindow(10000);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, help.GetHelpWindow());

    WriteFile(Dir.File("corrupt.ids"), "x=1\n");
    WriteFile(Dir.File("corrupt.chm"), "ITSF" + std::string(300, '\x7f'));
    HELPFILE& corrupt = Restart(false, Dir.File("corrupt.chm"));
    EXPECT_TRUE(corrupt.ShowTopic(1));
    EXPECT_EQ(nullptr, corrupt.GetHelpWindow());
}

TEST_F(HELP, TheControlIsLoadedFromItsRegisteredPathWhenThatIsUsable)
{
    const char* key = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    char saved[1024];
    DWORD savedSize = sizeof(saved), savedType = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueA(HKEY_CLASSES_ROOT, key, 0, RRF_RT_ANY | RRF_NOEXPAND, &savedType, saved, &savedSize));
    ATEND restore{[&] { RegSetKeyValueA(HKEY_CLASSES_ROOT, key, 0, savedType, saved, savedSize); }};
    const std::string system = "C:\\windows\\system32\\hhctrl.ocx";
    const struct { DWORD Type; std::string Data; std::string Loaded; } rows[] = {
        {REG_EXPAND_SZ, std::string("%SystemRoot%\\system32\\hhctrl.ocx") + '\0', system},
        {REG_BINARY, system + '\0', "hhctrl.ocx"},
        {REG_SZ, "C:\\" + std::string(MAX_PATH, 'x') + '\0', "hhctrl.ocx"},
        {REG_SZ, std::string("C:\\missing\\hhctrl.ocx") + '\0', "hhctrl.ocx"},
    };
    for (const auto& row : rows)
    {
        RegSetKeyValueA(HKEY_CLASSES_ROOT, key, 0, row.Type, row.Data.data(), (DWORD)row.Data.size());
        LOGCAPTURE log(0);
        Restart(false, gDemoHelp);
        std::vector<std::string> loads = log.Lines("DLLINTERFACE::Load ");
        ASSERT_GE(loads.size(), 2u);
        EXPECT_EQ("DLLINTERFACE::Load " + row.Loaded + " <NULL>", loads[loads.size() - 2]) << row.Type;
        EXPECT_EQ("DLLINTERFACE::Load returns 1", loads.back()) << row.Type;
    }
}

namespace
{
    // The probe, copied under a name of its own, run with its log on.
    struct HELPPROBE
    {
        explicit HELPPROBE(const std::string& exe = "helpprobe.exe") : Exe(Dir.File(exe))
        {
            EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\helpprobe.exe").c_str(), Exe.c_str(), FALSE));
        }
        bool Start(const std::string& arguments)
        {
            return Child.Start("\"" + Exe + "\" \"/LOGIT:" + Dir.File("probe.log") + "\" " + arguments, Dir.Path());
        }
        int Run(const std::string& arguments) { return Start(arguments) ? Child.Wait(20000) : -2; }
        std::vector<std::string> Log(const std::string& prefix = "") { return LogLines(Dir.File("probe.log"), prefix); }
        TEMPDIR Dir{"helpprobe"};
        std::string Exe;
        CHILD Child;
    };
}

TEST(HelpProbe, AMissingTopicListEndsTheProgramAfterSayingSo)
{
    const struct { const char* Folder; bool German; std::wstring Start; } rows[] = {
        {"help", false, L"The application failed to load necessary files (helpfile content, resources etc.), which"},
        {"helpgerman", true, L"Die Anwendung konnte notwendige Dateien (Hilfedateien, Ressourcen etc.), welche"},
    };
    for (const auto& row : rows)
    {
        HELPPROBE probe;
        std::string folder = probe.Dir.File(row.Folder);
        CreateDirectoryA(folder.c_str(), 0);
        ASSERT_TRUE(probe.Start("/FILE:" + folder + "\\demo.chm"));
        HWND box = WaitForWindow(probe.Child.Id(), "#32770", 20000);
        ASSERT_NE(nullptr, box) << row.Folder;
        std::wstring text = ControlText(box, 0xFFFF);
        std::string path = ":\r\r" + folder + "\\demo.cnt";
        std::wstring missing(path.begin(), path.end());
        EXPECT_EQ(L"Tarni Application", WindowText(box));
        EXPECT_EQ(row.Start, text.substr(0, row.Start.size()));
        EXPECT_TRUE(text.size() > missing.size() && text.compare(text.size() - missing.size(), missing.size(), missing) == 0)
            << Narrow(text);
        EXPECT_EQ(row.German, text.find(L"Verkn\u00fcpfung") != std::wstring::npos) << "code page 1252";
        EXPECT_TRUE(PressButton(box, IDOK));
        EXPECT_EQ(99, probe.Child.Wait(20000)) << row.Folder;
    }
}

TEST(HelpProbe, NoHelpLooksForNoFile)
{
    HELPPROBE probe;
    EXPECT_EQ(10, probe.Run("/NOHELP /FILE:" + probe.Dir.File("demo.chm"))) << "no box, not available";
}

TEST(HelpProbe, TheFrameDeletesTheHelpAtTheEnd)
{
    HELPPROBE probe;
    EXPECT_EQ(11, probe.Run("/FILE:" + gDemoHelp));
    const std::vector<std::string> expected = {"HELPFILE::HELPFILE", "HELPFILE::HELPFILE done", "Over and out.",
                                               "HELPFILE::~HELPFILE", "HELPFILE::~HELPFILE done"};
    std::vector<std::string> lines;
    for (const std::string& line : probe.Log())
        for (const std::string& wanted : expected)
            if (line == wanted)
                lines.push_back(line);
    EXPECT_EQ(expected, lines);
}

TEST(HelpProbe, WithoutTheControlEveryCallAnswersNothing)
{
    const std::string key = "Software\\Wine\\AppDefaults\\nohelpcontrol.exe";
    RegSetKeyValueA(HKEY_CURRENT_USER, (key + "\\DllOverrides").c_str(), "hhctrl.ocx", REG_SZ, "", 1);
    ATEND restore{[&] { RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()); }};
    HELPPROBE probe("nohelpcontrol.exe");
    EXPECT_EQ(11, probe.Run("/FILE:" + gDemoHelp + " /TOPIC:1000")) << "available, no window";
    EXPECT_EQ(1u, probe.Log("DLLINTERFACE::GetFunction #14").size()) << "one attempt";
}

namespace
{
    std::string ShownTopic()
    {
        if (gCalls.empty())
            return "";
        std::string file = gCalls.back().File;
        return file.substr(file.find("topic-") + 6, file.find(".html") - file.find("topic-") - 6);
    }
}

TEST_F(HELP, HelpForAWindowTriesTheFocusTheWindowItsParentsThenTheDefault)
{
    WriteFile(Dir.File("w.ids"), "a=10\nb=20\nc=30\n");
    HELPFILE& help = Restart(true, Dir.File("w.chm"));
    WINDOW top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, "help", 10, 10, 300, 200, 0, 30);
    CHILDWINDOW pane(top.Hwnd(), 20, 0, 0, 200, 100, WS_VISIBLE);
    HWND listed = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, pane.Hwnd(), (HMENU)10, 0, 0);
    HWND unlisted = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 30, 50, 20, pane.Hwnd(), (HMENU)11, 0, 0);
    SetForegroundWindow(top.Hwnd());
    const struct
    {
        HWND Focus;
        HWND Window;
        int Id;
        int Default;
        const char* Topic;   // empty: nothing shown
    } rows[] = {
        {listed, top.Hwnd(), 30, -1, "10"},
        {unlisted, top.Hwnd(), 30, -1, "20"},         // the focused control's parent
        {0, top.Hwnd(), 30, -1, "30"},                // the window's own id
        {0, unlisted, 99, -1, "20"},                  // the window's parents
        {0, unlisted, 99, 10, "20"},
        {0, GetDesktopWindow(), 99, 10, "10"},        // the default topic last
        {0, GetDesktopWindow(), 99, -1, ""},
    };
    for (const auto& row : rows)
    {
        ::SetFocus(row.Focus);
        help.SetDefaultTopic(row.Default);
        gCalls.clear();
        EXPECT_EQ(*row.Topic != 0, help.ShowHelpFor(row.Window, row.Id)) << row.Id << " " << row.Topic;
        EXPECT_EQ(row.Topic, ShownTopic()) << row.Id << " " << row.Topic;
    }
    // A framework window asks for help when the user presses F1 or a Help button.
    ::SetFocus(0);
    gCalls.clear();
    SendMessageA(top.Hwnd(), WM_HELP, 0, 0);
    EXPECT_EQ("30", ShownTopic());
    HELPFILE::Release();
    EXPECT_EQ(0, SendMessageA(top.Hwnd(), WM_HELP, 0, 0)) << "no help file: nothing to show";
}

TEST_F(HELP, TheModalLoopHandsMessagesToTheHelpWindowFirst)
{
    const uint32_t mainThread = gMainThreadId;
    gMainThreadId = GetCurrentThreadId();
    Restart(true, gDemoHelp);
    gTaken = WM_USER + 9;
    // Messages for another window than the dialog, as the help window gets them.
    struct SEEN : WINDOW
    {
        SEEN() : WINDOW(WS_POPUP, "seen", 0, 0, 10, 10) {}
        std::vector<UINT> Messages;
        LRESULT OnUserMessage(UINT message, WPARAM, LPARAM) override
        {
            Messages.push_back(message);
            return 0;
        }
    } other;
    DIALOG dialog(IDD_OLDSTYLE, 0, GetModuleHandleA(0));
    PostMessageA(other.Hwnd(), WM_USER + 9, 0, 0);
    PostMessageA(other.Hwnd(), WM_USER + 10, 0, 0);
    dialog.EndModal(4);
    EXPECT_EQ(4, dialog.RunModal(true));
    EXPECT_EQ(std::vector<UINT>{WM_USER + 10}, other.Messages);
    gTaken = 0;
    gMainThreadId = mainThread;
}
