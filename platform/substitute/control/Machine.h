// The machine as a whole: reset, scripted failures and the list of misuses found.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <string>
#include <string_view>
#include <vector>

namespace substitute {

// A fresh machine: every model back to its start. Waits first for the threads that the last
// test left running.
void Reset();

// Everything the program did wrong so far (a handle closed twice, a shared icon destroyed, a
// notification call that overlapped another, ...) followed by what it left behind: open
// handles, open queries, open registry keys. Empty when all is well.
std::vector<std::string> Problems();

// The (skip + 1)-th next call of the named platform function fails. Functions that return a
// status return `status`; the others return their failure value and set the last error to it.
void FailNext(std::string_view function, uint32_t status, unsigned skip = 0);

// The platform family GetVersionExA reports: VER_PLATFORM_WIN32_NT (the default, version 5.1)
// or VER_PLATFORM_WIN32_WINDOWS (version 4.10).
void SetPlatformId(DWORD platformId);

}  // namespace substitute
