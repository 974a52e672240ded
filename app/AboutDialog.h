// The About box: fixed text, the emblem and an OK button.
#pragma once

#include "platform/Win32.h"

// 1 while an About box is open; the main window opens no second one meanwhile.
extern int AboutDialogOpen;

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
