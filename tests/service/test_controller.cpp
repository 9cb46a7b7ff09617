// The real service.exe against Wine's real service control manager, hosting
// the real demo application. Every test uses a service name of its own and
// removes the service on every path.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    // A controller with the demo application and a service.cfg naming the
    // fixture's service. Its empty "AppRegKey" counts as present.
    class ControllerTest : public testing::Test, protected SERVICEDIR
    {
    protected:
        ControllerTest() : SERVICEDIR("E2E") {}
        using SERVICEDIR::Run;   // not testing::Test's
        void SetUp() override
        {
            ASSERT_EQ("", Copy({"service.exe", "demoapp.exe"}));
            WriteConfig(Name);
        }

        void WriteConfig(const std::string& name, const std::string& exe = "demoapp.exe")
        {
            WriteFile(Dir.File("service.cfg"), "// end-to-end test service\r\nAppName=" + name + "\r\nAppExe=" + exe +
                                                   "\r\nAppHelp=demo|1\r\nAppRegKey=\r\n"
                                                   "AppWinClass=TarniDemoAppWindow\r\n");
        }

        // Hosts the misbehaving probe under the name that picks its behaviour.
        void HostProbe(const std::string& mode)
        {
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\hostprobe.exe").c_str(), Dir.File(mode + ".exe").c_str(), FALSE));
            WriteConfig(Name, mode + ".exe");
        }

        bool WaitForState(DWORD state, int timeoutMs = 10000)
        {
            return WaitUntil([&] { return ServiceState(Name) == state; }, timeoutMs);
        }

        // Runs the controller expecting one box, which is answered with OK;
        // "title|text" of the box, and the exit code.
        std::string RunWithBox(const std::string& arguments, int* exitCode)
        {
            CHILD child;
            *exitCode = -2;
            if (!Start(child, arguments))
                return "<not started>";
            HWND box = WaitForWindow(child.Id(), "#32770", 20000);
            std::string seen = box ? Narrow(WindowText(box)) + "|" + Narrow(ControlText(box, 0xFFFF)) : "<no box>";
            if (box)
                PressButton(box, IDOK);
            *exitCode = child.Wait(20000);
            return seen;
        }

        // The demo application's log once it waits for its end.
        std::string DemoLog(const std::string& path = "")
        {
            std::string log = path.empty() ? Dir.File("demoapp.log") : path;
            WaitUntil([&] { return ReadTextFile(log).find("waiting for WM_QUIT") != std::string::npos; });
            return ReadTextFile(log);
        }
    };
}

TEST_F(ControllerTest, InstallWritesTheServiceSettingsOnce)
{
    ASSERT_EQ(0, Run("/install"));
    // Own process, interactive; automatic start; normal errors; the controller's own path, unquoted.
    EXPECT_EQ("272 2 1 LocalSystem " + Name + " " + Exe, ServiceSettings(Name));

    EXPECT_EQ(2, Run("/install"));
    EXPECT_EQ(0, Run("/uninstall"));
    EXPECT_EQ(0u, ServiceState(Name));
    EXPECT_EQ(3, Run("/uninstall"));
}

TEST_F(ControllerTest, StartRunsTheHostedApplicationAndStopEndsIt)
{
    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ(0, Run("/start"));
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
    std::string log = DemoLog();
    EXPECT_NE(std::string::npos, log.find("command line: \"" + Dir.File("demoapp.exe") + "\" /service\n")) << log;
    EXPECT_NE(std::string::npos, log.find("working directory: " + Dir.Path() + "\n")) << log;

    EXPECT_EQ(0, Run("/stop"));
    DWORD specific = 0;
    EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name, &specific)) << "/stop returns once the service stopped";
    EXPECT_EQ(1u, specific);
    EXPECT_NE(std::string::npos, DemoLog().find("end: WM_QUIT received"));
    EXPECT_EQ(0, Run("/uninstall"));
}

TEST_F(ControllerTest, VerbsOnAMissingServiceFailWithTheirCodes)
{
    EXPECT_EQ(7, Run("/stop"));
    EXPECT_EQ(6, Run("/start"));
    EXPECT_EQ(3, Run("/uninstall"));
    EXPECT_EQ(5, Run("")) << "no verb: the service is not installed";
    EXPECT_EQ(5, Run("/HELPME")) << "not the help verb: it falls through to the service path";
}

TEST_F(ControllerTest, NoVerbFromAConsoleCannotReachTheDispatcher)
{
    ASSERT_EQ(0, Run("/install"));
    EXPECT_EQ(4, Run(""));
    EXPECT_EQ(0, Run("/uninstall"));
}

TEST_F(ControllerTest, SyntaxBoxShowsTheVerbsForEveryHelpSpelling)
{
    for (const char* verb : {"/?", "/HELP", "-help"})
    {
        int code = 0;
        EXPECT_EQ("Tarni Service Controller|Syntax:\r\n\r\nservice /config\r\n\r\nservice /start\r\nservice /stop\r\n"
                  "service /install\r\nservice /uninstall\r\n",
                  RunWithBox(verb, &code))
            << verb;
        EXPECT_EQ(0, code) << verb;
    }
}

TEST_F(ControllerTest, AHostedProgramWithoutItsWindowKeepsTheServiceStopPendingUntilItEnds)
{
    HostProbe("nowindow");
    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ(0, Run("/start"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(Dir.File("nowindow.started")); }));
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
    ASSERT_TRUE(SendStop(Name));
    Sleep(1500);
    EXPECT_EQ((DWORD)SERVICE_STOP_PENDING, ServiceState(Name)) << "nothing can end a program without its window";
    WriteFile(Dir.File("quit.txt"), "");
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
    DWORD specific = 0;
    ServiceState(Name, &specific);
    EXPECT_EQ(1u, specific);
}

TEST_F(ControllerTest, AHostedProgramThatEndsByItselfOrCrashesStopsTheService)
{
    for (const char* mode : {"exits", "crashes"})
    {
        HostProbe(mode);
        ASSERT_EQ(0, Run("/install")) << mode;
        ASSERT_EQ(0, Run("/start")) << mode;
        ASSERT_TRUE(WaitUntil([&] { return FileExists(Dir.File(std::string(mode) + ".started")); })) << mode;
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << mode;
        DWORD specific = 0;
        ServiceState(Name, &specific);
        EXPECT_EQ(1u, specific) << mode;
        SendStop(Name);
        Sleep(300);
        EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name)) << mode << ": a later stop request changes nothing";
        EXPECT_EQ(0, Run("/uninstall")) << mode;
        ASSERT_TRUE(WaitForState(0)) << mode;
    }
}

TEST_F(ControllerTest, AMissingHostedProgramStopsTheServiceAtOnce)
{
    WriteConfig(Name, "missing.exe");
    ASSERT_EQ(0, Run("/install"));
    Run("/start");
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
    DWORD specific = 0;
    ServiceState(Name, &specific);
    EXPECT_EQ(1u, specific);
}

TEST_F(ControllerTest, LongNamesAreCutForInstallUninstallAndRunOnly)
{
    std::string full = Name + std::string(200 - Name.size(), 'n');
    Name = full.substr(0, 127);   // the service as the manager knows it; removed on every path
    WriteConfig(full);
    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name));
    EXPECT_EQ(6, Run("/start")) << "START uses the whole name";

    // Started under its first 127 characters, the service still finds its program.
    ASSERT_TRUE(StartServiceA(ServiceHandle(Name, SERVICE_START).get(), 0, 0));
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
    EXPECT_NE(std::string::npos, DemoLog().find("/service"));
    EXPECT_EQ(7, Run("/stop")) << "STOP uses the whole name";
    ASSERT_TRUE(SendStop(Name));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(0, Run("/uninstall"));
}

TEST_F(ControllerTest, AFolderWithBlanksIsRegisteredUnquoted)
{
    std::string folder = Dir.File("with blanks");
    CreateDirectoryA(folder.c_str(), 0);
    Exe = folder + "\\service.exe";
    ASSERT_TRUE(CopyFileA(Dir.File("service.exe").c_str(), Exe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(Dir.File("service.cfg").c_str(), (folder + "\\service.cfg").c_str(), FALSE));
    ASSERT_EQ(0, Run("/install"));
    EXPECT_EQ("272 2 1 LocalSystem " + Name + " " + Exe, ServiceSettings(Name));
}

TEST_F(ControllerTest, MissingOrIncompleteConfigurationsAreRefusedInEitherLanguage)
{
    const std::string complete = "AppName=" + Name + "\r\nAppExe=demoapp.exe\r\nAppHelp=demo|1\r\nAppRegKey=R\r\n"
                                 "AppWinClass=TarniDemoAppWindow\r\n";
    const char garbage[] = "\x01\xff" "\x00" "binary\x80" "=";
    std::vector<std::string> broken = {"", "", std::string(garbage, sizeof(garbage) - 1)};
    for (const char* key : {"AppName=", "AppExe=", "AppHelp=", "AppRegKey=", "AppWinClass="})
    {
        std::string text = complete;
        size_t at = text.find(key);
        text.erase(at, text.find("\r\n", at) + 2 - at);
        broken.push_back(text);
    }
    broken.push_back(complete.substr(0, complete.find("AppWinClass=")) + "AppWinClass=tarniDemoWindow\r\n");

    // The first case is a missing file.
    for (size_t i = 0; i < broken.size(); i++)
    {
        if (i == 0)
            DeleteFileA(Dir.File("service.cfg").c_str());
        else
            WriteFile(Dir.File("service.cfg"), broken[i]);
        for (bool german : {false, true})
        {
            int code = 0;
            EXPECT_EQ(german ? "Tarni Service Controller|Service.cfg nicht gefunden oder fehlerhaft."
                             : "Tarni Service Controller|Service.cfg not found or wrong.",
                      RunWithBox(std::string("/install /NOASSERT") + (german ? " /LANG:GER" : ""), &code))
                << "configuration " << i;
            EXPECT_EQ(100, code) << "configuration " << i;
        }
    }
    EXPECT_EQ(0u, ServiceState(Name)) << "nothing was installed";
}

TEST_F(ControllerTest, CfgOptionNamesAnotherFileWhenItExists)
{
    ASSERT_TRUE(MoveFileA(Dir.File("service.cfg").c_str(), Dir.File("other.cfg").c_str()));
    EXPECT_EQ(3, Run("/CFG:other.cfg /uninstall")) << "read other.cfg: the service is simply not installed";
    EXPECT_EQ(3, Run("\"/CFG:" + Dir.File("other.cfg") + "\" /uninstall")) << "an absolute name";
    ASSERT_TRUE(MoveFileA(Dir.File("other.cfg").c_str(), Dir.File("service.cfg").c_str()));
    EXPECT_EQ(3, Run("/CFG:missing.cfg /uninstall")) << "a missing file is ignored without a box";

    WriteFile(Dir.File("broken.cfg"), "AppName=" + Name + "\r\n");
    int code = 0;
    EXPECT_EQ("Tarni Service Controller|Service.cfg not found or wrong.", RunWithBox("/CFG:broken.cfg /install", &code));
    EXPECT_EQ(100, code);
}

TEST_F(ControllerTest, WindowsNinetyEightIsRefusedAfterAValidConfiguration)
{
    // The version is set for this one copy of the controller only.
    std::string program = "svc98x" + std::to_string(GetCurrentProcessId()) + ".exe";
    Exe = Dir.File(program);
    ASSERT_TRUE(CopyFileA(Dir.File("service.exe").c_str(), Exe.c_str(), FALSE));
    APPVERSION win98(program, "win98");
    // Boxes on such systems wrap at the first blank beyond column 55. Nothing
    // gets installed, so the names need not be this test's own.
    const struct { const char* Name; const char* Options; const char* Shown; } refusals[] = {
        {"Demo", "/install", "Demo Service|The Demo service can not be installed under Windows 95/98/ME."},
        {"Demo", "/install /LANG:GER",
         "Demo Service|Der Demo-Service kann unter Windows 95/98/ME nicht installiert\rwerden."},
        // The shortest name whose blank after "Windows" lies beyond column 55.
        {"DemoABCD", "/install", "DemoABCD Service|The DemoABCD service can not be installed under Windows\r95/98/ME."},
    };
    for (const auto& refusal : refusals)
    {
        WriteConfig(refusal.Name);
        int code = 0;
        EXPECT_EQ(refusal.Shown, RunWithBox(refusal.Options, &code));
        EXPECT_EQ(99, code);
        EXPECT_EQ(0u, ServiceState(refusal.Name));
    }

    // The file is checked first: an incomplete one gives its own box.
    WriteFile(Dir.File("service.cfg"), "AppName=" + Name + "\r\n");
    int code = 0;
    EXPECT_EQ("Tarni Service Controller|Service.cfg not found or wrong.", RunWithBox("/install", &code));
    EXPECT_EQ(100, code);
}

TEST_F(ControllerTest, InADevelopmentTreeTheHostedProgramRunsInTheTreesFolder)
{
    // tree\main.cpp marks a development tree; the programs sit in tree\Release
    // and the configuration in tree itself, where the frame looks for it.
    std::string release = Dir.File("Release");
    CreateDirectoryA(release.c_str(), 0);
    WriteFile(Dir.File("main.cpp"), "");
    for (const char* file : {"service.exe", "demoapp.exe"})
        ASSERT_TRUE(MoveFileA(Dir.File(file).c_str(), (release + "\\" + file).c_str()));
    Exe = release + "\\service.exe";

    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ(0, Run("/start"));
    std::string log = DemoLog(release + "\\demoapp.log");
    EXPECT_NE(std::string::npos, log.find("working directory: " + Dir.Path() + "\n")) << log;
    EXPECT_EQ(0, Run("/stop"));
    EXPECT_EQ(0, Run("/uninstall"));
}

// The service process reads its own "service.cfg". Nobody sees its windows,
// so a broken one must end it at once, without a box, with the reason in
// "assert.log" (beside service.exe: the frame works in the program's folder).
namespace
{
    class UnattendedServiceTest : public ControllerTest
    {
    protected:
        void SetUp() override
        {
            ControllerTest::SetUp();
            ASSERT_TRUE(CopyFileA(Dir.File("service.cfg").c_str(), Dir.File("good.cfg").c_str(), FALSE));
        }
        void TearDown() override { EndProcesses(ProcessesOf(Exe)); }

        void ClearAssertLogs() { DeleteFileA(Dir.File("assert.log").c_str()); }
        std::string AssertLogText() { return ReadTextFile(Dir.File("assert.log")); }
        // A box of the service process, if one is up.
        HWND ServiceBox()
        {
            for (DWORD id : ProcessesOf(Exe))
            {
                if (HWND box = WaitForWindow(id, "#32770", 0))
                    return box;
            }
            return 0;
        }
    };
}

TEST_F(UnattendedServiceTest, ABrokenConfigurationEndsTheServiceWithoutABoxAndAssertLogSaysWhy)
{
    const std::string complete = "AppName=" + Name + "\r\nAppExe=demoapp.exe\r\nAppHelp=demo|1\r\nAppRegKey=R\r\n"
                                 "AppWinClass=TarniDemoAppWindow\r\n";
    const std::string refused = "Message box not shown, answered OK:\nService.cfg not found or wrong.\n";
    const char garbage[] = "\x01\xff" "\x00" "binary\x80" "=";
    struct CASE
    {
        std::string Text;       // "-" : no file
        std::string Reason;     // besides the refusal
    };
    std::vector<CASE> cases = {{"-", ""}, {"", ""}, {std::string(garbage, sizeof(garbage) - 1), ""}};
    for (const char* key : {"AppName=", "AppExe=", "AppHelp=", "AppRegKey=", "AppWinClass="})
    {
        std::string text = complete;
        size_t at = text.find(key);
        text.erase(at, text.find("\r\n", at) + 2 - at);
        cases.push_back({text, ""});
    }
    std::string text = complete;
    text.replace(text.find("AppWinClass=Tarni"), 17, "AppWinClass=tarni");
    cases.push_back({text, ""});
    text = complete;
    text.replace(text.find("AppWinClass="), 12, "AppWinClass ");
    cases.push_back({text, "Condition: item.Find(\"=\")\n"});
    text = complete;
    text.replace(text.find("AppHelp=demo|1"), 14, "AppHelp=demo\\q|1");
    text.erase(text.find("AppRegKey=R\r\n"), 13);
    cases.push_back({text, "Add. Info: demo\\q|1\n"});

    ASSERT_EQ(0, Run("/CFG:good.cfg /install"));
    for (size_t i = 0; i < cases.size(); i++)
    {
        DeleteFileA(Dir.File("service.cfg").c_str());
        if (cases[i].Text != "-")
            WriteFile(Dir.File("service.cfg"), cases[i].Text);
        ClearAssertLogs();
        EXPECT_NE(0, Run("/CFG:good.cfg /start")) << "case " << i;
        bool ended = WaitUntil([&] { return ProcessesOf(Exe).empty() || ServiceBox(); }, 15000);
        EXPECT_EQ(nullptr, ServiceBox()) << "case " << i;
        EXPECT_TRUE(ended && ProcessesOf(Exe).empty()) << "case " << i << ": a service process is left";
        EndProcesses(ProcessesOf(Exe));
        EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name)) << "case " << i;
        std::string log = AssertLogText();
        EXPECT_NE(std::string::npos, log.find("--- Tarni Service Controller --- ")) << "case " << i << "\n" << log;
        EXPECT_NE(std::string::npos, log.find(refused)) << "case " << i << "\n" << log;
        EXPECT_NE(std::string::npos, log.find(cases[i].Reason)) << "case " << i << "\n" << log;
    }
    EXPECT_FALSE(FileExists(Dir.File("demoapp.log"))) << "no case reached the hosted program";
    EXPECT_EQ(0, Run("/CFG:good.cfg /uninstall"));
}

TEST_F(UnattendedServiceTest, AnAssertionWhileReadingTheConfigurationIsRecordedAndTheServiceRunsOn)
{
    // A single backslash in a value: the escape is reported, the value kept.
    std::string text = ReadTextFile(Dir.File("good.cfg"));
    text.replace(text.find("AppHelp=demo|1"), 14, "AppHelp=demo\\q|1");
    WriteFile(Dir.File("service.cfg"), text);
    ASSERT_EQ(0, Run("/CFG:good.cfg /install"));
    ASSERT_EQ(0, Run("/CFG:good.cfg /start"));
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
    EXPECT_NE(std::string::npos, DemoLog().find("/service"));
    EXPECT_EQ(1u, ProcessesOf(Exe).size()) << "the service process is found by its program";
    EXPECT_EQ(nullptr, ServiceBox());
    EXPECT_NE(std::string::npos, AssertLogText().find("Add. Info: demo\\q|1\n")) << AssertLogText();
    EXPECT_EQ(0, Run("/CFG:good.cfg /stop"));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name));
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(Exe).empty(); }));
    EXPECT_EQ(0, Run("/CFG:good.cfg /uninstall"));
}

namespace
{
    // The log's clock (seconds) and text of each "ServiceOperation <operation> returns" line.
    std::vector<std::pair<double, std::string>> Returns(const std::string& log, const std::string& operation)
    {
        std::vector<std::pair<double, std::string>> found;
        const std::string text = "ServiceOperation " + operation + " returns ";
        for (const std::string& line : SplitLines(ReadFile(log)))
        {
            size_t at = line.find(text);
            if (!line.empty() && line[0] == '[' && at != std::string::npos)
                found.push_back({atof(line.c_str() + 1), line.substr(at + text.size())});
        }
        return found;
    }
}

TEST_F(ControllerTest, StopWaitsWhileTheHostedProgramTakesItsTimeToEnd)
{
    HostProbe("slowquit");
    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ(0, Run("/start"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(Dir.File("slowquit.started")); }));
    std::string log = Dir.File("stop.log");
    EXPECT_EQ(0, Run("/stop /LOGIT:" + log));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name)) << "/stop returns only once the service stopped";
    auto stop = Returns(log, "STOP");
    auto queries = Returns(log, "QUERY_STATUS");
    ASSERT_EQ(1u, stop.size());
    ASSERT_GE(queries.size(), 2u);
    EXPECT_EQ("3", queries[0].second) << "stop pending first";
    EXPECT_EQ("1", queries.back().second);
    EXPECT_GE(queries.back().first - stop[0].first, 3.0) << "the program ends three seconds after WM_QUIT";
}

TEST_F(ControllerTest, StopGivesUpOnAProgramThatNeverEndsAfter21Queries)
{
    HostProbe("neverquits");
    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ(0, Run("/start"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(Dir.File("neverquits.started")); }));
    std::string log = Dir.File("stop.log");
    EXPECT_EQ(0, Run("/stop /LOGIT:" + log));
    auto queries = Returns(log, "QUERY_STATUS");
    ASSERT_EQ(21u, queries.size());
    for (const auto& query : queries)
        EXPECT_EQ("3", query.second);
    EXPECT_GE(queries.back().first - queries.front().first, 19.0) << "a query a second";
    WriteFile(Dir.File("quit.txt"), "");
    EXPECT_TRUE(WaitForState(SERVICE_STOPPED));
}

TEST_F(ControllerTest, TheFirstVerbInDispatchOrderDecides)
{
    // Each pair names the verb that must win first; nothing is installed by any of them.
    int code = 0;
    EXPECT_EQ("Tarni Service Controller|Syntax:\r\n\r\nservice /config\r\n\r\nservice /start\r\nservice /stop\r\n"
              "service /install\r\nservice /uninstall\r\n",
              RunWithBox("/install /?", &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(0u, ServiceState(Name)) << "help comes before install";
    EXPECT_EQ(3, Run("/start /uninstall")) << "uninstall comes before start";
    EXPECT_EQ(6, Run("/stop /start")) << "start comes before stop";
}
