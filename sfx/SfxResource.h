// Resource identifiers of the installer and the uninstaller.
#pragma once

#define IDI_KEST 1
#define IDD_PROGRESS 100
#define IDD_PASSWORD 101
#define IDC_STATUS 1001
#define IDC_PROGRESS 1002
#define IDC_PROMPT 1003
#define IDC_PASSWORD 1004
