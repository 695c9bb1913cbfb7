// Resource and control identifiers of setup.exe.
#pragma once

#define IDD_ABOUTBOX          100
#define IDS_ABOUTBOX          101
#define IDD_SETUP_DIALOG      102
#define IDR_MAINFRAME         128
#define IDD_WELCOME           129
#define IDD_FOLDER            130
#define IDD_INSTALL           131
#define IDR_ARCHIVE           132
#define IDR_ARCHIVER          133
#define IDD_FINISH            134
#define IDD_EXITCONFIRM       135
#define IDB_SIDEBAR           138
#define IDB_HEADER            140
#define IDB_WARNING           141

// Frame (102)
#define IDC_NEXT              1000
#define IDC_CANCEL_SETUP      1001
#define IDC_BACK              1003
// Exit confirmation (135)
#define IDC_CONFIRM_YES               1000
#define IDC_CONFIRM_NO                1001
#define IDC_QUESTION          1008
// Folder page (130)
#define IDC_BROWSE            1000
#define IDC_FOLDER_EDIT       1004
#define IDC_FOLDER_TITLE      1007
#define IDC_FOLDER_SUBTITLE   1008
#define IDC_FOLDER_TEXT       1009
#define IDC_FOLDER_GROUP      1010
// Welcome page (129)
#define IDC_WELCOME_TEXT      1007
#define IDC_WELCOME_HEADING   1008
// Progress page (131)
#define IDC_STATUS_EDIT       1004
#define IDC_PROGRESS          1005
#define IDC_INSTALL_TITLE     1007
#define IDC_INSTALL_SUBTITLE  1008
// Finish page (134)
#define IDC_CHK_STARTMENU     1006
#define IDC_CHK_STARTUP       1007
#define IDC_CHK_DESKTOP       1008
#define IDC_CHK_RUNNOW        1009
#define IDC_FINISH_HEADING    1011
#define IDC_FINISH_TEXT       1012
// About box (100)
#define IDC_ABOUT_PRODUCT     1000
#define IDC_ABOUT_VERSION     1001

#define IDM_ABOUTBOX          0x0010
