// The hidden main window and the handles that the rest of the program borrows from it.
#pragma once

#include "platform/Win32.h"

// The module instance, for resources and icon extraction; set once at start-up.
extern HINSTANCE AppInstance;
// The hidden main window: owner of the tray icon, the menu and the dialogs; null until created.
extern HWND MainWindow;
