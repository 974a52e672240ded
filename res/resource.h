// Resource and control IDs, grouped by where they are used. Shared by Lumenhop.rc and the code.
#pragma once

// Tray menu, its commands and the accelerators that share them.
#define IDR_TRAYMENU 123
#define IDR_ACCELERATORS 105
#define IDM_ABOUT 120
#define IDM_SETTINGS 121
#define IDM_EXIT 122
#define IDM_DISKINFO 32772

// Icons.
#define IDI_EMBLEM 110
#define IDI_EMBLEM_SMALL 111
#define IDI_EMBLEM_LARGE 112
#define IDI_TRAY_ACTIVE 113
#define IDI_TRAY_INACTIVE 114

// Disk Information dialog.
#define IDD_DISKINFO 101
#define IDC_REPORT 1007

// About dialog.
#define IDD_ABOUT 102
#define IDC_ABOUT_BLANK 1016

// Settings dialog.
#define IDD_SETTINGS 103
#define IDC_AUTOSTART 1000
#define IDC_ACTIVE_PREVIEW 1002
#define IDC_INACTIVE_PREVIEW 1003
#define IDC_BROWSE_ACTIVE 1004
#define IDC_BROWSE_INACTIVE 1005
#define IDC_DEFAULT_ICONS 1006
#define IDC_DISK 1010
#define IDC_BLINK_DURATION 1013
#define IDC_GROUP 1019
#define IDC_BLINK_LABEL 1020
#define IDC_DISK_LABEL 1021

// Controls without an ID of their own.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
