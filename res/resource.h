// Resource and control identifiers shared by the resource script and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDI_TRAY 129
#define IDR_TRAY_MENU 129
#define IDI_TRAY_WARNING 130

#define IDD_ABOUTBOX 100
#define IDD_VARNOW_DIALOG 102

#define IDS_ABOUTBOX 101
#define IDS_VERSION 102
#define IDS_OPEN_RECORDS 103

#define IDM_ABOUTBOX 0x0010
#define IDM_OPEN_RECORDS 0x0020

#define IDC_TARGET 1000
#define IDC_WAITING 1001
#define IDC_HEADER 1002
#define IDC_FOOTER 1003
#define IDC_PRIORITY 1004
#define IDC_BROWSE_HEADER 1005
#define IDC_BROWSE_FOOTER 1006
#define IDC_VERSION 1006
#define IDC_OUTPUT 1007
#define IDC_FILE_COUNT 1008
#define IDC_BYTE_COUNT 1009
#define IDC_UPTIME 1010
#define IDC_FOLDER 1011
#define IDC_BROWSE_FOLDER 1012
#define IDC_STATUS 1013
#define IDC_FULL_VERSION 1014
#define IDC_OUTPUT_MENU 1015

#define ID_SEARCH_START 101
#define ID_SEARCH_STOP 32771
#define ID_OUTPUT_CANCEL 32772
#define ID_TRAY_EXIT 32773
#define ID_APP_ABOUT_TRAY 32776
#define ID_TRAY_HIDE 32777
#define ID_TRAY_SHOW 32778
#define ID_OPEN_RECORDS 32779

// The framework's ID_HELP: the Help button issues the help command itself.
#define ID_HELP_BUTTON 57670

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
