// The shell's icon picker, as the Settings dialog's Browse buttons open it.
#pragma once

#include "platform/Win32.h"

// Shows the shell's icon picker over `owner`, starting from the path (narrow text in a buffer of
// `capacity` bytes) and the index given. TRUE when the user picked an icon whose file this
// program can name: `path` then holds that file, terminated, and `index` the icon's position.
// Otherwise both are left as they were.
BOOL ChooseIcon(HWND owner, LPSTR path, UINT capacity, int* index);
