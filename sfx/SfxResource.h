// Resource identifiers of the installer and the uninstaller. Each wizard page is a child
// dialog of the wizard's frame whose control identifier is its dialog's identifier, so that
// a page can be found from the frame (GetDlgItem(frame, IDD_PAGE_...)).
#pragma once

#define IDI_KEST 1
// The uninstaller's progress window.
#define IDD_PROGRESS 100
// The wizard's frame: heading, subheading, the page area, Back, Next (IDOK) and Cancel
// (IDCANCEL).
#define IDD_WIZARD 110
#define IDD_PAGE_LANGUAGE 120
#define IDD_PAGE_WELCOME 121
#define IDD_PAGE_LICENSE 122
#define IDD_PAGE_PASSWORD 123
#define IDD_PAGE_FOLDER 124
#define IDD_PAGE_PROGRESS 125
#define IDD_PAGE_FINISH 126

#define IDC_STATUS 1001
#define IDC_PROGRESS 1002
#define IDC_PROMPT 1003
#define IDC_PASSWORD 1004
#define IDC_HEADING 1010
#define IDC_SUBHEADING 1011
#define IDC_PAGE_AREA 1012
#define IDC_BACK 1013
#define IDC_BANNER 1014
#define IDC_LANGUAGE 1020
#define IDC_TEXT 1021
#define IDC_LICENSE 1022
#define IDC_ACCEPT 1023
#define IDC_ERROR 1024
#define IDC_FOLDER 1025
#define IDC_BROWSE 1026
#define IDC_SPACE_NEEDED 1027
#define IDC_SPACE_FREE 1028
#define IDC_FILE 1029
