// Resource ids of the setup program.
#pragma once

#define IDD_SETUP_DIALOG        102
#define IDR_MAINFRAME           128

// Page skins, one per wizard page.
#define IDB_SKIN_WELCOME        129
#define IDB_SKIN_TERMS          130
#define IDB_SKIN_FOLDER         131
#define IDB_SKIN_FINISH         132
#define IDB_SKIN_INSTALLING     135
#define IDB_SKIN_COMPONENTS     136

#define IDB_TREE_STATES         139
#define IDB_CHECK_ON            141
#define IDB_CHECK_OFF           142

// Controls of the setup dialog.
#define IDC_DESKTOP_CHECK       101
#define IDC_STARTMENU_CHECK     103
#define IDC_BACK                1000
#define IDC_NEXT                1001
#define IDC_TERMS_TEXT          1002
#define IDC_OPTIONS_TREE        1004
#define IDC_DETAILS_GROUP       1005
#define IDC_TERMS_LABEL         1006
#define IDC_DESCRIPTION         1007
#define IDC_BROWSER             1008
#define IDC_PROGRESS            1009
#define IDC_STATUS              1010
#define IDC_DESKTOP_LABEL       1011
#define IDC_STARTMENU_LABEL     1012
#define IDC_FINISH_NOTICE       1013
