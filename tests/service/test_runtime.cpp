#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "service/serviceconfig.h"
#include "service/servicewrapper.h"
#include "tests/support/testsupport.h"

namespace
{
    struct REPORT
    {
        DWORD State;
        DWORD SpecificExit;
        SERVICE_STATUS_HANDLE Handle;
        DWORD ControlsAccepted;
    };

    // The fake service manager: records what the wrapper tells it and runs the
    // service main function on a thread of its own, as the real one does.
    SERVICE_STATUS_HANDLE const gStatusHandle = (SERVICE_STATUS_HANDLE)(uintptr_t)0x5A5A;
    std::mutex gMutex;
    std::condition_variable gChanged;
    std::vector<REPORT> gReports;
    std::string gTableName;
    std::string gRegisteredName;
    LPHANDLER_FUNCTION gHandler;
    bool gRegisterFails;
    void (*gDispatcherWork)();
    bool gSlowStoppedReport;

    BOOL WINAPI FakeStartDispatcher(const SERVICE_TABLE_ENTRYA* table)
    {
        if (table[1].lpServiceName || table[1].lpServiceProc)
            return FALSE;
        gTableName = table[0].lpServiceName;
        LPSERVICE_MAIN_FUNCTIONA serviceMain = table[0].lpServiceProc;
        std::thread service([serviceMain] { serviceMain(0, nullptr); });
        if (gDispatcherWork)
            gDispatcherWork();
        service.join();
        return TRUE;
    }

    SERVICE_STATUS_HANDLE WINAPI FakeRegisterHandler(LPCSTR name, LPHANDLER_FUNCTION handler)
    {
        gRegisteredName = name;
        gHandler = handler;
        return gRegisterFails ? 0 : gStatusHandle;
    }

    BOOL WINAPI FakeSetStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
    {
        {
            std::lock_guard<std::mutex> lock(gMutex);
            gReports.push_back({status->dwCurrentState, status->dwServiceSpecificExitCode, handle,
                                status->dwControlsAccepted});
            gChanged.notify_all();
        }
        if (gSlowStoppedReport && status->dwCurrentState == SERVICE_STOPPED)
            Sleep(200);
        return TRUE;
    }

    void WaitForState(DWORD state)
    {
        std::unique_lock<std::mutex> lock(gMutex);
        gChanged.wait(lock, [state] {
            for (const REPORT& r : gReports)
                if (r.State == state)
                    return true;
            return false;
        });
    }

    // As the real manager may: returns once stopped is reported, while the
    // service main function has not yet returned.
    std::atomic<bool> gMainReturned;
    BOOL WINAPI EarlyReturningDispatcher(const SERVICE_TABLE_ENTRYA* table)
    {
        LPSERVICE_MAIN_FUNCTIONA serviceMain = table[0].lpServiceProc;
        gMainReturned = false;
        std::thread([serviceMain] {
            serviceMain(0, nullptr);
            gMainReturned = true;
        }).detach();
        WaitForState(SERVICE_STOPPED);
        return TRUE;
    }

    // A service whose work is a hosted program that ends when Ended is set.
    class TESTSERVICE : public SERVICEWRAPPER
    {
    public:
        explicit TESTSERVICE(const char* name, bool initOk = true)
            : SERVICEWRAPPER(GetModuleHandleA(0), name, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN), InitOk(initOk)
        {
        }
        void Run(int mode) override
        {
            RunCalls++;
            Ended.Wait();
        }
        bool OnInit() override { return InitOk; }
        void OnStop() override { Ended.Set(); }

        static EVENTSEM Ended;
        int RunCalls = 0;
        bool InitOk;
    };
    EVENTSEM TESTSERVICE::Ended;

    class SERVICERUNTIME : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            static const SERVICECALLS calls = {FakeStartDispatcher, FakeRegisterHandler, FakeSetStatus};
            SERVICEWRAPPER::SetServiceCalls(&calls);
            gReports.clear();
            gHandler = nullptr;
            gRegisterFails = false;
            gDispatcherWork = nullptr;
            gSlowStoppedReport = false;
            TESTSERVICE::Ended.Reset();
        }
        void TearDown() override { SERVICEWRAPPER::SetServiceCalls(nullptr); }
    };

    std::vector<DWORD> States()
    {
        std::vector<DWORD> states;
        for (const REPORT& r : gReports)
            states.push_back(r.State);
        return states;
    }
}

TEST_F(SERVICERUNTIME, StopRacingTheProgramEndReportsStoppedOnceAndLast)
{
    gDispatcherWork = [] {
        WaitForState(SERVICE_RUNNING);
        // The hosted program ends on the service thread while the stop
        // request arrives on this one.
        TESTSERVICE::Ended.Set();
        gHandler(SERVICE_CONTROL_STOP);
    };
    for (int round = 0; round < 200; round++)
    {
        SCOPED_TRACE(round);
        gReports.clear();
        TESTSERVICE::Ended.Reset();
        TESTSERVICE service("RaceService");
        ASSERT_TRUE(service.StartDispatcher());
        EXPECT_EQ(1, service.RunCalls);
        std::vector<DWORD> states = States();
        ASSERT_GE(states.size(), 3u);
        EXPECT_EQ((DWORD)SERVICE_START_PENDING, states[0]);
        EXPECT_EQ((DWORD)SERVICE_RUNNING, states[1]);
        // Any number of stop-pending reports, then stopped once and last.
        for (size_t i = 2; i < states.size(); i++)
            EXPECT_EQ((DWORD)(i + 1 < states.size() ? SERVICE_STOP_PENDING : SERVICE_STOPPED), states[i]);
        for (const REPORT& r : gReports)
            EXPECT_EQ(gStatusHandle, r.Handle);
        EXPECT_EQ(1u, gReports.back().SpecificExit);
        if (HasFailure())
            break;
    }
}

// The dispatcher's own failure is proven by the controller run from a console.
TEST_F(SERVICERUNTIME, FailedInitReportsStoppedAndAFailedRegistrationNothingAndNeitherRuns)
{
    for (bool registerFails : {false, true})
    {
        gReports.clear();
        gRegisterFails = registerFails;
        TESTSERVICE service("InitFails", false);
        ASSERT_TRUE(service.StartDispatcher());
        EXPECT_EQ(0, service.RunCalls);
        if (registerFails)
            EXPECT_TRUE(gReports.empty());
        else
            EXPECT_EQ((std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_STOPPED}), States());
    }
}

TEST_F(SERVICERUNTIME, DispatcherReturnsOnlyOnceServiceMainHasLetGoOfTheService)
{
    static const SERVICECALLS early = {EarlyReturningDispatcher, FakeRegisterHandler, FakeSetStatus};
    SERVICEWRAPPER::SetServiceCalls(&early);
    gSlowStoppedReport = true;
    for (bool initOk : {false, true})
    {
        gDispatcherWork = nullptr;
        gReports.clear();
        TESTSERVICE::Ended.Set();
        TESTSERVICE service("EarlyReturn", initOk);
        EXPECT_TRUE(service.StartDispatcher());
        EXPECT_TRUE(gMainReturned) << "init ok " << initOk;
        // Whatever happened, the service thread must be done before the object goes.
        while (!gMainReturned)
            Sleep(10);
    }
}

TEST_F(SERVICERUNTIME, LongNamesAreCutTo127CharactersForTheDispatcher)
{
    std::string name(200, 'n');
    gDispatcherWork = [] { TESTSERVICE::Ended.Set(); };
    TESTSERVICE service(name.c_str());
    ASSERT_TRUE(service.StartDispatcher());
    EXPECT_EQ(name.substr(0, 127), gTableName);
    EXPECT_EQ(name.substr(0, 127), gRegisteredName);
}

TEST_F(SERVICERUNTIME, ShutdownPostsWmQuitToTheHostedWindowAndEveryReportAcceptsIt)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.lpszClassName = "TarniRuntimeShutdownProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA(windowClass.lpszClassName, "", 0, 0, 0, 10, 10, 0, 0, windowClass.hInstance, 0);
    ASSERT_TRUE(window != 0);
    TESTSUPPORT::ATEND destroy{[window] { DestroyWindow(window); }};
    // The hosted program is missing: the service stops on its own, the
    // shutdown request still reaches the window.
    gDispatcherWork = [] {
        WaitForState(SERVICE_RUNNING);
        gHandler(SERVICE_CONTROL_SHUTDOWN);
    };
    SERVICELAUNCHER launcher(GetModuleHandleA(0), "ShutdownService", windowClass.lpszClassName, "missing-program.exe");
    ASSERT_TRUE(launcher.StartDispatcher());
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(window, message.hwnd);
    ASSERT_FALSE(gReports.empty());
    for (const REPORT& r : gReports)
        EXPECT_EQ((DWORD)(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN), r.ControlsAccepted) << r.State;
}

// Development layout: a build folder beside main.cpp runs the program in the folder above.
TEST(SERVICELAUNCHERTEST, WorkingDirectoryCutsTheBuildFolderOnlyBesideMainCpp)
{
    TESTSUPPORT::TEMPDIR tree("dev");
    for (bool marked : {false, true})
    {
        if (marked)
        {
            ASSERT_TRUE(TESTSUPPORT::WriteFile(tree.File("main.cpp"), ""));
        }
        for (const char* build : {"\\Release", "\\Debug"})
        {
            std::string dir = tree.Path() + build;
            EXPECT_STREQ((marked ? tree.Path() : dir).c_str(), SERVICELAUNCHER::WorkingDirectory(dir.c_str()).Text())
                << build << " marked " << marked;
        }
        EXPECT_STREQ(tree.File("Bin").c_str(), SERVICELAUNCHER::WorkingDirectory(tree.File("Bin").c_str()).Text());
    }
}

// The boxes and exit codes of a wrong file are proven on the real controller;
// what a good file leaves in the store is seen here.
TEST(SERVICECONFIGTEST, AdvGuiDefaultsToZeroAndAnEmptyValueCounts)
{
    struct RESTORE
    {
        STRINGARRAY Saved{TARNIAPP::Arguments()};
        ~RESTORE() { TARNIAPP::Arguments() = Saved; }
    } restore;
    TESTSUPPORT::TEMPDIR dir("cfg");
    const std::string complete = "AppName=A\nAppExe=a.exe\nAppHelp=a|1\nAppRegKey=\nAppWinClass=TarniA\n";
    const struct { const char* Extra; const char* AdvGui; } rows[] = {{"", "0"}, {"ADVGUI=1\n", "1"}};
    for (const auto& row : rows)
    {
        ASSERT_TRUE(TESTSUPPORT::WriteFile(dir.File("service.cfg"), complete + row.Extra));
        TARNIAPP::Arguments().DeleteAll();
        TARNIAPP::Arguments().AddItem(STRING(("/CFG:" + dir.File("service.cfg")).c_str()));
        EXPECT_EQ(0, SERVICECONFIG::Load()) << row.Extra;
        EXPECT_STREQ(row.AdvGui, SERVICECONFIG::Value("ADVGUI").Text()) << row.Extra;
        EXPECT_STREQ("", SERVICECONFIG::Value("AppRegKey").Text());
        EXPECT_STREQ("TarniA", SERVICECONFIG::Value("AppWinClass").Text());
    }
}

TEST(SERVICEPROCESS, RunsAsServiceWhenStartedByTheManagerOrOnAnInvisibleStation)
{
    // Every parent against every window station answer (1 visible, 0 not, -1 unknown).
    const struct
    {
        const char* Parent;
        bool Service[3];   // for stationVisible 1, 0, -1
    } rows[] = {
        {"services.exe", {true, true, true}},
        {"SERVICES.EXE", {true, true, true}},
        {"explorer.exe", {false, true, false}},
        {"service.exe", {false, true, false}},
        {"myservices.exe", {false, true, false}},
        {"services.exe.bak", {false, true, false}},
        {"", {false, true, false}},
        {nullptr, {false, true, false}},
    };
    const int stations[3] = {1, 0, -1};
    for (const auto& row : rows)
    {
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(row.Service[i], SERVICEWRAPPER::RunsAsService(row.Parent, stations[i]))
                << (row.Parent ? row.Parent : "<null>") << " station " << stations[i];
    }
}

TEST(SERVICEPROCESS, DISABLED_ChildOfTheTestProgram)
{
    std::string self = TESTSUPPORT::SelfPath();
    EXPECT_EQ(self.substr(self.rfind('\\') + 1), OSYS::ParentProcessImage().Text());
    EXPECT_EQ(1, OSYS::WindowStationVisible()) << "the desktop's window station";
}

TEST(SERVICEPROCESS, AProgramStartedByAnotherIsNotAService)
{
    EXPECT_EQ(0, TESTSUPPORT::RunDisabledTest("SERVICEPROCESS.DISABLED_ChildOfTheTestProgram"));
}
