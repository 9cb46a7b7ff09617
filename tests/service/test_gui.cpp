// The controller dialog: the real service.exe driven as a person would, against Wine's
// service control manager; and the dialog in this process for what only a test can arrange.

#include <gtest/gtest.h>

#include <windows.h>

#include "framework/app/tarni_win32.h"
#include "service/serviceconfig.h"
#include "service/servicegui.h"
#include "service/serviceops.h"
#include "service/serviceres.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    // The status line and whether Install, Uninstall, Start and Stop are enabled ("1010").
    std::string State(HWND dialog)
    {
        std::string state = Narrow(ControlText(dialog, IDC_STATUS)) + "|";
        for (int id : {IDC_INSTALL, IDC_UNINSTALL, IDC_START, IDC_STOP})
            state += IsWindowEnabled(GetDlgItem(dialog, id)) ? '1' : '0';
        return state;
    }

    std::string Result(HWND dialog) { return Narrow(ControlText(dialog, IDC_RESULT)); }

    // The controller with the demo application and its help, for a registry key of its own.
    class GuiTest : public testing::Test, protected SERVICEDIR
    {
    protected:
        GuiTest() : SERVICEDIR("Gui"), RegKey("Software\\Tarni\\" + Name) {}
        using SERVICEDIR::Run;   // not testing::Test's
        ~GuiTest() override { RegDeleteTreeA(HKEY_CURRENT_USER, RegKey.c_str()); }
        void SetUp() override
        {
            ASSERT_EQ("", Copy({"service.exe", "demoapp.exe", "demoappenglish.chm", "demoappenglish.ids",
                                "demoappgerman.chm", "demoappgerman.ids"}));
            WriteConfig("");
        }

        void WriteConfig(const std::string& extra, const std::string& help = "demoapp|1000",
                         const std::string& key = "", const std::string& exe = "demoapp.exe")
        {
            WriteFile(Dir.File("service.cfg"), "AppName=" + Name + "\r\nAppExe=" + exe + "\r\nAppHelp=" + help +
                                                   "\r\nAppRegKey=" + (key.empty() ? Name : key) +
                                                   "\r\nAppWinClass=TarniDemoAppWindow\r\n" + extra);
        }

        // Starts the controller; its dialog once the first refresh (sent before it shows) is in, else null.
        HWND Open(CHILD& child, const std::string& arguments)
        {
            HWND dialog = Start(child, arguments) ? WaitForWindow(child.Id(), "#32770", 20000) : 0;
            return dialog && !ControlText(dialog, IDC_STATUS).empty() ? dialog : 0;
        }

        int Close(CHILD& child, HWND dialog)
        {
            PressButton(dialog, IDCANCEL);
            return child.Wait(20000);
        }

        std::string RegKey;
    };
}

TEST_F(GuiTest, StatesAndButtonsFollowTheServiceInBothLanguages)
{
    ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\hostprobe.exe").c_str(), Dir.File("nowindow.exe").c_str(), FALSE));
    WriteConfig("", "demoapp|1000", "", "nowindow.exe");
    CHILD english, german;
    HWND dialogs[2] = {Open(english, "/ADVGUI"), Open(german, "/ADVGUI /LANG:GER")};
    ASSERT_TRUE(dialogs[0] && dialogs[1]);
    // Another program changes the service (the German dialog installs it, so
    // /ADVGUI lifts the refusal); stop pending keeps the buttons.
    const struct
    {
        std::function<void()> Change;
        const char *English, *German;
    } steps[] = {
        {[] {}, "Service not installed|1000", "Service nicht installiert|1000"},
        {[&] { PressButton(dialogs[1], IDC_INSTALL); }, "Service installed, stopped|0110",
         "Service installiert, gestoppt|0110"},
        {[&] { ASSERT_EQ(0, Run("/start")); }, "Service installed, running|0001", "Service installiert, gestartet|0001"},
        {[&] { ASSERT_TRUE(SendStop(Name)); }, "Service installed, stop pending|0001",
         "Service installiert, stoppend|0001"},
        {[&] { WriteFile(Dir.File("quit.txt"), ""); }, "Service installed, stopped|0110",
         "Service installiert, gestoppt|0110"},
    };
    for (const auto& step : steps)
    {
        step.Change();
        EXPECT_EQ(step.English, WaitForText([&] { return State(dialogs[0]); }, step.English));
        EXPECT_EQ(step.German, WaitForText([&] { return State(dialogs[1]); }, step.German)) << step.English;
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
    const std::string log = Dir.File("gui.log");
    // A button is pressed once a refresh has enabled it; Posted: once a
    // refresh has disabled it, by the command a click on it would send.
    const struct
    {
        int Id;
        bool Posted;
        const char *English, *German;
    } steps[] = {
        {IDC_INSTALL, false, "Service installed sucessfully.", "Service wurde erfolgreich installiert."},
        {IDC_INSTALL, true, "Service cannot be installed.", "Service konnte nicht installiert werden."},
        {IDC_START, false, "Service started sucessfully.", "Service wurde erfolgreich gestartet."},
        {IDC_STOP, false, "Service stopped sucessfully.", "Service wurde erfolgreich gestoppt."},
        {IDC_UNINSTALL, false, "Service uninstalled sucessfully.", "Service wurde erfolgreich deinstalliert."},
        {IDC_START, true, "Service cannot be started.", "Service konnte nicht gestartet werden."},
    };
    for (bool german : {false, true})
    {
        CHILD child;
        HWND dialog = Open(child, german ? "/GUI /LANG:GER" : "/GUI \"/LOGIT:" + log + "\"");
        ASSERT_NE(nullptr, dialog);
        for (const auto& step : steps)
        {
            std::string expected = german ? step.German : step.English;
            HWND button = GetDlgItem(dialog, step.Id);
            ASSERT_TRUE(WaitUntil([&] { return (IsWindowEnabled(button) == FALSE) == step.Posted; })) << expected;
            if (step.Posted)
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(step.Id, BN_CLICKED), (LPARAM)button);
            else
                PressButton(dialog, step.Id);
            EXPECT_EQ(expected, WaitForText([&] { return Result(dialog); }, expected));
            // Install registers the service with its settings; Start runs the demo, which shows its window.
            EXPECT_TRUE(step.Posted || step.Id != IDC_INSTALL ||
                        ServiceSettings(Name) == "272 2 1 LocalSystem " + Name + " " + Exe) << ServiceSettings(Name);
            EXPECT_TRUE(step.Posted || step.Id != IDC_START ||
                        WaitUntil([] { return FindWindowA("TarniDemoAppWindow", 0) != 0; }));
        }
        if (!german)
        {
            PressButton(dialog, IDHELP);
            HWND help = WaitForWindow(child.Id(), "HH Parent", 10000);
            EXPECT_TRUE(help && PostMessageA(help, WM_CLOSE, 0, 0));
        }
        german ? PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) : PressButton(dialog, IDCANCEL);
        EXPECT_EQ(0, child.Wait(20000)) << (german ? "close box" : "Done");
    }
    std::vector<std::string> shown = LogLines(log, "HELPFILE::ShowTopic ");
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("demoappenglish.chm::html/topic-1000.html", shown[0].substr(shown[0].find(' ') + 1));
}

// A controller started on this Windows (Vista or later) without a service:
// per row the notice (or none), the dialog's texts, the notice closed ticked
// or not, perhaps the refusals of Install and Start; then the stored flag.
TEST_F(GuiTest, NoticeDialogTextsAndRefusalsFromVistaOn)
{
    const std::string english =
        " I M P O R T A N T !\r\n \r\n This tool can be used to install " + Name + " as a system\r\n"
        " service. In this case it will run in the background\r\n on the login screen.\r\n \r\n"
        " Installation as a service is intended for experienced\r\n users and server administrators who need to run " +
        Name + "\r\n on server PCs that normally do not have a user logged on.\r\n \r\n"
        " Please do not use this tool, if you do not know about\r\n services!|Do not show this window again";
    const std::string german =
        " W I C H T I G !\r\n \r\n Mit diesem Tool kann " + Name + " als Service am System\r\n"
        " angemeldet werden. In diesem Fall braucht zur Ausf\xFChrung\r\n von " + Name +
        " kein Benutzer am System angemeldet zu sein,\r\n und " + Name +
        " wird beim Hochfahren des Systems automatisch\r\n gestartet.\r\n \r\n"
        " Diese Funktion ist nur f\xFCr fortgeschrittene Anwender\r\n gedacht und macht \xFC"
        "blicherweise nur bei Server-\r\n Installationen Sinn, auf denen kein Benutzer angemeldet ist.\r\n \r\n"
        " Bitte verwenden Sie dieses Tool nur, wenn Sie sich\r\n absolut sicher sind, dass Sie \xFC"
        "ber Funktionsweise und\r\n Wirkung von Service-Eintr\xE4gen im System ausreichend\r\n informiert sind!"
        "|Dieses Fenster nicht mehr anzeigen";
    const std::string none;
    const std::string refusals[] = {  // English, German Install, German Start
        "The " + Name + " service can not be used under Windows Vista or higher.",
        "Der " + Name + "-Service kann unter Windows Vista oder h\xF6her nicht verwendet werden.",
        "Der " + Name + "-Service kann unter Windows Vista oder h\xF6her nicht mehr verwendet werden."};
    const char en[] = "Tarni Service Controller|Done|Install|Start|Stop|Uninstall|Status|Service not installed||Help";
    const char de[] = "Tarni Service Controller|Fertig|Installieren|Starten|Stoppen|Deinstallieren|Status|"
                      "Service nicht installiert||Hilfe";
    const struct
    {
        const char *Extra, *Arguments;
        DWORD Type, Size;   // of a flag 1 stored before; 0: the registry as the row before left it
        const std::string& Notice;   // its text and its check box's
        const char* Dialog;          // the title and the control texts, the icon left out
        bool Tick, Refused;
        const char* After;   // the stored flag: type, size, value
    } rows[] = {
        {"", "/GUI", 0, 0, english, en, false, false, "none"},
        {"WINDOWTITLE=Acme\r\n", "/ADVGUI", 0, 0, none,
         "Acme Service Controller|Done|Install|Start|Stop|Uninstall|Status|Service not installed||Help", false, false,
         "none"},
        {"ADVGUI=1\r\n", "/GUI", 0, 0, none, en, false, true, "none"},
        {"", "/GUI", REG_DWORD, 4, english, en, false, false, "4 4 1"},
        {"", "/CONFIG /LANG:GER", REG_BINARY, 2, german, de, true, true, "3 4 1"},
        {"", "/GUI", 0, 0, none, en, false, false, "3 4 1"},
    };
    for (const auto& row : rows)
    {
        const DWORD one = 1;
        if (row.Type)
        {
            RegDeleteTreeA(HKEY_CURRENT_USER, RegKey.c_str());
            RegSetKeyValueA(HKEY_CURRENT_USER, RegKey.c_str(), "DontShowAgainSrvCtrl", row.Type, &one, row.Size);
        }
        WriteConfig(row.Extra);
        CHILD child;
        HWND dialog = Open(child, row.Arguments);
        ASSERT_NE(nullptr, dialog) << row.Arguments;
        std::string texts = Narrow(WindowText(dialog));
        for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
        {
            if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                texts += "|" + Narrow(WindowText(control));
        }
        EXPECT_EQ(row.Dialog, texts);
        HWND notice = WaitForWindow(child.Id(), "TarniWinClassInfoWindow", 0);
        EXPECT_EQ(row.Notice, notice ? Narrow(ControlText(notice, 1001)) + "|" + Narrow(ControlText(notice, 1002))
                                     : "")
            << row.Extra << row.Arguments << row.Type;
        if (notice)
        {
            EXPECT_EQ(L"Tarni Service Controller", WindowText(notice));
            EXPECT_TRUE(WaitUntil([&] {
                HWND window = GetTopWindow(0);
                while (window && window != notice && window != dialog)
                    window = GetWindow(window, GW_HWNDNEXT);
                return window == notice;
            })) << "the notice in front";
            if (row.Tick)
            {
                PressButton(notice, 1002);
                WaitUntil([&] { return SendMessageA(GetDlgItem(notice, 1002), BM_GETCHECK, 0, 0) == BST_CHECKED; });
            }
            PostMessageA(notice, WM_CLOSE, 0, 0);
            WaitUntil([&] { return !IsWindow(notice); });
        }
        // Start is disabled: the command its click would send.
        for (int id : row.Refused ? std::vector<int>{IDC_INSTALL, IDC_START} : std::vector<int>())
        {
            SetDlgItemTextA(dialog, IDC_RESULT, "before");
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
            HWND box = WaitForWindow(child.Id(), "#32770", 20000, dialog);
            ASSERT_NE(nullptr, box);
            EXPECT_EQ(Name + " Service|" + refusals[row.Notice == german ? 1 + (id == IDC_START) : 0],
                      Narrow(WindowText(box)) + "|" + Narrow(ControlText(box, 0xFFFF)));
            PressButton(box, IDOK);
            EXPECT_EQ("", WaitForText([&] { return Result(dialog); }, ""));
        }
        EXPECT_EQ(0, Close(child, dialog));
        DWORD type = 0, value = 0, size = 8;
        bool stored = !RegGetValueA(HKEY_CURRENT_USER, RegKey.c_str(), "DontShowAgainSrvCtrl", RRF_RT_ANY, &type,
                                    &value, &size);
        EXPECT_EQ(row.After, stored ? std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(value)
                                    : "none") << row.Arguments;
    }
}

// Each row opens the controller and presses one button of the first window
// it shows: the dialog, or the missing-files box before it.
TEST_F(GuiTest, BadConfigurationValuesAndHelpFiles)
{
    const std::string longKey = Name + std::string(300 - Name.size(), 'k');
    ATEND cleanup{[&] { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Tarni\\" + longKey).c_str()); }};
    const struct
    {
        std::string Help, Key;
        const char* Arguments;
        int Press, Exit;   // 99: the missing-files box
    } rows[] = {
        {"demoapp", "", "", IDCANCEL, 0},
        {"|1000", "", "", IDCANCEL, 0},
        {"demoapp|abc", "", "", IDCANCEL, 0},
        // No topic-id file can have such a name: without NOHELP the program ends with 99.
        {std::string(300, 'h') + "|1000", "", " /NOHELP", IDCANCEL, 0},
        {"demoapp|1000", Name + "\\a\\\\b\\", "", IDCANCEL, 0},
        {"demoapp|1000", longKey, "", IDCANCEL, 0},
        {"demoapp|4711", "", "", IDHELP, 0},   // a topic the help file lacks ends the dialog
        {"nohelp|1000", "", "", IDOK, 99},
    };
    for (const auto& row : rows)
    {
        WriteConfig("", row.Help, row.Key);
        CHILD child;
        ASSERT_TRUE(Start(child, std::string("/GUI /NOASSERT") + row.Arguments));
        HWND window = WaitForWindow(child.Id(), "#32770", 20000);
        EXPECT_EQ(row.Exit == 0, window && !ControlText(window, IDC_STATUS).empty()) << row.Help << " " << row.Key;
        PressButton(window, row.Press);
        EXPECT_EQ(row.Exit, child.Wait(20000)) << row.Help << " " << row.Key;
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
    ASSERT_TRUE(SCOWNER(CreateServiceA(SCOWNER(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS)).get(), Name.c_str(),
                                       Name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, Exe.c_str(), 0, 0, 0, 0, 0)));
    SERVICECONFIG::Store().Get("AppName") = Name.c_str();
    SERVICEGUI dialog;
    ASSERT_NE(nullptr, dialog.Hwnd());
    SendMessageA(dialog.Hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ("Service installed, stopped|0110", State(dialog.Hwnd()));
    SetManagerOpener(RefuseManager);
    SendMessageA(dialog.Hwnd(), WM_TIMER, 1, 0);
    SetManagerOpener(0);
    EXPECT_EQ("Service not installed|1000", State(dialog.Hwnd()));

    // The controls where the template puts them: x, y, width and height in
    // dialog units; the icon takes the size of its image.
    const RECT expected[] = {{161, 10, 45, 14}, {14, 10, 20, 20},   {51, 17, 93, 14},  {51, 34, 45, 14},
                             {99, 34, 45, 14},  {51, 51, 93, 14},   {14, 74, 180, 40}, {25, 86, 157, 8},
                             {25, 100, 157, 8}, {161, 27, 45, 14}};
    HWND child = GetWindow(dialog.Hwnd(), GW_CHILD);
    for (RECT rect : expected)
    {
        ASSERT_NE(nullptr, child);
        MapDialogRect(dialog.Hwnd(), &rect);
        RECT seen;
        GetWindowRect(child, &seen);
        MapWindowPoints(0, dialog.Hwnd(), reinterpret_cast<POINT*>(&seen), 2);
        seen.right -= seen.left, seen.bottom -= seen.top;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seen.right = rect.right, seen.bottom = rect.bottom;
        EXPECT_TRUE(EqualRect(&rect, &seen)) << "control " << GetDlgCtrlID(child);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child);
}
