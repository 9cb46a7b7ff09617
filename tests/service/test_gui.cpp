// The controller dialog: the real service.exe driven from this process as a
// person would, against Wine's service control manager; and the dialog in
// this process for what only a test can arrange.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "framework/app/tarni_win32.h"
#include "service/serviceconfig.h"
#include "service/servicegui.h"
#include "service/serviceops.h"
#include "service/serviceres.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    const char NoticeClass[] = "TarniWinClassInfoWindow";

    struct SEARCH
    {
        DWORD Pid;
        const char* ClassName;
        HWND Except;
        HWND Found;
    };

    BOOL CALLBACK MatchOther(HWND window, LPARAM parameter)
    {
        SEARCH* search = reinterpret_cast<SEARCH*>(parameter);
        DWORD owner = 0;
        char name[64] = "";
        GetWindowThreadProcessId(window, &owner);
        GetClassNameA(window, name, sizeof(name));
        if (window == search->Except || owner != search->Pid || !IsWindowVisible(window) ||
            strcmp(name, search->ClassName) != 0)
            return TRUE;
        search->Found = window;
        return FALSE;
    }

    // A visible top-level window of class className owned by pid other than
    // except. Windows are listed at once: a walk along the z-order would stop
    // at a window that another program closes meanwhile.
    HWND FindOther(DWORD pid, const char* className, HWND except, int timeoutMs)
    {
        for (int waited = 0;; waited += 50)
        {
            SEARCH search = {pid, className, except, 0};
            EnumWindows(MatchOther, reinterpret_cast<LPARAM>(&search));
            if (search.Found || waited >= timeoutMs)
                return search.Found;
            Sleep(50);
        }
    }

    // read() until it gives expected, for up to timeoutMs; the last text read.
    std::string WaitFor(const std::function<std::string()>& read, const std::string& expected, int timeoutMs = 15000)
    {
        std::string seen = read();
        for (int waited = 0; seen != expected && waited < timeoutMs; waited += 100)
        {
            Sleep(100);
            seen = read();
        }
        return seen;
    }

    // The status line and whether Install, Uninstall, Start and Stop are enabled ("1010").
    std::string State(HWND dialog)
    {
        std::string state = Narrow(ControlText(dialog, IDC_STATUS)) + "|";
        for (int id : {IDC_INSTALL, IDC_UNINSTALL, IDC_START, IDC_STOP})
            state += IsWindowEnabled(GetDlgItem(dialog, id)) ? '1' : '0';
        return state;
    }

    std::string Result(HWND dialog) { return Narrow(ControlText(dialog, IDC_RESULT)); }

    // The texts of the dialog's controls in template order, the icon left out.
    std::string ControlTexts(HWND dialog)
    {
        std::string texts = Narrow(WindowText(dialog));
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        {
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                texts += "|" + Narrow(WindowText(child));
        }
        return texts;
    }

    bool WaitEnabled(HWND dialog, int id)
    {
        for (int waited = 0; waited < 8000 && !IsWindowEnabled(GetDlgItem(dialog, id)); waited += 100)
            Sleep(100);
        return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
    }

    // A click on a button a person could not press: the command as the button sends it.
    void PostCommand(HWND dialog, int id)
    {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
    }

    struct SCCLOSE
    {
        void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
    };
    typedef std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, SCCLOSE> SCOWNER;

    // A controller with the demo application and its help in a folder of its
    // own, for a service and a registry key that no other test uses.
    class GuiTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            static int counter = 0;
            Name = "TarniGui" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++counter);
            RegKey = "Software\\Tarni\\" + Name;
            Exe = Dir.File("service.exe");
            std::string built = SelfDirectory() + "\\..\\service\\";
            for (const char* file : {"service.exe", "demoapp.exe", "demoappenglish.chm", "demoappenglish.ids",
                                     "demoappgerman.chm", "demoappgerman.ids"})
                ASSERT_TRUE(CopyFileA((built + file).c_str(), Dir.File(file).c_str(), FALSE)) << file;
            WriteConfig("");
            Remove();
        }

        void TearDown() override { Remove(); }

        void WriteConfig(const std::string& extra, const std::string& help = "demoapp|1000",
                         const std::string& exe = "demoapp.exe")
        {
            WriteFile(Dir.File("service.cfg"), "AppName=" + Name + "\r\nAppExe=" + exe + "\r\nAppHelp=" + help +
                                                   "\r\nAppRegKey=" + Name +
                                                   "\r\nAppWinClass=TarniDemoAppWindow\r\n" + extra);
        }

        void Remove()
        {
            RegDeleteTreeA(HKEY_CURRENT_USER, RegKey.c_str());
            SCOWNER manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
            SCOWNER service(manager ? OpenServiceA(manager.get(), Name.c_str(), SERVICE_ALL_ACCESS) : 0);
            if (!service)
                return;
            SERVICE_STATUS status;
            ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            DeleteService(service.get());
            service.reset();
            for (int waited = 0; waited < 10000; waited += 100, Sleep(100))
            {
                SCOWNER gone(OpenServiceA(manager.get(), Name.c_str(), SERVICE_QUERY_STATUS));
                if (!gone)
                    break;
            }
        }

        // A stop request that does not wait for the service, unlike /stop.
        bool SendStop()
        {
            SCOWNER manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
            SCOWNER service(manager ? OpenServiceA(manager.get(), Name.c_str(), SERVICE_STOP) : 0);
            SERVICE_STATUS status;
            return service && ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        }

        int Run(const std::string& arguments)
        {
            CHILD child;
            return child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), {}, Exe) ? child.Wait(60000) : -2;
        }

        // Starts the controller; its dialog, null when none opened.
        HWND Open(CHILD& child, const std::string& arguments)
        {
            if (!child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), {}, Exe))
                return 0;
            HWND dialog = WaitForWindow(child.Id(), "#32770", 20000);
            // The first refresh is sent before the dialog shows.
            return dialog && !ControlText(dialog, IDC_STATUS).empty() ? dialog : 0;
        }

        int Close(CHILD& child, HWND dialog)
        {
            PressButton(dialog, IDCANCEL);
            return child.Wait(20000);
        }

        // Presses id (which must be enabled) and reads the result line it leaves.
        std::string Press(HWND dialog, int id, const std::string& expected)
        {
            if (!IsWindowEnabled(GetDlgItem(dialog, id)))
                return "<disabled>";
            PressButton(dialog, id);
            return WaitFor([&] { return Result(dialog); }, expected);
        }

        // The box the controller shows beside its dialog, "title|text", answered with OK.
        std::string AnswerBox(CHILD& child, HWND dialog)
        {
            HWND box = FindOther(child.Id(), "#32770", dialog, 20000);
            if (!box)
                return "<no box>";
            std::string seen = Narrow(WindowText(box)) + "|" + Narrow(ControlText(box, 0xFFFF));
            PressButton(box, IDOK);
            return seen;
        }

        TEMPDIR Dir{"gui"};
        std::string Name;
        std::string RegKey;
        std::string Exe;
    };
}

TEST_F(GuiTest, StatesAndButtonsFollowTheServiceInBothLanguages)
{
    ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\hostprobe.exe").c_str(), Dir.File("nowindow.exe").c_str(), FALSE));
    WriteConfig("", "demoapp|1000", "nowindow.exe");
    CHILD english, german;
    HWND dialogs[2] = {Open(english, "/ADVGUI"), Open(german, "/ADVGUI /LANG:GER")};
    ASSERT_TRUE(dialogs[0] && dialogs[1]);
    struct
    {
        std::function<void()> Change;
        const char* English;
        const char* German;
    } steps[] = {
        {[] {}, "Service not installed|1000", "Service nicht installiert|1000"},
        {[&] { ASSERT_EQ(0, Run("/install")); }, "Service installed, stopped|0110", "Service installiert, gestoppt|0110"},
        {[&] { ASSERT_EQ(0, Run("/start")); }, "Service installed, running|0001", "Service installiert, gestartet|0001"},
        {[&] { ASSERT_TRUE(SendStop()); }, "Service installed, stop pending|0001",
         "Service installiert, stoppend|0001"},
        {[&] { WriteFile(Dir.File("quit.txt"), ""); }, "Service installed, stopped|0110",
         "Service installiert, gestoppt|0110"},
    };
    for (const auto& step : steps)
    {
        step.Change();
        EXPECT_EQ(step.English, WaitFor([&] { return State(dialogs[0]); }, step.English)) << step.English;
        EXPECT_EQ(step.German, WaitFor([&] { return State(dialogs[1]); }, step.German)) << step.English;
    }
    EXPECT_EQ(0, Close(english, dialogs[0]));
    EXPECT_EQ(0, Close(german, dialogs[1]));
}

TEST_F(GuiTest, ButtonsRunTheOperationsOnWindowsXp)
{
    std::string program = "svcxp" + std::to_string(GetCurrentProcessId()) + ".exe";
    ASSERT_TRUE(CopyFileA(Exe.c_str(), Dir.File(program).c_str(), FALSE));
    Exe = Dir.File(program);
    APPVERSION xp(program, "winxp");
    WriteConfig("ADVGUI=1\r\n");
    // Disabled buttons are reached by the command a click would send.
    const struct
    {
        int Id;
        bool Posted;
        const char* English;
        const char* German;
        const char* Buttons;   // from a later refresh
    } steps[] = {
        {IDC_INSTALL, false, "Service installed sucessfully.", "Service wurde erfolgreich installiert.", "0110"},
        {IDC_INSTALL, true, "Service cannot be installed.", "Service konnte nicht installiert werden.", "0110"},
        {IDC_START, false, "Service started sucessfully.", "Service wurde erfolgreich gestartet.", "0001"},
        {IDC_STOP, false, "Service stopped sucessfully.", "Service wurde erfolgreich gestoppt.", "0110"},
        {IDC_UNINSTALL, false, "Service uninstalled sucessfully.", "Service wurde erfolgreich deinstalliert.", "1000"},
        {IDC_START, true, "Service cannot be started.", "Service konnte nicht gestartet werden.", "1000"},
    };
    for (bool german : {false, true})
    {
        CHILD child;
        HWND dialog = Open(child, german ? "/GUI /LANG:GER" : "/GUI");
        ASSERT_NE(nullptr, dialog);
        for (const auto& step : steps)
        {
            std::string expected = german ? step.German : step.English;
            if (step.Posted)
                PostCommand(dialog, step.Id);
            EXPECT_EQ(expected, step.Posted ? WaitFor([&] { return Result(dialog); }, expected)
                                            : Press(dialog, step.Id, expected));
            auto buttons = [&] {
                std::string state = State(dialog);
                return state.substr(state.find('|') + 1);
            };
            EXPECT_EQ(step.Buttons, WaitFor(buttons, step.Buttons)) << expected;
            if (step.Id == IDC_INSTALL && !step.Posted)
            {
                SCOWNER manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
                SCOWNER service(OpenServiceA(manager.get(), Name.c_str(), SERVICE_QUERY_CONFIG));
                alignas(8) char buffer[8192];
                QUERY_SERVICE_CONFIGA* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
                DWORD needed = 0;
                ASSERT_TRUE(service && QueryServiceConfigA(service.get(), config, sizeof(buffer), &needed));
                EXPECT_EQ("272 2 1 LocalSystem " + Name + " " + Exe,
                          std::to_string(config->dwServiceType) + " " + std::to_string(config->dwStartType) + " " +
                              std::to_string(config->dwErrorControl) + " " + config->lpServiceStartName + " " +
                              config->lpDisplayName + " " + config->lpBinaryPathName);
            }
            if (step.Id == IDC_START && !step.Posted)
            {
                HWND demo = 0;
                for (int waited = 0; !demo && waited < 10000; waited += 100, Sleep(100))
                    demo = FindWindowA("TarniDemoAppWindow", 0);
                EXPECT_NE(nullptr, demo);
            }
        }
        if (german)
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            PressButton(dialog, IDCANCEL);
        EXPECT_EQ(0, child.Wait(20000)) << (german ? "close box" : "Done");
    }
}

TEST_F(GuiTest, NoticeAndDialogShowTheirTextsInEitherLanguage)
{
    const std::string english =
        " I M P O R T A N T !\r\n \r\n This tool can be used to install " + Name + " as a system\r\n"
        " service. In this case it will run in the background\r\n on the login screen.\r\n \r\n"
        " Installation as a service is intended for experienced\r\n users and server administrators who need to run " +
        Name + "\r\n on server PCs that normally do not have a user logged on.\r\n \r\n"
        " Please do not use this tool, if you do not know about\r\n services!";
    const std::string german =
        " W I C H T I G !\r\n \r\n Mit diesem Tool kann " + Name + " als Service am System\r\n"
        " angemeldet werden. In diesem Fall braucht zur Ausf\xFChrung\r\n von " + Name +
        " kein Benutzer am System angemeldet zu sein,\r\n und " + Name +
        " wird beim Hochfahren des Systems automatisch\r\n gestartet.\r\n \r\n"
        " Diese Funktion ist nur f\xFCr fortgeschrittene Anwender\r\n gedacht und macht \xFC"
        "blicherweise nur bei Server-\r\n Installationen Sinn, auf denen kein Benutzer angemeldet ist.\r\n \r\n"
        " Bitte verwenden Sie dieses Tool nur, wenn Sie sich\r\n absolut sicher sind, dass Sie \xFC"
        "ber Funktionsweise und\r\n Wirkung von Service-Eintr\xE4gen im System ausreichend\r\n informiert sind!";
    const struct
    {
        const char* Extra;
        const char* Arguments;
        std::string Notice;   // its text, then its check box's
        const char* Dialog;   // the title, then the controls
    } rows[] = {
        {"", "/GUI", english + "|Do not show this window again",
         "Tarni Service Controller|Done|Install|Start|Stop|Uninstall|Status|Service not installed||Help"},
        {"", "/CONFIG /LANG:GER", german + "|Dieses Fenster nicht mehr anzeigen",
         "Tarni Service Controller|Fertig|Installieren|Starten|Stoppen|Deinstallieren|Status|"
         "Service nicht installiert||Hilfe"},
        {"WINDOWTITLE=Acme\r\n", "/ADVGUI", "",
         "Acme Service Controller|Done|Install|Start|Stop|Uninstall|Status|Service not installed||Help"},
    };
    for (const auto& row : rows)
    {
        WriteConfig(row.Extra);
        CHILD child;
        HWND dialog = Open(child, row.Arguments);
        ASSERT_NE(nullptr, dialog) << row.Arguments;
        EXPECT_EQ(row.Dialog, ControlTexts(dialog));
        HWND notice = FindOther(child.Id(), NoticeClass, 0, 0);
        EXPECT_EQ(row.Notice, notice ? Narrow(ControlText(notice, 1001)) + "|" + Narrow(ControlText(notice, 1002))
                                     : "");
        if (notice)
        {
            EXPECT_EQ(L"Tarni Service Controller", WindowText(notice));
            auto front = [&] {
                for (HWND window = GetTopWindow(0); window; window = GetWindow(window, GW_HWNDNEXT))
                {
                    if (window == notice || window == dialog)
                        return std::string(window == notice ? "notice" : "dialog");
                }
                return std::string();
            };
            EXPECT_EQ("notice", WaitFor(front, "notice")) << row.Arguments;
            PostMessageA(notice, WM_CLOSE, 0, 0);
        }
        EXPECT_EQ(0, Close(child, dialog));
        EXPECT_NE(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, RegKey.c_str(), "DontShowAgainSrvCtrl",
                                              RRF_RT_ANY, 0, 0, 0)) << "closed unticked";
    }
}

TEST_F(GuiTest, ATickedNoticeIsNotShownAgain)
{
    CHILD child;
    HWND dialog = Open(child, "/GUI");
    ASSERT_NE(nullptr, dialog);
    HWND notice = FindOther(child.Id(), NoticeClass, 0, 0);
    ASSERT_NE(nullptr, notice);
    PressButton(notice, 1002);
    for (int waited = 0; waited < 5000 && SendMessageA(GetDlgItem(notice, 1002), BM_GETCHECK, 0, 0) != BST_CHECKED;
         waited += 50)
        Sleep(50);
    PostMessageA(notice, WM_CLOSE, 0, 0);
    for (int waited = 0; waited < 5000 && IsWindow(notice); waited += 50)
        Sleep(50);
    EXPECT_EQ(0, Close(child, dialog));
    DWORD type = 0, value = 0, size = 8;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, RegKey.c_str(), "DontShowAgainSrvCtrl", RRF_RT_ANY,
                                          &type, &value, &size));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(1u, value);
}

TEST_F(GuiTest, TheNoticeShowsUnlessSwitchedOff)
{
    const DWORD one = 1;
    const struct
    {
        const char* Extra;
        const char* Arguments;
        DWORD Type;   // of the stored flag, 0 for none
        DWORD Size;
        bool Shown;
    } rows[] = {
        {"", "/GUI", REG_BINARY, 4, false},   {"", "/ADVGUI", 0, 0, false},
        {"ADVGUI=1\r\n", "/GUI", 0, 0, false}, {"ADVGUI=0\r\n", "/GUI", 0, 0, true},
        {"", "/GUI", REG_DWORD, 4, true},     {"", "/GUI", REG_BINARY, 2, true},
    };
    for (const auto& row : rows)
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, RegKey.c_str());
        if (row.Type)
            RegSetKeyValueA(HKEY_CURRENT_USER, RegKey.c_str(), "DontShowAgainSrvCtrl", row.Type, &one, row.Size);
        WriteConfig(row.Extra);
        CHILD child;
        HWND dialog = Open(child, row.Arguments);
        ASSERT_NE(nullptr, dialog) << row.Arguments;
        EXPECT_EQ(row.Shown, FindOther(child.Id(), NoticeClass, 0, 0) != 0) << row.Extra << row.Arguments << row.Type;
        EXPECT_EQ(0, Close(child, dialog));
    }
}

TEST_F(GuiTest, FromVistaOnInstallAndStartAreRefusedUnlessAdvGuiIsGiven)
{
    WriteConfig("ADVGUI=1\r\n");
    const std::string title = Name + " Service|";
    const struct
    {
        const char* Arguments;
        std::string Install;
        std::string Start;
    } rows[] = {
        {"/GUI", title + "The " + Name + " service can not be used under Windows Vista or higher.",
         title + "The " + Name + " service can not be used under Windows Vista or higher."},
        {"/GUI /LANG:GER", title + "Der " + Name + "-Service kann unter Windows Vista oder h\xF6her nicht verwendet werden.",
         title + "Der " + Name + "-Service kann unter Windows Vista oder h\xF6her nicht mehr verwendet werden."},
    };
    for (const auto& row : rows)
    {
        CHILD child;
        HWND dialog = Open(child, row.Arguments);
        ASSERT_NE(nullptr, dialog);
        for (int id : {IDC_INSTALL, IDC_START})
        {
            if (id == IDC_START)
            {
                ASSERT_EQ(0, Run("/install"));
            }
            ASSERT_TRUE(WaitEnabled(dialog, id));
            SetDlgItemTextA(dialog, IDC_RESULT, "before");
            PressButton(dialog, id);
            EXPECT_EQ(id == IDC_START ? row.Start : row.Install, AnswerBox(child, dialog));
            EXPECT_EQ("", WaitFor([&] { return Result(dialog); }, ""));
        }
        EXPECT_EQ(0, Close(child, dialog));
        EXPECT_EQ(0, Run("/uninstall"));
    }
    CHILD child;
    HWND dialog = Open(child, "/ADVGUI");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Service installed sucessfully.", Press(dialog, IDC_INSTALL, "Service installed sucessfully."));
    EXPECT_EQ(0, Close(child, dialog));
}

TEST_F(GuiTest, HelpShowsTheTopicOrEndsTheDialog)
{
    const std::string log = Dir.File("gui.log");
    CHILD child;
    HWND dialog = Open(child, "/GUI \"/LOGIT:" + log + "\"");
    ASSERT_NE(nullptr, dialog);
    PressButton(dialog, IDHELP);
    HWND help = WaitForWindow(child.Id(), "HH Parent", 10000);
    EXPECT_NE(nullptr, help);
    PostMessageA(help, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, Close(child, dialog));
    std::vector<std::string> shown = LogLines(log, "HELPFILE::ShowTopic ");
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("demoappenglish.chm::html/topic-1000.html", shown[0].substr(shown[0].find(' ') + 1));

    WriteConfig("", "demoapp|4711");
    CHILD unknown;
    dialog = Open(unknown, "/ADVGUI");
    ASSERT_NE(nullptr, dialog);
    PressButton(dialog, IDHELP);
    EXPECT_EQ(0, unknown.Wait(20000)) << "a topic the file lacks ends the dialog";

    WriteConfig("", "nohelp|1000");
    CHILD missing;
    ASSERT_TRUE(missing.Start("\"" + Exe + "\" /ADVGUI", Dir.Path(), {}, Exe));
    HWND box = WaitForWindow(missing.Id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(nullptr, GetDlgItem(box, IDC_STATUS)) << "the missing-files box comes before the dialog";
    PressButton(box, IDOK);
    EXPECT_EQ(99, missing.Wait(20000));

    CHILD without;
    dialog = Open(without, "/ADVGUI /NOHELP");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(0, Close(without, dialog));
}

TEST_F(GuiTest, BadConfigurationValuesStillOpenTheDialog)
{
    const std::string longKey = Name + std::string(300 - Name.size(), 'k');
    ATEND cleanup{[&] {
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Tarni\\" + longKey).c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, RegKey.c_str());
    }};
    const struct
    {
        std::string Help;
        std::string Key;
        const char* Arguments;
    } rows[] = {
        {"demoapp", Name, ""},
        {"|1000", Name, ""},
        {"demoapp|abc", Name, ""},
        // No topic-id file can have such a name: without NOHELP the program ends with 99.
        {std::string(300, 'h') + "|1000", Name, " /NOHELP"},
        {"demoapp|1000", Name + "\\a\\\\b\\", ""},
        {"demoapp|1000", longKey, ""},
    };
    for (const auto& row : rows)
    {
        WriteFile(Dir.File("service.cfg"), "AppName=" + Name + "\r\nAppExe=demoapp.exe\r\nAppHelp=" + row.Help +
                                               "\r\nAppRegKey=" + row.Key + "\r\nAppWinClass=TarniDemoAppWindow\r\n");
        CHILD child;
        HWND dialog = Open(child, std::string("/GUI /NOASSERT") + row.Arguments);
        EXPECT_NE(nullptr, dialog) << row.Help << " " << row.Key;
        EXPECT_EQ(0, dialog ? Close(child, dialog) : -3) << row.Help << " " << row.Key;
    }
}

namespace
{
    SC_HANDLE WINAPI RefuseManager(LPCSTR, LPCSTR, DWORD)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
}

TEST_F(GuiTest, InProcessAManagerThatRefusesFullAccessShowsNotInstalled)
{
    {
        SCOWNER manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
        SCOWNER service(CreateServiceA(manager.get(), Name.c_str(), Name.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       Exe.c_str(), 0, 0, 0, 0, 0));
        ASSERT_TRUE(service);
    }
    SERVICECONFIG::Store().Get("AppName") = Name.c_str();
    SERVICEGUI dialog;
    ASSERT_NE(nullptr, dialog.Hwnd());
    SendMessageA(dialog.Hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ("Service installed, stopped|0110", State(dialog.Hwnd()));
    SetManagerOpener(RefuseManager);
    SendMessageA(dialog.Hwnd(), WM_TIMER, 1, 0);
    SetManagerOpener(0);
    EXPECT_EQ("Service not installed|1000", State(dialog.Hwnd()));

    // The controls where the template puts them: x, y, width and height in dialog units.
    const RECT expected[] = {{161, 10, 45, 14}, {14, 10, 20, 20},   {51, 17, 93, 14},  {51, 34, 45, 14},
                             {99, 34, 45, 14},  {51, 51, 93, 14},   {14, 74, 180, 40}, {25, 86, 157, 8},
                             {25, 100, 157, 8}, {161, 27, 45, 14}};
    HWND child = GetWindow(dialog.Hwnd(), GW_CHILD);
    for (RECT rect : expected)
    {
        ASSERT_NE(nullptr, child);
        MapDialogRect(dialog.Hwnd(), &rect);
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(0, dialog.Hwnd(), reinterpret_cast<POINT*>(&actual), 2);
        // The icon takes the size of its image.
        bool icon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        RECT seen = {actual.left, actual.top, icon ? rect.right : actual.right - actual.left,
                     icon ? rect.bottom : actual.bottom - actual.top};
        EXPECT_TRUE(EqualRect(&rect, &seen)) << GetDlgCtrlID(child) << ": " << seen.left << "," << seen.top << " "
                                             << seen.right << "x" << seen.bottom;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child);
}
