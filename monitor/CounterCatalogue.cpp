#include "monitor/CounterCatalogue.h"

#include "tray/TrayPresenter.h"

#include <memory>
#include <new>

std::vector<CounterEntry> CounterCatalogue;
WideString SelectedCounterPath;

namespace {

typedef WCHAR PerfName[PerfNameCapacity];

// Looks up one localized name by its index; leaves the buffer as it is when that fails.
void LookUpPerfName(DWORD index, PerfName& name) {
    DWORD size = 0;
    PDH_STATUS status = PdhLookupPerfNameByIndexW(nullptr, index, nullptr, &size);
    if (static_cast<DWORD>(status) != PDH_MORE_DATA || size == 0 || size > PerfNameCapacity) return;
    PdhLookupPerfNameByIndexW(nullptr, index, name, &size);
    // Whatever the service wrote, the name ends inside the buffer.
    name[PerfNameCapacity - 1] = 0;
}

// Forms the entry of one instance; one that would not fit the entry buffers is left out.
void AppendEntry(LONG ordinal, const WCHAR* object, size_t objectLength, const WCHAR* instance, size_t instanceLength,
                 const WCHAR* counter, size_t counterLength) {
    const size_t displayLength = objectLength + instanceLength + 2;
    const size_t pathLength = displayLength + counterLength + 2;
    if (pathLength >= EntryTextCapacity) return;
    CounterEntry entry{ordinal, {}, {}};
    entry.DisplayName.reserve(displayLength);
    entry.DisplayName.append(object, objectLength)
        .append(1, WIDE('('))
        .append(instance, instanceLength)
        .append(1, WIDE(')'));
    entry.CounterPath.reserve(pathLength);
    entry.CounterPath.append(1, WIDE('\\'))
        .append(entry.DisplayName)
        .append(1, WIDE('\\'))
        .append(counter, counterLength);
    CounterCatalogue.push_back(std::move(entry));
}

// Appends one entry for each instance of the named object.
void AddObjectEntries(const WCHAR* objectName, const WCHAR* counterName) {
    DWORD counterLength = 0;
    DWORD instanceLength = 0;
    PDH_STATUS status = PdhEnumObjectItemsW(nullptr, nullptr, objectName, nullptr, &counterLength, nullptr,
                                            &instanceLength, PERF_DETAIL_WIZARD, 0);
    if (static_cast<DWORD>(status) != PDH_MORE_DATA || counterLength == 0) return;
    if (counterLength > ObjectListLimit || instanceLength > ObjectListLimit) return;

    // Zero-filled, so that units the service did not write end the walk.
    std::unique_ptr<WCHAR[]> counters(new (std::nothrow) WCHAR[counterLength]());
    std::unique_ptr<WCHAR[]> instances(new (std::nothrow) WCHAR[instanceLength]());
    if (!counters || !instances) return;
    const DWORD instanceCapacity = instanceLength;
    status = PdhEnumObjectItemsW(nullptr, nullptr, objectName, counters.get(), &counterLength, instances.get(),
                                 &instanceLength, PERF_DETAIL_WIZARD, 0);
    if (status != 0) return;

    const size_t objectLength = std::char_traits<WCHAR>::length(objectName);
    const size_t counterNameLength = std::char_traits<WCHAR>::length(counterName);
    size_t position = 0;
    for (LONG ordinal = 0; position < instanceCapacity && instances[position] != 0; ++ordinal) {
        size_t end = position;
        while (end < instanceCapacity && instances[end] != 0) ++end;
        // A name that runs into the end of the list without its terminator is not taken.
        if (end == instanceCapacity) break;
        AppendEntry(ordinal, objectName, objectLength, &instances[position], end - position, counterName,
                    counterNameLength);
        position = end + 1;
    }
}

}  // namespace

// Appends an entry for every instance of the two disk objects; failures only leave entries out.
void BuildCounterCatalogue() {
    PDH_HQUERY query = nullptr;
    if (PdhOpenQueryA(nullptr, 0, &query) != 0) return;

    PerfName firstObject = {};
    PerfName secondObject = {};
    PerfName counterName = {};
    LookUpPerfName(FirstDiskObjectIndex, firstObject);
    LookUpPerfName(SecondDiskObjectIndex, secondObject);
    LookUpPerfName(DiskCounterIndex, counterName);

    AddObjectEntries(firstObject, counterName);
    AddObjectEntries(secondObject, counterName);
    PdhCloseQuery(query);
}

// The index of the first entry whose display name holds `text`, case-sensitively, or NoEntry.
int FindEntryContaining(const WideString& text) {
    for (size_t i = 0; i < CounterCatalogue.size(); ++i)
        if (CounterCatalogue[i].DisplayName.find(text) != WideString::npos) return static_cast<int>(i);
    return NoEntry;
}

// The index of the first entry whose display name is exactly `name`, or NoEntry.
int FindEntryNamed(const WideString& name) {
    for (size_t i = 0; i < CounterCatalogue.size(); ++i)
        if (CounterCatalogue[i].DisplayName == name) return static_cast<int>(i);
    return NoEntry;
}

// The index of the first entry whose path is the one selected for watching, or NoEntry.
int WatchedEntry() {
    if (SelectedCounterPath.empty()) return NoEntry;
    for (size_t i = 0; i < CounterCatalogue.size(); ++i)
        if (CounterCatalogue[i].CounterPath == SelectedCounterPath) return static_cast<int>(i);
    return NoEntry;
}

// Makes the display name of entry `index` the tooltip text.
void SetTooltipFromEntry(int index) {
    if (index < 0 || static_cast<size_t>(index) >= CounterCatalogue.size()) return;
    SetTooltipText(CounterCatalogue[static_cast<size_t>(index)].DisplayName);
}

// Makes entry `index` the one the next sampler watches and its name the tooltip.
void SelectCounterEntry(int index) {
    if (index < 0 || static_cast<size_t>(index) >= CounterCatalogue.size()) return;
    SelectedCounterPath = CounterCatalogue[static_cast<size_t>(index)].CounterPath;
    SetTooltipFromEntry(index);
}

// The first "_Total" entry, or else entry 0 without a tooltip. With no entries at all the
// tooltip says why the icon stays dark.
void SelectDefaultEntry() {
    if (CounterCatalogue.empty()) {
        SetTooltipText(NoCountersTooltip);
        return;
    }
    int index = FindEntryContaining(WIDE("_Total"));
    if (index != NoEntry) SelectCounterEntry(index);
    if (SelectedCounterPath.empty()) SelectedCounterPath = CounterCatalogue[0].CounterPath;
}

// The first entry that holds the saved name; without one, the current choice stays.
void SelectSavedEntry(const WideString& savedName) {
    if (CounterCatalogue.empty()) return;
    int index = FindEntryContaining(savedName);
    if (index != NoEntry) SelectCounterEntry(index);
}
