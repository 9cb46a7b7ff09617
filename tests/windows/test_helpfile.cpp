// The help file through a recording stand-in for the HTML Help control or the
// control itself; a probe program for what ends or belongs to a whole process.

#include <gtest/gtest.h>

#include <windows.h>
#include <htmlhelp.h>

#include <algorithm>
#include <thread>

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
    UINT gTaken;     // the message the help window takes out of a loop
    HWND WINAPI Recorder(HWND, const char* file, UINT command, DWORD_PTR data)
    {
        gCalls.push_back({command, file ? file : "", data});
        if (command == HH_INITIALIZE)
            *reinterpret_cast<DWORD*>(data) = 0x4711;
        bool taken = command == HH_PRETRANSLATEMESSAGE && reinterpret_cast<MSG*>(data)->message == gTaken;
        return reinterpret_cast<HWND>(static_cast<INT_PTR>(taken));
    }
    const std::string gDemoHelp = SelfDirectory() + "\\..\\service\\demoappenglish.chm";
    // The topic the last call showed, and that of id in chm; "" for none.
    std::string Shown() { return gCalls.empty() || gCalls.back().Command != HH_DISPLAY_TOPIC ? "" : gCalls.back().File; }
    std::string Url(std::string chm, std::string id) { return id.empty() ? id : chm + "::html/topic-" + id + ".html"; }

    class HELP : public testing::Test
    {
    protected:
        void TearDown() override
        {
            for (HWND window; (window = WaitForWindow(GetCurrentProcessId(), "HH Parent", 0)) != 0;)
                SendMessageA(window, WM_CLOSE, 0, 0);
            Restart(false);
            gMainThreadId = MainThread;
        }
        // A new help object on the recorder or on the control, with file when given; this thread is the main one.
        HELPFILE& Restart(bool hook, const std::string& file = "")
        {
            gMainThreadId = GetCurrentThreadId();
            HELPFILE::Release();
            HELPFILE::SetHtmlHelpHook(hook ? Recorder : 0);
            gCalls.clear();
            gTaken = 0;
            if (!file.empty())
                HELPFILE::Get().SetFilename(file.c_str(), true);
            return HELPFILE::Get();
        }
        TEMPDIR Dir{"help"};
        const uint32_t MainThread = gMainThreadId;
    };
    std::vector<std::string> Topics(const HELPFILE& help)
    {
        std::vector<std::string> topics;
        for (int i = 0; i < help.Topics().Count(); i++)
            topics.push_back(help.Topics().Text(i));
        return topics;
    }
    // Starts the probe program copied into dir under the name exe, with its log on.
    bool StartProbe(CHILD& child, const TEMPDIR& dir, const std::string& exe, const std::string& arguments)
    {
        EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\helpprobe.exe").c_str(), dir.File(exe).c_str(), FALSE));
        return child.Start("\"" + dir.File(exe) + "\" \"/LOGIT:" + dir.File("probe.log") + "\" " + arguments, dir.Path());
    }
}

TEST_F(HELP, TopicIdLinesGiveTheFirstWordAfterTheFirstEquals)
{
    WriteFile(Dir.File("h.cnt"), "c=5\n");
    const struct { std::string Ids; std::vector<std::string> Topics; } rows[] = {   // each h.ids beside h.cnt
        {"", {"5"}},   // no ids: the cnt file
        {"1001 two words\nx=1=2\n", {"1001", "1=2"}},
        {"a=1\r\n\r\nb=2", {"1", "", "2"}},   // CR LF, an empty line, no final break
        {"x=7 " + std::string(507, 'a') + "y=8 " + std::string(84, 'b') + "\n", {"7", "8"}},   // 600 bytes
    };
    for (const auto& row : rows)
    {
        if (!row.Ids.empty())
            WriteFile(Dir.File("h.ids"), row.Ids);
        EXPECT_EQ(row.Topics, Topics(Restart(true, Dir.File("h.chm")))) << row.Ids.substr(0, 20);
    }
    EXPECT_EQ((std::vector<std::string>{"1000", "1001", "1002"}), Topics(Restart(true, gDemoHelp))) << "the built demo";
}

TEST_F(HELP, ShowsListedTopicsAfterMappingAndRefusesThe129thMapping)
{
    HELPFILE& help = Restart(true, gDemoHelp);
    ASSERTSPY spy;
    for (int i = 873; i <= 1000; i++)
        help.AddMapping(i, 999);   // 128 mappings, the last for 1000
    help.AddMapping(900, 1001);    // a known id is replaced even in a full table
    help.AddMapping(200, 1002);
    ASSERT_EQ(1u, spy.Count()) << "only the 129th";
    EXPECT_EQ("this->NumMappings<ARRAYMAX(this->Mappings)", spy.Last().Condition);
    const struct { int Id; std::string Topic; } rows[] = {{1002, "1002"}, {1003, ""}, {900, "1001"}, {1000, ""}, {200, ""}};
    for (const auto& row : rows)
    {
        gCalls.clear();
        EXPECT_EQ(!row.Topic.empty(), help.ShowTopic(row.Id)) << row.Id;
        EXPECT_EQ(Url(gDemoHelp, row.Topic), Shown()) << gCalls.size();
    }
    HELPFILE::Release();   // closes the help with the cookie HH_INITIALIZE gave
    EXPECT_TRUE(gCalls.size() == 1 && gCalls[0].Command == HH_UNINITIALIZE && gCalls[0].Data == 0x4711) << gCalls.size();
}

TEST_F(HELP, PreTranslatesOnlyOnTheMainThreadWithACookie)
{
    const struct { bool Cookie, OtherThread, Taken; } rows[] = {   // no file: no cookie
        {true, false, true}, {true, true, false}, {false, false, false}};
    for (const auto& row : rows)
    {
        HELPFILE& help = Restart(true, row.Cookie ? gDemoHelp : "");
        gTaken = WM_USER;
        MSG message = {0, WM_USER};
        bool taken = !row.Taken;
        if (row.OtherThread)
            std::thread([&] { taken = help.PreTranslate(&message); }).join();
        else
            taken = help.PreTranslate(&message);
        EXPECT_EQ(row.Taken, taken) << row.Cookie << row.OtherThread;
    }
}

TEST_F(HELP, TheModalLoopHandsMessagesToTheHelpWindowFirst)
{
    Restart(true, gDemoHelp);
    gTaken = WM_USER + 9;
    struct SEEN : WINDOW   // another window than the dialog, as the help window is
    {
        SEEN() : WINDOW(WS_POPUP, "seen", 0, 0, 10, 10) {}
        std::vector<UINT> Messages;
        LRESULT OnUserMessage(UINT message, WPARAM, LPARAM) override { Messages.push_back(message); return 0; }
    } other;
    DIALOG dialog(IDD_OLDSTYLE, 0, GetModuleHandleA(0));
    PostMessageA(other.Hwnd(), WM_USER + 9, 0, 0);
    PostMessageA(other.Hwnd(), WM_USER + 10, 0, 0);
    dialog.EndModal(4);
    EXPECT_EQ(4, dialog.RunModal(true));
    EXPECT_EQ(std::vector<UINT>{WM_USER + 10}, other.Messages);
}

TEST_F(HELP, HelpForAWindowTriesTheFocusTheWindowItsParentsThenTheDefault)
{
    WriteFile(Dir.File("w.ids"), "a=10\nb=20\nc=30\n");
    const std::string chm = Dir.File("w.chm");
    HELPFILE& help = Restart(true, chm);
    WINDOW top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, "help", 10, 10, 300, 200, 0, 30);
    CHILDWINDOW pane(top.Hwnd(), 20, 0, 0, 200, 100, WS_VISIBLE);
    CHILDWINDOW listed(pane.Hwnd(), 10, 0, 0, 50, 20, WS_VISIBLE), unlisted(pane.Hwnd(), 11, 0, 30, 50, 20, WS_VISIBLE);
    const struct { HWND Focus, Window; int Id, Default; std::string Topic; } rows[] = {   // Topic "": nothing shown
        {listed.Hwnd(), top.Hwnd(), 30, -1, "10"}, {unlisted.Hwnd(), top.Hwnd(), 30, -1, "20"},   // the focus, its parent
        {0, top.Hwnd(), 30, -1, "30"},                                                           // the window's own id
        {0, unlisted.Hwnd(), 99, -1, "20"}, {0, unlisted.Hwnd(), 99, 10, "20"},                  // the window's parents
        {0, GetDesktopWindow(), 99, 10, "10"}, {0, GetDesktopWindow(), 99, -1, ""},              // the default topic last
    };
    for (const auto& row : rows)
    {
        ::SetFocus(row.Focus);
        help.SetDefaultTopic(row.Default);
        gCalls.clear();
        EXPECT_EQ(!row.Topic.empty(), help.ShowHelpFor(row.Window, row.Id)) << row.Id << " " << row.Topic;
        EXPECT_EQ(Url(chm, row.Topic), Shown()) << row.Id << " " << row.Topic;
    }
}

TEST_F(HELP, TheControlOpensATopicFailsQuietlyOnACorruptFileAndIsLoadedFromAUsableRegisteredPath)
{
    HELPFILE& help = Restart(false, gDemoHelp);
    EXPECT_TRUE(help.ShowTopic(1000));
    HWND window = WaitForWindow(GetCurrentProcessId(), "HH Parent", 10000);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, help.GetHelpWindow());
    WriteFile(Dir.File("corrupt.ids"), "x=1\n");
    WriteFile(Dir.File("corrupt.chm"), "ITSF" + std::string(300, '\x7f'));
    HELPFILE& corrupt = Restart(false, Dir.File("corrupt.chm"));
    EXPECT_TRUE(corrupt.ShowTopic(1));
    EXPECT_EQ(nullptr, corrupt.GetHelpWindow());
    const char* key = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    char saved[1024];
    DWORD savedSize = sizeof(saved), savedType = 0;
    ASSERT_EQ(0, RegGetValueA(HKEY_CLASSES_ROOT, key, 0, RRF_RT_ANY | RRF_NOEXPAND, &savedType, saved, &savedSize));
    ATEND restore{[&] { RegSetKeyValueA(HKEY_CLASSES_ROOT, key, 0, savedType, saved, savedSize); }};
    const struct { DWORD Type; std::string Data, Loaded; } rows[] = {
        {REG_EXPAND_SZ, std::string("%SystemRoot%\\system32\\hhctrl.ocx") + '\0', "C:\\windows\\system32\\hhctrl.ocx"},
        {REG_BINARY, std::string("C:\\windows\\system32\\hhctrl.ocx") + '\0', "hhctrl.ocx"},
        {REG_SZ, "C:\\" + std::string(MAX_PATH, 'x') + '\0', "hhctrl.ocx"},
        {REG_SZ, std::string("C:\\missing\\hhctrl.ocx") + '\0', "hhctrl.ocx"},
    };
    for (const auto& row : rows)
    {
        RegSetKeyValueA(HKEY_CLASSES_ROOT, key, 0, row.Type, row.Data.data(), (DWORD)row.Data.size());
        LOGCAPTURE log(0);
        Restart(false, gDemoHelp);
        std::vector<std::string> loads = log.Lines("DLLINTERFACE::Load ");
        loads.erase(loads.begin(), loads.end() - std::min<size_t>(2, loads.size()));
        EXPECT_EQ((std::vector<std::string>{"DLLINTERFACE::Load " + row.Loaded + " <NULL>", "DLLINTERFACE::Load returns 1"}),
                  loads) << row.Type;
    }
}

TEST(HelpProbe, AMissingTopicListEndsTheProgramAfterSayingSo)
{
    const struct { const char* Name; bool German; std::string Start; } rows[] = {
        {"demo", false, "The application failed to load necessary files (helpfile content, resources etc.), which"},
        {"demogerman", true, "Die Anwendung konnte notwendige Dateien (Hilfedateien, Ressourcen etc.), welche"},
    };
    for (const auto& row : rows)
    {
        TEMPDIR dir{"helpprobe"};
        CHILD child;
        ASSERT_TRUE(StartProbe(child, dir, "helpprobe.exe", "/FILE:" + dir.File(row.Name) + ".chm"));
        HWND box = WaitForWindow(child.Id(), "#32770", 20000);
        ASSERT_NE(nullptr, box) << row.Name;
        std::string text = Narrow(ControlText(box, 0xFFFF)), end = ":\r\r" + dir.File(row.Name) + ".cnt";
        EXPECT_EQ(L"Tarni Application", WindowText(box));
        EXPECT_EQ(row.Start, text.substr(0, row.Start.size()));
        EXPECT_EQ(end, text.substr(text.size() - std::min(text.size(), end.size())));
        EXPECT_EQ(row.German, text.find("Verkn\xfcpfung") != std::string::npos) << "code page 1252";
        EXPECT_TRUE(PressButton(box, IDOK));
        EXPECT_EQ(99, child.Wait(20000)) << row.Name;
    }
}

TEST(HelpProbe, TheFrameDeletesTheHelpAtTheEndAndWithoutTheControlEveryCallAnswersNothing)
{
    const std::string key = "Software\\Wine\\AppDefaults\\nohelpcontrol.exe";
    RegSetKeyValueA(HKEY_CURRENT_USER, (key + "\\DllOverrides").c_str(), "hhctrl.ocx", REG_SZ, "", 1);
    ATEND restore{[&] { RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()); }};
    const struct { const char* Exe; std::string Arguments; int Exit; size_t Lookups; } rows[] = {   // Exit: 10, +1 available
        {"helpprobe.exe", "/NOHELP /FILE:demo.chm /TOPIC:1000", 10, 0},   // no box: the list is not looked for
        {"nohelpcontrol.exe", "/FILE:" + gDemoHelp + " /TOPIC:1000", 11, 1},   // one attempt for three calls
    };
    for (const auto& row : rows)
    {
        TEMPDIR dir{"helpprobe"};
        CHILD child;
        EXPECT_EQ(row.Exit, StartProbe(child, dir, row.Exe, row.Arguments) ? child.Wait(20000) : -2) << row.Exe;
        std::string log = ReadFile(dir.File("probe.log"));   // the help is deleted after the program's end
        EXPECT_NE(std::string::npos, log.find("HELPFILE::~HELPFILE done", log.find("Over and out."))) << row.Exe;
        EXPECT_EQ(row.Lookups, LogLines(dir.File("probe.log"), "DLLINTERFACE::GetFunction #14").size()) << row.Exe;
    }
}
