#include "service/servicegui.h"

#include <stdlib.h>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/windows/helpfile.h"
#include "framework/windows/winmisc_win32.h"
#include "service/serviceconfig.h"
#include "service/serviceops.h"
#include "service/serviceres.h"

namespace
{
    const UINT_PTR RefreshTimer = 1;
    const UINT_PTR NoticeTimer = 2;
    const int MaxLineLength = 127;

    // The notice stays open beside the dialog; null when it was not shown.
    HWND gNotice = 0;

    const char EnglishNotice[] =
        " I M P O R T A N T !\r\n"
        " \r\n"
        " This tool can be used to install $PROGNAME as a system\r\n"
        " service. In this case it will run in the background\r\n"
        " on the login screen.\r\n"
        " \r\n"
        " Installation as a service is intended for experienced\r\n"
        " users and server administrators who need to run $PROGNAME\r\n"
        " on server PCs that normally do not have a user logged on.\r\n"
        " \r\n"
        " Please do not use this tool, if you do not know about\r\n"
        " services!";

    const char GermanNotice[] =
        " W I C H T I G !\r\n"
        " \r\n"
        " Mit diesem Tool kann $PROGNAME als Service am System\r\n"
        " angemeldet werden. In diesem Fall braucht zur Ausf\xFChrung\r\n"
        " von $PROGNAME kein Benutzer am System angemeldet zu sein,\r\n"
        " und $PROGNAME wird beim Hochfahren des Systems automatisch\r\n"
        " gestartet.\r\n"
        " \r\n"
        " Diese Funktion ist nur f\xFCr fortgeschrittene Anwender\r\n"
        " gedacht und macht \xFC" "blicherweise nur bei Server-\r\n"
        " Installationen Sinn, auf denen kein Benutzer angemeldet ist.\r\n"
        " \r\n"
        " Bitte verwenden Sie dieses Tool nur, wenn Sie sich\r\n"
        " absolut sicher sind, dass Sie \xFC" "ber Funktionsweise und\r\n"
        " Wirkung von Service-Eintr\xE4gen im System ausreichend\r\n"
        " informiert sind!";

    // Buttons in the order Install, Uninstall, Start, Stop.
    const int Buttons[4] = {IDC_INSTALL, IDC_UNINSTALL, IDC_START, IDC_STOP};

    struct STATETEXT
    {
        const char* English;
        const char* German;
        int Enabled;   // a bit per button of Buttons; -1 leaves them as they are
    };

    const STATETEXT States[] = {
        {"Service not installed", "Service nicht installiert", 1},
        {"Service installed, stopped", "Service installiert, gestoppt", 2 | 4},
        {"Service installed, start pending", "Service installiert, startend", -1},
        {"Service installed, stop pending", "Service installiert, stoppend", -1},
        {"Service installed, running", "Service installiert, gestartet", 8},
        {"Service installed, continue pending", "Service installiert, Forts. ausstehend", -1},
        {"Service installed, pause pending", "Service installiert, Pause ausstehend", -1},
        {"Service installed, paused", "Service intsalliert, angehalten", 4 | 8},
    };

    bool German() { return gLocale == 7; }

    // The result line for an operation's code; word is the operation's
    // participle in English, then in German.
    STRING ResultText(int code, const char* english, const char* german)
    {
        STRING text;
        if (German())
            text = code == 0 ? "Service wurde erfolgreich *." : "Service konnte nicht * werden.";
        else
            text = code == 0 ? "Service * sucessfully." : "Service cannot be *.";
        text.Replace("*", German() ? german : english);
        return text;
    }

    void ShowNotice()
    {
        STRING text(German() ? GermanNotice : EnglishNotice);
        text.Replace("$PROGNAME", SERVICECONFIG::Value("AppName").Text());
        gNotice = WINTARNI::ShowInfoWindow(0, "Tarni Service Controller", text.Text(),
                                           SERVICECONFIG::Value("AppRegKey").Text(), "DontShowAgainSrvCtrl");
    }

    // The first field of "AppHelp", completed for the language; a compiled
    // help file when it exists, else the old-style one of the same name.
    void SetHelpFile()
    {
        STRING name = SERVICECONFIG::Value("AppHelp").Token(0, "|");
        if (name.IsEmpty())
            return;
        if (name.Pos("english") < 0)
            name.Append(German() ? "german.chm" : "english.chm");
        bool html = FILENAME(name.Text()).Exists();
        if (!html)
        {
            name.Truncate(name.Length() - 3);
            name.Append("hlp");
        }
        HELPFILE::Get().SetFilename(name.Text(), html);
    }
}

SERVICEGUI::SERVICEGUI() : DIALOG(IDD_SERVICEGUI, 0, GetModuleHandleA(0))
{
    if (!hWnd)
        return;
    if (SERVICECONFIG::Store().Exists("WINDOWTITLE"))
    {
        char title[256] = "";
        GetWindowTextA(hWnd, title, sizeof(title));
        STRING text(title);
        text.Replace("Tarni", SERVICECONFIG::Value("WINDOWTITLE").Text());
        SetText(text.Text());
    }
    if (German())
    {
        SetItemText(IDC_INSTALL, "Installieren");
        SetItemText(IDC_UNINSTALL, "Deinstallieren");
        SetItemText(IDC_START, "Starten");
        SetItemText(IDC_STOP, "Stoppen");
        SetItemText(IDCANCEL, "Fertig");
        SetItemText(IDHELP, "Hilfe");
    }
}

SERVICEGUI::~SERVICEGUI()
{
    if (hWnd)
    {
        KillTimer(RefreshTimer);
        KillTimer(NoticeTimer);
    }
    DestroyOwnedWindow();
}

void SERVICEGUI::Run()
{
    Logit("SERVICEGUI::Run\n");
    if (!TestArg("ADVGUI") && strtol(SERVICECONFIG::Value("ADVGUI").Text(), 0, 10) == 0)
        ShowNotice();
    SetHelpFile();

    SERVICEGUI dialog;
    if (!dialog.Hwnd())
        return;
    dialog.SetTimer(RefreshTimer, 2000);
    SendMessageA(dialog.Hwnd(), WM_TIMER, RefreshTimer, 0);
    if (gNotice)
        dialog.SetTimer(NoticeTimer, 200);
    dialog.RunModal(false);
    Logit("SERVICEGUI::Run done\n");
}

int SERVICEGUI::OnTimer(UINT_PTR id)
{
    if (id == NoticeTimer)
    {
        KillTimer(NoticeTimer);
        if (gNotice && ::IsWindow(gNotice))
            SetActiveWindow(gNotice);
        return 1;
    }
    if (id == RefreshTimer)
    {
        Refresh();
        return 1;
    }
    return 0;
}

void SERVICEGUI::Refresh()
{
    int state = ServiceOperation("QUERY_STATUS", SERVICECONFIG::Value("AppName"), 0, 0);
    STRING text;
    int enabled = 15;
    if (state >= 0 && state < (int)(sizeof(States) / sizeof(States[0])))
    {
        text = German() ? States[state].German : States[state].English;
        enabled = States[state].Enabled;
    }
    else
    {
        text.Format(German() ? "Unbek. Status: %d" : "Status unknown: %d", state);
    }
    SetItemText(IDC_STATUS, text);
    if (enabled < 0)
        return;
    for (int i = 0; i < 4; i++)
        EnableWindow(GetDlgItem(hWnd, Buttons[i]), (enabled & 1 << i) ? TRUE : FALSE);
}

bool SERVICEGUI::Refused(bool start)
{
    if (OSYS::GetOsId() <= 4 || TestArg("ADVGUI"))
        return false;
    STRING name = SERVICECONFIG::Value("AppName");
    STRING text;
    if (!German())
        text = "The " || name || " service can not be used under Windows Vista or higher.";
    else if (start)
        text = "Der " || name || "-Service kann unter Windows Vista oder h\xF6her nicht mehr verwendet werden.";
    else
        text = "Der " || name || "-Service kann unter Windows Vista oder h\xF6her nicht verwendet werden.";
    WINTARNI::InfoMsgBox(0, (name || " Service").Text(), text.Text());
    return true;
}

int SERVICEGUI::OnButton(int id)
{
    Logit("SERVICEGUI::OnButton %d\n", id);
    if (id == IDHELP)
        return OnHelp();
    STRING name = SERVICECONFIG::Value("AppName");
    STRING windowClass = SERVICECONFIG::Value("AppWinClass");
    STRING executable = SERVICECONFIG::Value("AppExe");
    STRING result;
    int answer = 1;
    switch (id)
    {
    case IDCANCEL:
        EndModal(0);
        break;
    case IDC_INSTALL:
        if (!Refused(false))
            result = ResultText(ServiceOperation("INSTALL", name, windowClass.Text(), executable.Text()), "installed",
                                "installiert");
        break;
    case IDC_UNINSTALL:
        result = ResultText(ServiceOperation("UNINSTALL", name, windowClass.Text(), executable.Text()), "uninstalled",
                            "deinstalliert");
        break;
    case IDC_START:
        if (!Refused(true))
            result = ResultText(ServiceOperation("START", name, 0, 0), "started", "gestartet");
        break;
    case IDC_STOP:
        result = ResultText(ServiceOperation("STOP", name, 0, 0), "stopped", "gestoppt");
        break;
    default:
        answer = 0;
        break;
    }
    SetItemText(IDC_RESULT, result);
    return answer;
}

int SERVICEGUI::OnHelp()
{
    int topic = (int)strtol(SERVICECONFIG::Value("AppHelp").Token(1, "|").Text(), 0, 10);
    bool shown = HELPFILE::Get().ShowTopic(topic);
    Logit("SERVICEGUI::OnHelp topic %d shown= %d\n", topic, shown ? 1 : 0);
    SetItemText(IDC_RESULT, STRING());
    // DIALOG ends nothing for a help button: a missing topic ends the dialog here.
    if (!shown)
        EndModal(IDHELP);
    return 1;
}

void SERVICEGUI::SetItemText(int id, const STRING& text)
{
    WINDOW(GetDlgItem(hWnd, id)).SetText(text.Left(MaxLineLength).Text());
}
