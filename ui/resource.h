// Resource and control identifiers of the setup dialog.
#pragma once

#define IDB_LOGO 105
#define IDD_SETUP 107

#define IDC_EXIT 1000
#define IDC_DEVICE_LIST 1001
#define IDC_DELAY_EDIT 1002
#define IDC_DELAY_SPIN 1003
#define IDC_INTERVAL_EDIT 1004
#define IDC_INTERVAL_SPIN 1005
#define IDC_RELEASE_EDIT 1006
#define IDC_RELEASE_SPIN 1007
#define IDC_STATUS_TEXT 1008
#define IDC_CODE_TEXT 1009
#define IDC_BUTTON_TEXT 1010
#define IDC_DEFAULTS 1011
#define IDC_BUTTON_LIST 1012
#define IDC_COMMAND_LIST 1013
#define IDC_ABOUT_TEXT 1014
