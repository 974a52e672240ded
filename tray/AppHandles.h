// The module and main-window handles that the whole program borrows; both are set once at
// start-up by the main window.
#pragma once

#include "platform/Win32.h"

// The module instance, for resources and icon extraction.
extern HINSTANCE AppInstance;
// The hidden main window: owner of the tray icon, the menu and the dialogs; null until created.
extern HWND MainWindow;
