// The help file: topic ids read beside it, mappings, topics shown through the
// HTML Help control (or a recording stand-in for it), and the probe program
// for what ends or belongs to a whole process.

#include <gtest/gtest.h>

#include <windows.h>
#include <htmlhelp.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/tarni_win32.h"
#include "framework/windows/helpfile.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    struct CALL
    {
        UINT Command;
        std::string File;
        DWORD_PTR Data;
    };
    std::vector<CALL> gCalls;
    DWORD gCookie = 0x4711;   // what HH_INITIALIZE hands out
    HWND gAnswer = 0;

    HWND WINAPI RecordingHtmlHelp(HWND, const char* file, UINT command, DWORD_PTR data)
    {
        gCalls.push_back({command, file ? file : "", data});
        if (command == HH_INITIALIZE)
            *reinterpret_cast<DWORD*>(data) = gCookie;
        return gAnswer;
    }

    std::string DemoHelp(const std::string& language)
    {
        return SelfDirectory() + "\\..\\service\\demoapp" + language + ".chm";
    }

    std::vector<std::string> Topics()
    {
        std::vector<std::string> topics;
        for (int i = 0; i < HELPFILE::Get().Topics().Count(); i++)
            topics.push_back(HELPFILE::Get().Topics().Text(i));
        return topics;
    }

    HWND HelpWindow(int timeoutMs)
    {
        return WaitForWindow(GetCurrentProcessId(), "HH Parent", timeoutMs);
    }

    class HELP : public testing::Test
    {
    protected:
        void SetUp() override { Restart(true); }
        void TearDown() override
        {
            for (HWND window; (window = HelpWindow(0)) != 0;)
                SendMessageA(window, WM_CLOSE, 0, 0);
            HELPFILE::SetHtmlHelpHook(0);
            HELPFILE::Release();
        }
        void Restart(bool hook)
        {
            HELPFILE::Release();
            HELPFILE::SetHtmlHelpHook(hook ? RecordingHtmlHelp : 0);
            gCalls.clear();
            gCookie = 0x4711;
            gAnswer = 0;
        }
        // A help file "name.chm" whose topic-id files have the given contents (null: none).
        std::string Help(const std::string& name, const char* ids, const char* cnt = nullptr)
        {
            if (ids)
                WriteFile(Dir.File(name + ".ids"), ids);
            if (cnt)
                WriteFile(Dir.File(name + ".cnt"), cnt);
            return Dir.File(name + ".chm");
        }
        TEMPDIR Dir{"help"};
    };
}

TEST_F(HELP, ReadsTheTopicIdsOfTheDemoHelp)
{
    HELPFILE::Get().SetFilename(DemoHelp("english").c_str(), true);
    EXPECT_EQ((std::vector<std::string>{"1000", "1001", "1002"}), Topics());   // "1001 Install and uninstall"
    EXPECT_TRUE(HELPFILE::Get().Available());
    ASSERT_EQ(1u, gCalls.size());
    EXPECT_EQ((UINT)HH_INITIALIZE, gCalls[0].Command);
}

TEST_F(HELP, TopicIdLinesGiveTheFirstWordAfterTheFirstEquals)
{
    const std::string longLine = "x=7 " + std::string(507, 'a') + "y=8 " + std::string(84, 'b') + "\n";
    const struct
    {
        std::string Ids;   // empty: no "ids" file
        const char* Cnt;
        std::vector<std::string> Topics;
    } rows[] = {
        {"a=1\nb=2 words after\n", nullptr, {"1", "2"}},
        {"1001 two words\nx=1=2\n", nullptr, {"1001", "1=2"}},
        {"a=1\r\n\r\nb=2", nullptr, {"1", "", "2"}},   // CR LF, an empty line, no final break
        {longLine, nullptr, {"7", "8"}},                 // read in pieces of 511 bytes
        {"", "c=5\n", {"5"}},
        {"i=1\n", "c=5\n", {"1"}},
    };
    int n = 0;
    for (const auto& row : rows)
    {
        Restart(true);
        std::string file = Help("ids" + std::to_string(++n), row.Ids.empty() ? nullptr : row.Ids.c_str(), row.Cnt);
        HELPFILE::Get().SetFilename(file.c_str(), true);
        EXPECT_EQ(row.Topics, Topics()) << row.Ids;
    }
}

TEST_F(HELP, ASecondFileAddsItsTopics)
{
    HELPFILE::Get().SetFilename(Help("one", "a=1\n").c_str(), true);
    HELPFILE::Get().SetFilename(Help("two", "b=2\n").c_str(), false);
    EXPECT_EQ((std::vector<std::string>{"1", "2"}), Topics());
    EXPECT_EQ(Dir.File("two.chm"), HELPFILE::Get().GetFilename().Text());
    EXPECT_EQ(1u, gCalls.size()) << "Windows help does not initialise HTML Help";
}

TEST_F(HELP, ShowsListedTopicsAfterMapping)
{
    HELPFILE& help = HELPFILE::Get();
    help.SetFilename(DemoHelp("english").c_str(), true);
    help.AddMapping(5, 1001);
    help.AddMapping(6, 999);
    help.AddMapping(7, 999);
    help.AddMapping(7, 1002);
    gAnswer = reinterpret_cast<HWND>(0x1234);
    const struct
    {
        int Id;
        const char* Topic;   // null: not shown
    } rows[] = {{1000, "1000"}, {999, nullptr}, {5, "1001"}, {6, nullptr}, {7, "1002"}, {-1, nullptr}};
    for (const auto& row : rows)
    {
        gCalls.clear();
        EXPECT_EQ(row.Topic != nullptr, help.ShowTopic(row.Id)) << row.Id;
        ASSERT_EQ(row.Topic ? 1u : 0u, gCalls.size()) << row.Id;
        if (row.Topic)
        {
            EXPECT_EQ(DemoHelp("english") + "::html/topic-" + row.Topic + ".html", gCalls[0].File);
            EXPECT_EQ((UINT)HH_DISPLAY_TOPIC, gCalls[0].Command);
        }
    }
    EXPECT_EQ(gAnswer, help.GetHelpWindow());
}

TEST_F(HELP, The129thMappingIsRefused)
{
    HELPFILE& help = HELPFILE::Get();
    help.SetFilename(DemoHelp("english").c_str(), true);
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
    EXPECT_EQ(DemoHelp("english") + "::html/topic-1002.html", gCalls.back().File);
}

TEST_F(HELP, PreTranslatesOnlyOnTheMainThreadWithACookie)
{
    const uint32_t mainThread = gMainThreadId;
    gMainThreadId = GetCurrentThreadId();
    const struct
    {
        DWORD Cookie;
        bool OtherThread;
        HWND Answer;
        bool Taken;
        bool Called;
    } rows[] = {
        {0x4711, false, reinterpret_cast<HWND>(1), true, true},
        {0x4711, false, 0, false, true},
        {0x4711, true, reinterpret_cast<HWND>(1), false, false},
        {0, false, reinterpret_cast<HWND>(1), false, false},
    };
    for (const auto& row : rows)
    {
        Restart(true);
        gCookie = row.Cookie;
        HELPFILE::Get().SetFilename(DemoHelp("english").c_str(), true);
        gCalls.clear();
        gAnswer = row.Answer;
        MSG message = {};
        bool taken = true;
        if (row.OtherThread)
            std::thread([&] { taken = HELPFILE::Get().PreTranslate(&message); }).join();
        else
            taken = HELPFILE::Get().PreTranslate(&message);
        EXPECT_EQ(row.Taken, taken) << row.Cookie << row.OtherThread;
        ASSERT_EQ(row.Called ? 1u : 0u, gCalls.size());
        if (row.Called)
        {
            EXPECT_EQ(reinterpret_cast<DWORD_PTR>(&message), gCalls[0].Data);
        }
    }
    gMainThreadId = mainThread;
}

TEST_F(HELP, DeletionClosesTheHtmlHelp)
{
    HELPFILE::Get().SetFilename(DemoHelp("english").c_str(), true);
    HELPFILE::Release();
    ASSERT_EQ(2u, gCalls.size());
    EXPECT_EQ((UINT)HH_UNINITIALIZE, gCalls[1].Command);
    EXPECT_EQ(0x4711u, gCalls[1].Data);
    HELPFILE::Get();
    HELPFILE::Release();
    EXPECT_EQ(2u, gCalls.size()) << "no file, nothing to close";
}

TEST_F(HELP, AListedTopicOpensTheHtmlHelpWindow)
{
    Restart(false);
    HELPFILE& help = HELPFILE::Get();
    help.SetFilename(DemoHelp("english").c_str(), true);
    EXPECT_FALSE(help.ShowTopic(1003));
    EXPECT_EQ(nullptr, HelpWindow(500));
    EXPECT_TRUE(help.ShowTopic(1000));
    HWND window = HelpWindow(10000);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, help.GetHelpWindow());
}

TEST_F(HELP, ACorruptHelpFileShowsNothingQuietly)
{
    Restart(false);
    std::string file = Help("corrupt", "x=1\n");
    WriteFile(file, "ITSF" + std::string(300, '\x7f'));
    HELPFILE& help = HELPFILE::Get();
    help.SetFilename(file.c_str(), true);
    EXPECT_TRUE(help.ShowTopic(1));
    EXPECT_EQ(nullptr, help.GetHelpWindow());
}

namespace
{
    // The probe, copied under a name of its own, run on a help file in a folder of its own.
    class HELPPROBE
    {
    public:
        explicit HELPPROBE(const std::string& folder = "help", const std::string& exe = "helpprobe.exe")
            : Folder(Dir.File(folder)), Exe(Dir.File(exe))
        {
            CreateDirectoryA(Folder.c_str(), 0);
            EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\helpprobe.exe").c_str(), Exe.c_str(), FALSE));
        }
        bool Start(const std::string& arguments)
        {
            return Child.Start("\"" + Exe + "\" \"/LOGIT:" + Log() + "\" " + arguments, Dir.Path());
        }
        std::string Log() const { return Dir.File("probe.log"); }
        // The log's lines that begin with prefix, without their time stamps and indentation.
        std::vector<std::string> LogLines(const std::string& prefix)
        {
            std::vector<std::string> lines;
            for (std::string line : SplitLines(ReadFile(Log())))
            {
                size_t header = line.find("] ");
                if (header == std::string::npos)
                    continue;
                line.erase(0, header + 2);
                while (line.compare(0, 2, "| ") == 0)
                    line.erase(0, 2);
                if (line.compare(0, prefix.size(), prefix) == 0)
                    lines.push_back(line);
            }
            return lines;
        }
        TEMPDIR Dir{"helpprobe"};
        std::string Folder;
        std::string Exe;
        CHILD Child;
    };

    // Wine loads no HTML Help control into a program of this name while in scope.
    class NOHELPCONTROL
    {
    public:
        explicit NOHELPCONTROL(const std::string& program)
            : Key("Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides")
        {
            RegSetKeyValueA(HKEY_CURRENT_USER, Key.c_str(), "hhctrl.ocx", REG_SZ, "", 1);
        }
        ~NOHELPCONTROL() { RegDeleteTreeA(HKEY_CURRENT_USER, Key.substr(0, Key.rfind('\\')).c_str()); }

    private:
        std::string Key;
    };
}

TEST(HelpProbe, AMissingTopicListEndsTheProgramAfterSayingSo)
{
    const struct
    {
        const char* Folder;
        std::wstring Text;
    } rows[] = {
        {"help",
         L"The application failed to load necessary files (helpfile content, resources etc.), which are located "
         L"inside the application folder.\r\rThis problem can occur, if the application exe file was moved outside "
         L"its application folder and was started from there, or if some files were deleted from the application "
         L"folder.\r\rOr, maybe you have copied/moved the application exe file when you tried to create a shortcut "
         L"link to the application.\r\rThe pathname which was tried to access, and which is missing, is:\r\r"},
        {"demogerman",
         L"Die Anwendung konnte notwendige Dateien (Hilfedateien, Ressourcen etc.), welche sich innerhalb des "
         L"Anwendungsordners befinden, nicht laden.\r\rDieses Problem tritt \u00fcblicherweise auf, wenn die "
         L"exe-Datei der Anwendung au\u00dferhalb des Anwendungsordners kopiert wurde, und von dort gestartet "
         L"wird, oder wenn Dateien aus dem Anwendungsordner gel\u00f6scht wurden.\r\rEventuell wurde auch die "
         L"exe-Datei der Anwendung beim Versuch, eine Verkn\u00fcpfung zu erstellen, aus dem Anwendungsordner "
         L"bewegt oder kopiert.\r\rDer Dateipfad, auf den zugegriffen wurde, der aber nicht vorhanden ist, "
         L"lautet:\r\r"},
    };
    for (const auto& row : rows)
    {
        HELPPROBE probe(row.Folder);
        ASSERT_TRUE(probe.Start("/FILE:" + probe.Folder + "\\demo.chm"));
        HWND box = WaitForWindow(probe.Child.Id(), "#32770", 20000);
        ASSERT_NE(nullptr, box) << row.Folder;
        std::string missing = probe.Folder + "\\demo.cnt";
        EXPECT_EQ(L"Tarni Application", WindowText(box));
        EXPECT_EQ(row.Text + std::wstring(missing.begin(), missing.end()), ControlText(box, 0xFFFF));
        EXPECT_TRUE(PressButton(box, IDOK));
        EXPECT_EQ(99, probe.Child.Wait(20000)) << row.Folder;
    }
}

TEST(HelpProbe, NoHelpLooksForNoFile)
{
    HELPPROBE probe;
    ASSERT_TRUE(probe.Start("/NOHELP /FILE:" + probe.Folder + "\\demo.chm"));
    EXPECT_EQ(10, probe.Child.Wait(20000)) << "no box, not available";
}

TEST(HelpProbe, TheFrameDeletesTheHelpAtTheEnd)
{
    HELPPROBE probe;
    ASSERT_TRUE(probe.Start("/FILE:" + DemoHelp("english")));
    EXPECT_EQ(11, probe.Child.Wait(20000));
    const std::vector<std::string> expected = {"HELPFILE::HELPFILE", "HELPFILE::HELPFILE done", "Over and out.",
                                               "HELPFILE::~HELPFILE", "HELPFILE::~HELPFILE done"};
    std::vector<std::string> lines;
    for (const std::string& line : probe.LogLines(""))
        if (std::find(expected.begin(), expected.end(), line) != expected.end())
            lines.push_back(line);
    EXPECT_EQ(expected, lines);
}

TEST(HelpProbe, WithoutTheControlEveryCallAnswersNothing)
{
    NOHELPCONTROL disabled("nohelpcontrol.exe");
    HELPPROBE probe("help", "nohelpcontrol.exe");
    ASSERT_TRUE(probe.Start("/FILE:" + DemoHelp("english") + " /TOPIC:1000"));
    EXPECT_EQ(11, probe.Child.Wait(20000)) << "available, no window";
    EXPECT_EQ(1u, probe.LogLines("DLLINTERFACE::GetFunction #14").size()) << "one attempt";
}

namespace
{
    const char* const ControlKey = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

    // The registered path of the help control, given back when the object goes.
    class CONTROLPATH
    {
    public:
        CONTROLPATH()
        {
            DWORD size = sizeof(Saved);
            Had = RegGetValueA(HKEY_CLASSES_ROOT, ControlKey, 0, RRF_RT_ANY | RRF_NOEXPAND, &Type, Saved, &size) ==
                  ERROR_SUCCESS;
            Size = size;
        }
        ~CONTROLPATH()
        {
            if (Had)
                Set(Type, std::string(Saved, Size));
        }
        static bool Set(DWORD type, const std::string& data)
        {
            return RegSetKeyValueA(HKEY_CLASSES_ROOT, ControlKey, 0, type, data.data(), (DWORD)data.size()) ==
                   ERROR_SUCCESS;
        }

    private:
        bool Had = false;
        DWORD Type = 0;
        char Saved[1024] = {};
        DWORD Size = 0;
    };
}

TEST_F(HELP, TheControlIsLoadedFromItsRegisteredPathWhenThatIsUsable)
{
    CONTROLPATH restore;
    const std::string system = "C:\\windows\\system32\\hhctrl.ocx";
    const struct
    {
        DWORD Type;
        std::string Data;
        std::string Loaded;
    } rows[] = {
        {REG_SZ, system + '\0', system},
        {REG_EXPAND_SZ, std::string("%SystemRoot%\\system32\\hhctrl.ocx") + '\0', system},
        {REG_DWORD, std::string("\x01\0\0\0", 4), "hhctrl.ocx"},
        {REG_SZ, "C:\\" + std::string(MAX_PATH, 'x') + '\0', "hhctrl.ocx"},
        {REG_SZ, std::string("C:\\missing\\hhctrl.ocx") + '\0', "hhctrl.ocx"},
    };
    for (const auto& row : rows)
    {
        Restart(false);
        ASSERT_TRUE(CONTROLPATH::Set(row.Type, row.Data));
        LOGCAPTURE log(0);
        HELPFILE::Get().SetFilename(DemoHelp("english").c_str(), true);
        std::vector<std::string> loads = log.Lines("DLLINTERFACE::Load ");
        ASSERT_GE(loads.size(), 2u);
        EXPECT_EQ("DLLINTERFACE::Load " + row.Loaded + " <NULL>", loads[loads.size() - 2]) << row.Type;
        EXPECT_EQ("DLLINTERFACE::Load returns 1", loads.back()) << row.Type;
    }
}
