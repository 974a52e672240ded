// The performance-counter service: a name table, objects with ordered instance lists, and one
// scripted sequence of samples per counter path.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <map>
#include <memory>

namespace substitute::detail {
namespace {

struct PerfObject {
    std::vector<WideText> instances;
    std::vector<WideText> counters;
    std::optional<RawObjectAnswer> raw;
};

struct CounterScript {
    std::vector<Sample> samples;
    size_t next = 0;        // the sample the next collect takes
    Sample current{};       // the sample the last collect took
};

struct Counter {
    PDH_HQUERY query;
    CounterScript* script;  // owned by the model, stable while the query lives
    LONG value = 0;
    // An average over an interval: nothing to read before the second collect.
    DWORD status = PDH_INVALID_DATA;
    unsigned collects = 0;
};

struct Query {
    std::vector<std::unique_ptr<Counter>> counters;
};

struct PdhState {
    std::map<DWORD, WideText> names;
    std::map<DWORD, DWORD> nameSizes;
    std::map<WideText, PerfObject> objects;
    std::map<WideText, std::unique_ptr<CounterScript>> scripts;
    std::map<PDH_HQUERY, std::unique_ptr<Query>> queries;
    std::map<PDH_HCOUNTER, Counter*> counters;
    uintptr_t nextHandle = 0x5000;
    DWORD collectDelay = 0;
    size_t collects = 0;
    std::vector<WideText> addedPaths;
    std::vector<DWORD> lookups;
};

PdhState& State() {
    static PdhState state;
    return state;
}

std::condition_variable_any CollectSignal;

// A counter path names something when it is "\object(instance)\counter" of a listed object or
// when it has a script of its own.
bool PathExists(const WideText& path) {
    auto& state = State();
    if (state.scripts.count(path)) return true;
    for (auto& [name, object] : state.objects) {
        for (auto& instance : object.instances)
            for (auto& counter : object.counters)
                if (path == WideText(u"\\") + name + u"(" + instance + u")\\" + counter) return true;
    }
    return false;
}

CounterScript* ScriptFor(const WideText& path) {
    auto& slot = State().scripts[path];
    if (!slot) slot = std::make_unique<CounterScript>();
    return slot.get();
}

// Writes a list of names, each terminated, ended by an empty name; no names give an empty list.
std::vector<WCHAR> MultiString(const std::vector<WideText>& names) {
    std::vector<WCHAR> units;
    if (names.empty()) return units;
    for (auto& name : names) {
        units.insert(units.end(), name.begin(), name.end());
        units.push_back(0);
    }
    units.push_back(0);
    return units;
}

const bool Registered = RegisterModel(Model{
    [] {
        CollectSignal.notify_all();
        State() = PdhState{};
    },
    [](std::vector<std::string>& problems) {
        for (size_t i = 0; i < State().queries.size(); ++i)
            problems.push_back("a performance-counter query was never closed");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::RawObjectAnswer;
using substitute::Sample;
using substitute::WideText;

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR source, DWORD_PTR, PDH_HQUERY* query) {
    if (auto failure = TakeFailure("PdhOpenQueryA")) return static_cast<PDH_STATUS>(*failure);
    if (source != nullptr || query == nullptr) return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    std::lock_guard lock(Mutex());
    auto& state = State();
    PDH_HQUERY handle = reinterpret_cast<PDH_HQUERY>(state.nextHandle += 8);
    state.queries[handle] = std::make_unique<Query>();
    *query = handle;
    return 0;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY query) {
    if (auto failure = TakeFailure("PdhCloseQuery")) return static_cast<PDH_STATUS>(*failure);
    std::lock_guard lock(Mutex());
    auto& state = State();
    auto it = state.queries.find(query);
    if (it == state.queries.end()) {
        Problem("PdhCloseQuery on a query that is not open");
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    std::erase_if(state.counters, [&](auto& entry) { return entry.second->query == query; });
    state.queries.erase(it);
    return 0;
}

PDH_STATUS WINAPI PdhLookupPerfNameByIndexW(LPCWSTR machine, DWORD index, LPWSTR buffer,
                                            LPDWORD size) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    state.lookups.push_back(index);
    if (auto failure = TakeFailure("PdhLookupPerfNameByIndexW")) return static_cast<PDH_STATUS>(*failure);
    // A null buffer must come with a size of 0.
    if (machine != nullptr || size == nullptr || (buffer == nullptr && *size != 0))
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    auto it = state.names.find(index);
    if (it == state.names.end()) return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    DWORD needed = static_cast<DWORD>(it->second.size() + 1);
    auto reported = state.nameSizes.find(index);
    if (buffer == nullptr || *size < needed) {
        *size = reported != state.nameSizes.end() ? reported->second : needed;
        return static_cast<PDH_STATUS>(PDH_MORE_DATA);
    }
    std::copy_n(it->second.c_str(), needed, buffer);
    *size = needed;
    return 0;
}

PDH_STATUS WINAPI PdhEnumObjectItemsW(LPCWSTR source, LPCWSTR machine, LPCWSTR objectName,
                                      PZZWSTR counterList, LPDWORD counterLength,
                                      PZZWSTR instanceList, LPDWORD instanceLength,
                                      DWORD detailLevel, DWORD flags) {
    if (auto failure = TakeFailure("PdhEnumObjectItemsW")) return static_cast<PDH_STATUS>(*failure);
    if (source != nullptr || machine != nullptr || objectName == nullptr || !counterLength ||
        !instanceLength || (!counterList && *counterLength) || (!instanceList && *instanceLength) ||
        detailLevel != PERF_DETAIL_WIZARD || flags != 0)
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    std::lock_guard lock(Mutex());
    auto& state = State();
    auto it = state.objects.find(WideText(objectName));
    if (it == state.objects.end()) return static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT);
    const PerfObject& object = it->second;

    std::vector<WCHAR> counters, instances;
    DWORD neededCounters, neededInstances;
    if (object.raw) {
        counters = object.raw->counterList;
        instances = object.raw->instanceList;
        neededCounters = object.raw->counterLength;
        neededInstances = object.raw->instanceLength;
    } else {
        counters = MultiString(object.counters);
        instances = MultiString(object.instances);
        neededCounters = static_cast<DWORD>(counters.size());
        neededInstances = static_cast<DWORD>(instances.size());
    }
    bool sizing = counterList == nullptr && instanceList == nullptr;
    if (sizing || *counterLength < neededCounters || *instanceLength < neededInstances) {
        *counterLength = neededCounters;
        *instanceLength = neededInstances;
        return static_cast<PDH_STATUS>(PDH_MORE_DATA);
    }
    // Never more than the caller said its lists hold.
    size_t counterUnits = std::min<size_t>(counters.size(), *counterLength);
    size_t instanceUnits = std::min<size_t>(instances.size(), *instanceLength);
    if (counterList) std::copy_n(counters.begin(), counterUnits, counterList);
    if (instanceList) std::copy_n(instances.begin(), instanceUnits, instanceList);
    *counterLength = static_cast<DWORD>(counterUnits);
    *instanceLength = static_cast<DWORD>(instanceUnits);
    return 0;
}

PDH_STATUS WINAPI PdhAddCounterW(PDH_HQUERY query, LPCWSTR path, DWORD_PTR, PDH_HCOUNTER* counter) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (path) state.addedPaths.push_back(path);
    if (auto failure = TakeFailure("PdhAddCounterW")) return static_cast<PDH_STATUS>(*failure);
    auto it = state.queries.find(query);
    if (it == state.queries.end()) return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    if (path == nullptr || counter == nullptr) return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    if (path[0] == 0) return static_cast<PDH_STATUS>(PDH_CSTATUS_BAD_COUNTERNAME);
    if (!PathExists(path)) return static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT);
    auto entry = std::make_unique<Counter>();
    entry->query = query;
    entry->script = ScriptFor(path);
    PDH_HCOUNTER handle = reinterpret_cast<PDH_HCOUNTER>(state.nextHandle += 8);
    state.counters[handle] = entry.get();
    it->second->counters.push_back(std::move(entry));
    *counter = handle;
    return 0;
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY query) {
    // A collect counts from the moment it begins, so a test can stop a sampler in the middle of one.
    DWORD delay;
    {
        std::lock_guard lock(Mutex());
        delay = State().collectDelay;
        ++State().collects;
        CollectSignal.notify_all();
    }
    if (delay) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ScaledMilliseconds(delay)));
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (auto failure = TakeFailure("PdhCollectQueryData")) return static_cast<PDH_STATUS>(*failure);
    auto it = state.queries.find(query);
    if (it == state.queries.end()) return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    DWORD status = 0;
    for (auto& counter : it->second->counters) {
        CounterScript& script = *counter->script;
        if (++counter->collects < 2 && script.samples.empty()) continue;
        if (script.next < script.samples.size()) script.current = script.samples[script.next++];
        const Sample& sample = script.current;
        if (sample.collectStatus != PDH_NO_DATA) {
            counter->value = sample.value;
            counter->status = sample.formatStatus;
        }
        if (status == 0 && sample.collectStatus != 0) status = sample.collectStatus;
    }
    if (it->second->counters.empty()) status = PDH_NO_DATA;
    return static_cast<PDH_STATUS>(status);
}

PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER counter, DWORD format, LPDWORD type,
                                              PPDH_FMT_COUNTERVALUE value) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (auto failure = TakeFailure("PdhGetFormattedCounterValue")) return static_cast<PDH_STATUS>(*failure);
    auto it = state.counters.find(counter);
    if (it == state.counters.end()) return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    if (value == nullptr || format != PDH_FMT_LONG) return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    if (it->second->status != 0) return static_cast<PDH_STATUS>(it->second->status);
    if (type) *type = 0;
    value->CStatus = PDH_CSTATUS_VALID_DATA;
    value->longValue = it->second->value;
    return 0;
}

namespace substitute {

void SetPerfName(DWORD index, const WideText& name) {
    std::lock_guard lock(Mutex());
    detail::State().names[index] = name;
}

void AddPerfObject(const WideText& name, const std::vector<WideText>& instances,
                   const std::vector<WideText>& counters) {
    std::lock_guard lock(Mutex());
    auto& object = detail::State().objects[name];
    object.instances = instances;
    object.counters = counters;
}

void SetRawObjectAnswer(const WideText& name, const RawObjectAnswer& answer) {
    std::lock_guard lock(Mutex());
    detail::State().objects[name].raw = answer;
}

void SetPerfNameSize(DWORD index, DWORD size) {
    std::lock_guard lock(Mutex());
    detail::State().nameSizes[index] = size;
}

void SeedDiskObjects(const std::vector<WideText>& logicalInstances,
                     const std::vector<WideText>& physicalInstances) {
    const WideText counter = u"Avg. Disk Bytes/Transfer";
    SetPerfName(236, u"LogicalDisk");
    SetPerfName(234, u"PhysicalDisk");
    SetPerfName(224, counter);
    AddPerfObject(u"LogicalDisk", logicalInstances, {u"% Disk Time", counter});
    AddPerfObject(u"PhysicalDisk", physicalInstances, {u"% Disk Time", counter});
}

void ScriptCounter(const WideText& path, const std::vector<Sample>& samples) {
    std::lock_guard lock(Mutex());
    auto* script = detail::ScriptFor(path);
    script->samples = samples;
    script->next = 0;
}

void SetCollectDelay(DWORD milliseconds) {
    std::lock_guard lock(Mutex());
    detail::State().collectDelay = milliseconds;
}

size_t CollectCount() {
    std::lock_guard lock(Mutex());
    return detail::State().collects;
}

bool WaitForCollects(size_t count, unsigned milliseconds) {
    std::unique_lock lock(Mutex());
    return detail::CollectSignal.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                          [&] { return detail::State().collects >= count; });
}

std::vector<WideText> AddedCounterPaths() {
    std::lock_guard lock(Mutex());
    return detail::State().addedPaths;
}

std::vector<DWORD> LookedUpNames() {
    std::lock_guard lock(Mutex());
    return detail::State().lookups;
}

}  // namespace substitute
