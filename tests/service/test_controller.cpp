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
    struct SCCLOSE
    {
        void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
    };
    typedef std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, SCCLOSE> SCOWNER;

    SCOWNER OpenManager()
    {
        return SCOWNER(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
    }

    // State of the service, 0 when it cannot be read; the specific exit code too.
    DWORD ServiceState(const std::string& name, DWORD* specificExitCode = 0)
    {
        SCOWNER manager = OpenManager();
        SCOWNER service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS) : 0);
        SERVICE_STATUS status = {};
        if (!service || !QueryServiceStatus(service.get(), &status))
            return 0;
        if (specificExitCode)
            *specificExitCode = status.dwServiceSpecificExitCode;
        return status.dwCurrentState;
    }

    // The settings the service manager holds for a service; null when unreadable.
    class SERVICECONFIG
    {
    public:
        explicit SERVICECONFIG(const std::string& name)
        {
            SCOWNER manager = OpenManager();
            SCOWNER service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG) : 0);
            DWORD needed = 0;
            Valid = service && QueryServiceConfigA(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(Buffer),
                                                   sizeof(Buffer), &needed);
        }
        const QUERY_SERVICE_CONFIGA* Get() const
        {
            return Valid ? reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(Buffer) : 0;
        }

    private:
        alignas(8) char Buffer[8192];
        bool Valid = false;
    };

    bool WaitForState(const std::string& name, DWORD state, int timeoutMs)
    {
        for (int waited = 0; waited <= timeoutMs; waited += 100)
        {
            if (ServiceState(name) == state)
                return true;
            Sleep(100);
        }
        return false;
    }

    // A controller in a folder of its own with the demo application and a
    // service.cfg naming a service that no other test uses. Its empty
    // "AppRegKey" counts as present.
    class ControllerTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            static int counter = 0;
            Name = "TarniE2E" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++counter);
            Exe = Dir.File("service.exe");
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\..\\service\\service.exe").c_str(), Exe.c_str(), FALSE));
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\..\\service\\demoapp.exe").c_str(),
                                  Dir.File("demoapp.exe").c_str(), FALSE));
            WriteConfig(Name);
            Remove();
        }

        void TearDown() override { Remove(); }

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

        bool WaitForFile(const std::string& path, int timeoutMs)
        {
            for (int waited = 0; waited <= timeoutMs; waited += 100)
            {
                if (FileExists(path))
                    return true;
                Sleep(100);
            }
            return false;
        }

        bool SendStop()
        {
            SCOWNER manager = OpenManager();
            SCOWNER service(manager ? OpenServiceA(manager.get(), Name.c_str(), SERVICE_STOP) : 0);
            SERVICE_STATUS status;
            return service && ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        }

        // Stops and deletes the test's service, whatever state it is in.
        void Remove()
        {
            SCOWNER manager = OpenManager();
            SCOWNER service(manager ? OpenServiceA(manager.get(), Name.c_str(), SERVICE_ALL_ACCESS) : 0);
            if (!service)
                return;
            SERVICE_STATUS status;
            ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            DeleteService(service.get());
            service.reset();
            WaitForState(Name, 0, 10000);
        }

        int Run(const std::string& arguments, int timeoutMs = 60000)
        {
            CHILD child;
            if (!child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), {}, Exe))
                return -2;
            return child.Wait(timeoutMs);
        }

        // Runs the controller expecting one box, which is answered with OK;
        // "title|text" of the box, and the exit code.
        std::string RunWithBox(const std::string& arguments, int* exitCode)
        {
            CHILD child;
            *exitCode = -2;
            if (!child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), {}, Exe))
                return "<not started>";
            HWND box = WaitForWindow(child.Id(), "#32770", 20000);
            std::string seen = box ? Narrow(WindowText(box)) + "|" + Narrow(ControlText(box, 0xFFFF)) : "<no box>";
            if (box)
                PressButton(box, IDOK);
            *exitCode = child.Wait(20000);
            return seen;
        }

        std::string DemoLog() { return ReadTextFile(Dir.File("demoapp.log")); }

        TEMPDIR Dir{"ctl"};
        std::string Name;
        std::string Exe;
    };
}

TEST_F(ControllerTest, InstallWritesTheServiceSettingsOnce)
{
    ASSERT_EQ(0, Run("/install"));
    SERVICECONFIG settings(Name);
    const QUERY_SERVICE_CONFIGA* config = settings.Get();
    ASSERT_NE(nullptr, config);
    EXPECT_EQ(0x110u, config->dwServiceType);
    EXPECT_EQ(2u, config->dwStartType);
    EXPECT_EQ(1u, config->dwErrorControl);
    EXPECT_STREQ("LocalSystem", config->lpServiceStartName);
    EXPECT_EQ(Name, config->lpDisplayName);
    EXPECT_EQ(Exe, config->lpBinaryPathName) << "the controller's own path, unquoted";

    EXPECT_EQ(2, Run("/install"));
    EXPECT_EQ(0, Run("/uninstall"));
    EXPECT_EQ(0u, ServiceState(Name));
    EXPECT_EQ(3, Run("/uninstall"));
}

TEST_F(ControllerTest, StartRunsTheHostedApplicationAndStopEndsIt)
{
    ASSERT_EQ(0, Run("/install"));
    ASSERT_EQ(0, Run("/start"));
    ASSERT_TRUE(WaitForState(Name, SERVICE_RUNNING, 10000));
    for (int waited = 0; waited < 10000 && DemoLog().find("waiting for WM_QUIT") == std::string::npos; waited += 100)
        Sleep(100);
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
    ASSERT_TRUE(WaitForFile(Dir.File("nowindow.started"), 10000));
    ASSERT_TRUE(WaitForState(Name, SERVICE_RUNNING, 10000));
    ASSERT_TRUE(SendStop());
    Sleep(1500);
    EXPECT_EQ((DWORD)SERVICE_STOP_PENDING, ServiceState(Name)) << "nothing can end a program without its window";
    WriteFile(Dir.File("quit.txt"), "");
    ASSERT_TRUE(WaitForState(Name, SERVICE_STOPPED, 10000));
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
        ASSERT_TRUE(WaitForFile(Dir.File(std::string(mode) + ".started"), 10000)) << mode;
        ASSERT_TRUE(WaitForState(Name, SERVICE_STOPPED, 15000)) << mode;
        DWORD specific = 0;
        ServiceState(Name, &specific);
        EXPECT_EQ(1u, specific) << mode;
        SendStop();
        Sleep(300);
        EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(Name)) << mode << ": a later stop request changes nothing";
        EXPECT_EQ(0, Run("/uninstall")) << mode;
        ASSERT_TRUE(WaitForState(Name, 0, 10000)) << mode;
    }
}

TEST_F(ControllerTest, AMissingHostedProgramStopsTheServiceAtOnce)
{
    WriteConfig(Name, "missing.exe");
    ASSERT_EQ(0, Run("/install"));
    Run("/start");
    ASSERT_TRUE(WaitForState(Name, SERVICE_STOPPED, 10000));
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
    {
        SCOWNER manager = OpenManager();
        SCOWNER service(OpenServiceA(manager.get(), Name.c_str(), SERVICE_START));
        ASSERT_TRUE(service && StartServiceA(service.get(), 0, 0));
    }
    ASSERT_TRUE(WaitForState(Name, SERVICE_RUNNING, 10000));
    for (int waited = 0; waited < 10000 && DemoLog().find("waiting for WM_QUIT") == std::string::npos; waited += 100)
        Sleep(100);
    EXPECT_NE(std::string::npos, DemoLog().find("/service"));
    EXPECT_EQ(7, Run("/stop")) << "STOP uses the whole name";
    ASSERT_TRUE(SendStop());
    ASSERT_TRUE(WaitForState(Name, SERVICE_STOPPED, 10000));
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
    SERVICECONFIG settings(Name);
    ASSERT_NE(nullptr, settings.Get());
    EXPECT_EQ(Exe, settings.Get()->lpBinaryPathName);
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
    // Boxes on such systems wrap at column 55. Nothing gets installed, so the
    // name need not be this test's own.
    WriteConfig("Demo");
    const std::string refusals[] = {
        "Demo Service|The Demo service can not be installed under Windows 95/98/ME.",
        "Demo Service|Der Demo-Service kann unter Windows 95/98/ME nicht installiert\rwerden.",
    };
    for (int german = 0; german < 2; german++)
    {
        int code = 0;
        EXPECT_EQ(refusals[german], RunWithBox(german ? "/install /LANG:GER" : "/install", &code));
        EXPECT_EQ(99, code);
    }
    EXPECT_EQ(0u, ServiceState("Demo"));

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
    std::string log = release + "\\demoapp.log";
    for (int waited = 0; waited < 10000 && ReadTextFile(log).find("waiting for WM_QUIT") == std::string::npos; waited += 100)
        Sleep(100);
    EXPECT_NE(std::string::npos, ReadTextFile(log).find("working directory: " + Dir.Path() + "\n")) << ReadTextFile(log);
    EXPECT_EQ(0, Run("/stop"));
    EXPECT_EQ(0, Run("/uninstall"));
}
