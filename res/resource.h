// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_PROGRESS_NOCANCEL 105
#define IDD_PROGRESS 102
#define IDI_APP 103
#define IDR_TRAY_MENU 104

#define IDC_MINIMIZE 1002
#define IDC_PROGRESS_BAR 1003
#define IDC_STATUS 1004
#define IDC_CANCEL_INSTALL 1005
#define IDC_PERCENT 1006
#define IDC_SPEED 1007

#define ID_TRAY_SHOW 40002
#define ID_TRAY_EXIT 1005
