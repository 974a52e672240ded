// The Settings dialog: the watched disk, the blink duration, the two tray icons and auto-start.
#pragma once

#include "platform/Win32.h"

// 1 from the dialog's initialisation until OK or Cancel ends it; the main window opens no
// second one meanwhile.
extern int SettingsDialogOpen;

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);


// The blink duration that the text of the dialog's edit box stands for: a decimal number after
// optional white space and sign, read up to the first other character, taken as unsigned and
// held within 100..2000. No digits count as 0; below zero counts as above any duration.
DWORD BlinkDurationFromText(const char* text);
