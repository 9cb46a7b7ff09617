// Resource numbers of the dialog and control tests.
#pragma once

#define IDD_CONTROLS    200   // every kind of control, 8 point "MS Shell Dlg"
#define IDD_FOCUSRC0    201   // control 800 asks WM_INITDIALOG to answer 0
#define IDD_FOCUSPLAIN  202   // the same without control 800
#define IDD_OLDSTYLE    203   // a template of the first format
#define IDD_OWNERDRAW   204   // owner-drawn combo boxes
#define IDD_MISSING     299

#define IDC_OTHER       301
#define IDC_CHECK       302
#define IDC_LIST        303
#define IDC_MULTILIST   304
#define IDC_COMBO       305
#define IDC_BUDDY       306
#define IDC_UPDOWN      307
#define IDC_PLACEHOLDER 308
#define IDC_FIRSTEDIT   310
#define IDC_INITRC      800
#define IDC_NEWCONTROL  320
#define IDC_FIXEDCOMBO  330
#define IDC_ICONCOMBO   331

#define IDM_TESTMENU    400
#define IDM_FILE_OPEN   401
#define IDA_TESTKEYS    402
