#pragma once
// The controller dialog: the service's state, refreshed every two seconds,
// and the buttons that install, remove, start and stop it.

#include <windows.h>

#include "framework/windows/windows_win32.h"

class SERVICEGUI : public DIALOG
{
public:
    // The dialog of the executable's own resources (never the language
    // library's), titled and labelled for the configuration and language.
    SERVICEGUI();
    ~SERVICEGUI() override;

    int OnButton(int id) override;
    int OnTimer(UINT_PTR id) override;
    // Shows the topic of "AppHelp"; a topic the help file lacks ends the dialog.
    int OnHelp() override;

    // The notice, the help file, then the dialog until it is closed.
    static void Run();

private:
    void Refresh();
    // True when the service may not be installed or started on this system
    // (after telling the user).
    bool Refused(bool start);
    void SetItemText(int id, const STRING& text);
};
