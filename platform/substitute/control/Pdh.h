// The performance-counter service: wine/'s CounterService over a name table, objects with their
// instance and counter lists, and one scripted sequence of samples per counter path.
#pragma once

#include "platform/substitute/Win32Subset.h"
#include "platform/substitute/ScriptedCounters.h"

namespace substitute {

using WideText = std::basic_string<WCHAR>;

// The localized name that a name index stands for.
void SetPerfName(DWORD index, const WideText& name);
// The size that the sizing lookup of a name index reports instead of the true one.
void SetPerfNameSize(DWORD index, DWORD size);

// An object with its instances and counters, in the order the service lists them; no names give
// an empty list. Its counters can be added by path "\object(instance)\counter", and read
// PDH_CSTATUS_NO_INSTANCE while the instance is not listed.
void AddPerfObject(const WideText& name, const std::vector<WideText>& instances, const std::vector<WideText>& counters);

// What a broken or hostile service might answer for one object's items instead: the lengths its
// sizing call reports and the units its filling call writes (never more than the caller's
// lengths), terminated or not.
using RawObjectAnswer = provider::ObjectItems;
void SetRawObjectAnswer(const WideText& name, const RawObjectAnswer& answer);

// The usual English names: 236 "LogicalDisk", 234 "PhysicalDisk", 224 "Avg. Disk
// Bytes/Transfer", with these instances (each object gets the counter 224 names).
void SeedDiskObjects(const std::vector<WideText>& logicalInstances, const std::vector<WideText>& physicalInstances);

// One reading of a counter: what the collect that takes it returns, the counter's status
// afterwards (any but 0 fails the formatted read with PDH_INVALID_DATA), and the value. A collect
// that returns PDH_NO_DATA leaves the status and value alone.
using Sample = provider::Sample;
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

// Paths of every counter the service looked up to add to a query, found or not, in order.
std::vector<WideText> AddedCounterPaths();

}  // namespace substitute
