#pragma once
// Ids shared by the controller dialog's template and its code.

#define IDD_SERVICEGUI 100
#define IDC_INSTALL 1100
#define IDC_UNINSTALL 1101
#define IDC_START 1102
#define IDC_STOP 1103
#define IDC_STATUS 1104
#define IDC_RESULT 1105
