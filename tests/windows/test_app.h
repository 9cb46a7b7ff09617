// Resource numbers of the application, menu and taskbar icon tests.
#pragma once

#define IDI_APPICON     1
#define IDD_APPDIALOG   500
#define IDM_APPMENU     510
#define IDM_NEW         511
#define IDM_RECENT      512   // inside a submenu
#define IDM_EXIT        513
#define IDM_OPENTOP     514   // same name as IDM_RECENT, later depth-first
#define IDA_APPKEYS     520   // F2 -> IDM_NEW
#define IDA_WINKEYS     521   // F2 -> IDM_EXIT
