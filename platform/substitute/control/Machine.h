// The machine as a whole: reset, scripted failures and the list of misuses found.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

// A fresh machine: every model back to its start. Waits first for the threads that the last
// test left running.
void Reset();

// Everything the program did wrong so far (a handle closed twice, a shared icon destroyed, a
// notification call that overlapped another, ...) followed by what it left behind: open
// handles, queries and registry keys, a loaded library. Empty when all is well.
std::vector<std::string> Problems();

// The (skip + 1)-th next call of the named platform function fails. Functions that return a
// status return `status`; the others return their failure value and set the last error to it.
void FailNext(std::string_view function, uint32_t status, unsigned skip = 0);

}  // namespace substitute
