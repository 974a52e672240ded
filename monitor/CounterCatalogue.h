// The disk instances the user can watch, built from the performance-counter service, and the
// selection of the one that the next sampler watches.
#pragma once

#include "platform/Win32.h"

#include <vector>

struct CounterEntry {
    LONG Ordinal;            // position in its own object's instance list, from 0
    WideString DisplayName;  // object "(" instance ")"
    WideString CounterPath;  // "\" object "(" instance ")\" counter
};

// Every instance of the first disk object, then every instance of the second, as the service
// lists them.
extern std::vector<CounterEntry> CounterCatalogue;

// The counter path that the next sampler started will watch; empty when nothing is selected.
extern WideString SelectedCounterPath;

// Name indexes of the two disk objects and of the counter that every path names.
constexpr DWORD FirstDiskObjectIndex = 236;
constexpr DWORD SecondDiskObjectIndex = 234;
constexpr DWORD DiskCounterIndex = 224;

// A looked-up name needs at most this many units with its terminator; a longer one is left
// out (kept empty) rather than cut into a different name.
constexpr DWORD PerfNameCapacity = 1024;
// A display name or counter path has fewer units than this; an instance that would need more
// is left out of the catalogue, and the instances after it keep their ordinals.
constexpr size_t EntryTextCapacity = 2048;
// Counter and instance lists longer than this many units are taken for a broken service.
constexpr DWORD ObjectListLimit = DWORD{1} << 24;

constexpr int NoEntry = -1;

// The tooltip while the service lists no disk at all: the counters are disabled or damaged.
constexpr const WCHAR* NoCountersTooltip = WIDE("Disk counters unavailable (see README.txt)");

void BuildCounterCatalogue();
int FindEntryContaining(const WideString& text);
int FindEntryNamed(const WideString& name);
// The entry whose counter path SelectedCounterPath is: the one being watched, or NoEntry.
int WatchedEntry();
void SetTooltipFromEntry(int index);
void SelectCounterEntry(int index);
void SelectDefaultEntry();
void SelectSavedEntry(const WideString& savedName);
