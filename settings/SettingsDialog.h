// The Settings dialog: the watched disk, the blink duration, the two tray icons and auto-start.
#pragma once

#include "platform/Win32.h"

// 1 from the dialog's initialisation until OK or Cancel ends it; the main window opens no
// second one meanwhile.
extern int SettingsDialogOpen;

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
