// The system's own DLLs, from the system directory alone (Windows only). pdh.dll is not one of
// the KnownDLLs, which the loader never looks for beside the executable, so the program does not
// import it: its seven functions, under their own names, forward to the system's pdh.dll, bound
// at their first call (the first catalogue build, on the GUI thread, before any sampler starts).
// Without that DLL, or with one that lacks any of the seven, every call fails, and the program
// runs as with a counter service that lists no disks: an empty catalogue, and no sampler.
#pragma once

// From now on the process looks for DLLs loaded by name in the system directory only, the
// system's own components too; where Windows cannot do that (before its loader update of 2011)
// nothing changes.
void KeepLibrarySearchInSystem();
