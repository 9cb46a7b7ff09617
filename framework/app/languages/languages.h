// Numbers of the resources every language library carries; the framework
// loads them from the resource module by these numbers.
#pragma once

#define IDS_APPTITLE            10001   // the application's title, for boxes without one
#define IDS_FILENOTOPENED       10110   // "$FILENAME" and "$ERROR" are filled in

#define IDD_KEYEDMSGBOX         10701   // message box with a "do not show again" check box
#define IDC_KEYEDMSGBOX_TEXT    10001
#define IDC_KEYEDMSGBOX_ICON    10002
#define IDC_KEYEDMSGBOX_DONTASK 10003
