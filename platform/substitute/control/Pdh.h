// The performance-counter service: name table, objects with their instance lists, and one
// scripted sequence of samples per counter path.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace substitute {

using WideText = std::basic_string<WCHAR>;

// The localized name that a name index stands for.
void SetPerfName(DWORD index, const WideText& name);

// An object with its instances and counters, in the order the service lists them. Its counter
// paths "\object(instance)\counter" can be added to a query.
void AddPerfObject(const WideText& name, const std::vector<WideText>& instances,
                   const std::vector<WideText>& counters);

// What a broken or hostile service might answer for one object instead: the lengths its
// sizing call reports and the units its filling call writes (never more than the caller's
// lengths), terminated or not.
struct RawObjectAnswer {
    DWORD counterLength = 0;
    DWORD instanceLength = 0;
    std::vector<WCHAR> counterList;
    std::vector<WCHAR> instanceList;
};
void SetRawObjectAnswer(const WideText& name, const RawObjectAnswer& answer);

// The size that the sizing lookup of a name index reports instead of the true one.
void SetPerfNameSize(DWORD index, DWORD size);

// The usual English names: 236 "LogicalDisk", 234 "PhysicalDisk", 224 "Avg. Disk
// Bytes/Transfer", with these instances (each object gets the counter 224 names).
void SeedDiskObjects(const std::vector<WideText>& logicalInstances,
                     const std::vector<WideText>& physicalInstances);

// One reading of a counter: what the collect that takes it returns, what the formatted read
// returns afterwards, and the value. A collect that returns PDH_NO_DATA leaves the value alone.
struct Sample {
    LONG value = 0;
    DWORD collectStatus = 0;
    DWORD formatStatus = 0;
};
// Each collect of a query takes the next sample of every counter path it holds; once the
// script is used up its last sample repeats. A path without a script reads 0 from its second
// collect on, and PDH_INVALID_DATA before, as an average over an interval does.
void ScriptCounter(const WideText& path, const std::vector<Sample>& samples);

// Every collect first sleeps this long (scaled by the time scale): a slow service.
void SetCollectDelay(DWORD milliseconds);

// Collects begun so far, in all queries.
size_t CollectCount();
// Waits until `count` collects have begun in all; false after `milliseconds` of real time.
bool WaitForCollects(size_t count, unsigned milliseconds = 20000);

// Paths of every PdhAddCounterW call, successful or not, in order.
std::vector<WideText> AddedCounterPaths();
// Every name index looked up, in order (both calls of each lookup).
std::vector<DWORD> LookedUpNames();

}  // namespace substitute
