// The hidden main window: it receives the tray icon's mouse events, the menu's commands and the
// shell's restart broadcast, and routes them. The handles the rest of the program borrows from it.
#pragma once

#include "platform/Win32.h"
#include "tray/AppHandles.h"

// The number of the shell's "TaskbarCreated" broadcast; 0 until it is registered.
extern UINT TaskbarCreatedMessage;

// Class name and title of the main window, and the name of the single-instance mutex.
constexpr const char* MainWindowName = "Lumenhop";

// The one-shot timer that rebuilds the disk catalogue once volume broadcasts have settled; apart
// from the tray's TrayAddRetryTimer.
constexpr UINT_PTR DiskChangeTimer = 2;
constexpr UINT DiskChangeSettleTime = 500;

// Creates the hidden main window and runs the first monitor set-up; FALSE when the window
// cannot be created.
BOOL CreateMainWindow(HINSTANCE instance);
// Lets the message through the system's filter of messages from lower integrity levels, where
// the system has one.
void AllowMessageFromBelow(HWND window, UINT message);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
