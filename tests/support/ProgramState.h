// The program's process-wide values as they are when the process starts, for unit tests and fuzz
// targets alike. The window-side values are the window tests' own.
#pragma once

#include "platform/Win32.h"

// Puts every process-wide value of the logic back to its start value, with the substitute's
// module instance and a fake main window in place.
void ResetProgramState();

// A fake main window handle; the substitute never dereferences it.
HWND FakeMainWindow();
