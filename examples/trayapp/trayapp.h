#pragma once
// Resource ids of the tray sample.

#define IDI_TRAYAPP 1
#define IDM_TRAYAPP 100
#define IDA_TRAYAPP 101
#define IDM_HELLO 1001
#define IDM_CRASH 1002
#define IDM_EXIT 1003
