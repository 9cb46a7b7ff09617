#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/tarni_win32.h"
#include "service/serviceconfig.h"
#include "service/serviceops.h"
#include "service/servicewrapper.h"
#include "tests/support/testsupport.h"

namespace
{
    struct REPORT
    {
        DWORD State;
        DWORD Win32Exit;
        DWORD SpecificExit;
        SERVICE_STATUS_HANDLE Handle;
    };

    // The fake service manager: records what the wrapper tells it and runs the
    // service main function on a thread of its own, as the real one does.
    SERVICE_STATUS_HANDLE const kHandle = (SERVICE_STATUS_HANDLE)(uintptr_t)0x5A5A;
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

    BOOL WINAPI FailingStartDispatcher(const SERVICE_TABLE_ENTRYA*)
    {
        return FALSE;
    }

    SERVICE_STATUS_HANDLE WINAPI FakeRegisterHandler(LPCSTR name, LPHANDLER_FUNCTION handler)
    {
        gRegisteredName = name;
        gHandler = handler;
        return gRegisterFails ? 0 : kHandle;
    }

    BOOL WINAPI FakeSetStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
    {
        {
            std::lock_guard<std::mutex> lock(gMutex);
            gReports.push_back({status->dwCurrentState, status->dwWin32ExitCode, status->dwServiceSpecificExitCode, handle});
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
            RunMode = mode;
            Ended.Wait();
        }
        bool OnInit() override { return InitOk; }
        void OnStop() override { Ended.Set(); }

        static EVENTSEM Ended;
        int RunCalls = 0;
        int RunMode = 0;
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

    void ExpectStoppedOnceWithSpecificCode()
    {
        int stopped = 0;
        for (const REPORT& r : gReports)
        {
            EXPECT_EQ(kHandle, r.Handle);
            if (r.State == SERVICE_STOPPED)
            {
                stopped++;
                EXPECT_EQ(1u, r.SpecificExit);
            }
        }
        EXPECT_EQ(1, stopped);
        ASSERT_FALSE(gReports.empty());
        EXPECT_EQ((DWORD)SERVICE_STOPPED, gReports.back().State);
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
        EXPECT_EQ(1, service.RunMode);
        std::vector<DWORD> states = States();
        ASSERT_GE(states.size(), 3u);
        EXPECT_EQ((DWORD)SERVICE_START_PENDING, states[0]);
        EXPECT_EQ((DWORD)SERVICE_RUNNING, states[1]);
        for (size_t i = 2; i + 1 < states.size(); i++)
            EXPECT_EQ((DWORD)SERVICE_STOP_PENDING, states[i]);
        ExpectStoppedOnceWithSpecificCode();
        if (HasFailure())
            break;
    }
}

TEST_F(SERVICERUNTIME, StopAfterTheProgramEndedReportsNothingNew)
{
    gDispatcherWork = [] {
        WaitForState(SERVICE_RUNNING);
        TESTSERVICE::Ended.Set();
        WaitForState(SERVICE_STOPPED);
        gHandler(SERVICE_CONTROL_STOP);
        gHandler(SERVICE_CONTROL_INTERROGATE);
    };
    TESTSERVICE service("EndedService");
    ASSERT_TRUE(service.StartDispatcher());
    EXPECT_EQ((std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOPPED}), States());
    ExpectStoppedOnceWithSpecificCode();
    EXPECT_EQ(0u, gReports.back().Win32Exit);
}

TEST_F(SERVICERUNTIME, FailedInitGoesFromStartPendingToStoppedWithoutRunning)
{
    TESTSERVICE service("InitFails", false);
    ASSERT_TRUE(service.StartDispatcher());
    EXPECT_EQ(0, service.RunCalls);
    EXPECT_EQ((std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_STOPPED}), States());
    ExpectStoppedOnceWithSpecificCode();
}

TEST_F(SERVICERUNTIME, FailedHandlerRegistrationReportsNothing)
{
    gRegisterFails = true;
    TESTSERVICE service("NoHandler");
    ASSERT_TRUE(service.StartDispatcher());
    EXPECT_EQ(0, service.RunCalls);
    EXPECT_TRUE(gReports.empty());
}

TEST_F(SERVICERUNTIME, DispatcherFailureIsReported)
{
    static const SERVICECALLS failing = {FailingStartDispatcher, FakeRegisterHandler, FakeSetStatus};
    SERVICEWRAPPER::SetServiceCalls(&failing);
    TESTSERVICE service("NoDispatcher");
    EXPECT_FALSE(service.StartDispatcher());
    EXPECT_TRUE(gReports.empty());
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
    for (size_t length : {126u, 127u, 128u, 200u})
    {
        SCOPED_TRACE(length);
        std::string name(length, 'n');
        name[0] = 'A';
        name[length - 1] = 'Z';
        gDispatcherWork = [] { TESTSERVICE::Ended.Set(); };
        TESTSERVICE service(name.c_str());
        ASSERT_TRUE(service.StartDispatcher());
        std::string expected = name.substr(0, 127);
        EXPECT_EQ(expected, service.GetServiceName());
        EXPECT_EQ(expected, gTableName);
        EXPECT_EQ(expected, gRegisteredName);
        TESTSERVICE::Ended.Reset();
        gReports.clear();
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

TEST(SERVICELAUNCHERTEST, KeepsItsTextsWithinTheirFields)
{
    std::string exe(300, 'e'), cls(200, 'c');
    SERVICELAUNCHER launcher(GetModuleHandleA(0), "Name", cls.c_str(), exe.c_str());
    EXPECT_EQ(exe.substr(0, 259), launcher.GetExecutable());
    EXPECT_EQ(cls.substr(0, 127), launcher.GetWindowClass());
    EXPECT_STREQ("Name", launcher.GetServiceName());
}

TEST(SERVICELAUNCHERTEST, StopAndShutdownPostQuitToTheWindowOfItsClass)
{
    std::string className = "TarniHosted" + std::to_string(GetCurrentProcessId());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(0);
    wc.lpszClassName = className.c_str();
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND window = CreateWindowA(className.c_str(), "hosted", WS_OVERLAPPED, 0, 0, 50, 50, 0, 0, wc.hInstance, 0);
    ASSERT_NE(nullptr, window);
    SERVICELAUNCHER launcher(GetModuleHandleA(0), "Name", className.c_str(), "app.exe");
    MSG msg;
    while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE))
        ;

    launcher.OnStop();
    ASSERT_TRUE(PeekMessageA(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(window, msg.hwnd);
    EXPECT_EQ(0u, (unsigned)msg.wParam);

    launcher.OnShutdown();
    ASSERT_TRUE(PeekMessageA(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(window, msg.hwnd);

    DestroyWindow(window);
    UnregisterClassA(className.c_str(), wc.hInstance);
    launcher.OnStop();
    EXPECT_FALSE(PeekMessageA(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(SERVICELAUNCHERTEST, DevelopmentBuildFoldersWorkFromTheSourceFolder)
{
    TESTSUPPORT::TEMPDIR temp("dev");
    std::string app = temp.File("App");
    ASSERT_TRUE(CreateDirectoryA(app.c_str(), 0));
    for (const char* sub : {"\\Debug", "\\rElEaSe", "\\Other"})
        ASSERT_TRUE(CreateDirectoryA((app + sub).c_str(), 0));

    EXPECT_STREQ((app + "\\Debug").c_str(), SERVICELAUNCHER::WorkingDirectory((app + "\\Debug").c_str()).Text());
    ASSERT_TRUE(TESTSUPPORT::WriteFile(app + "\\main.cpp", "int main() {}\n"));
    EXPECT_STREQ(app.c_str(), SERVICELAUNCHER::WorkingDirectory((app + "\\Debug").c_str()).Text());
    EXPECT_STREQ(app.c_str(), SERVICELAUNCHER::WorkingDirectory((app + "\\rElEaSe").c_str()).Text());
    EXPECT_STREQ((app + "\\Other").c_str(), SERVICELAUNCHER::WorkingDirectory((app + "\\Other").c_str()).Text());
}

namespace
{
    // A service name of this test run, deleted whatever happens.
    class SCRATCHSERVICE
    {
    public:
        explicit SCRATCHSERVICE(const std::string& tag)
            : Name("TarniTest" + std::to_string(GetCurrentProcessId()) + tag)
        {
            Delete();
        }
        ~SCRATCHSERVICE() { Delete(); }
        const std::string& Get() const { return Name; }

    private:
        void Delete()
        {
            SCHANDLE manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
            SCHANDLE service(manager ? OpenServiceA(manager.Get(), Name.c_str(), DELETE) : 0);
            if (service)
                DeleteService(service.Get());
        }
        std::string Name;
    };

    int Op(const char* operation, const std::string& name)
    {
        return ServiceOperation(STRING(operation), STRING(name.c_str()), "TarniTestClass", "app.exe");
    }
}

// Installing, starting, stopping and removing are proven end to end on the
// real controller; the status query and the pause have no verb of their own.
TEST(SERVICEOPERATION, QueryStatusGivesTheStateOrZeroAndPauseDoesNothing)
{
    SCRATCHSERVICE name("query");
    EXPECT_EQ(0, Op("QUERY_STATUS", name.Get()));
    EXPECT_EQ(0, Op("PAUSE", name.Get()));
    ASSERT_EQ(0, Op("INSTALL", name.Get()));
    EXPECT_EQ((int)SERVICE_STOPPED, Op("query_status", name.Get()));
    EXPECT_EQ(0, Op("PAUSE", name.Get()));
    EXPECT_EQ(0, Op("UNINSTALL", name.Get()));
    EXPECT_EQ(0, Op("QUERY_STATUS", name.Get()));
}
