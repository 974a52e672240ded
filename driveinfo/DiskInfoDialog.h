// The Disk Information dialog: the drive report in a read-only edit box and a Close button.
#pragma once

#include "platform/Win32.h"

// 1 from the end of the dialog's initialisation until it closes; the main window opens no
// second one meanwhile.
extern int DiskInfoDialogOpen;

INT_PTR CALLBACK DiskInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
