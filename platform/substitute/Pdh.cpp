// The performance-counter service: wine/'s entry points and CounterService, serving counters
// scripted by the tests. Calls take turns under the machine's lock; each can be failed, and
// collects are counted and can be held.
#include "platform/substitute/Internal.h"
#include "wine/PdhEntryPoints.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

namespace substitute::detail {
namespace {

using namespace provider;

bool Holds(const std::vector<WideText>& names, const WideText& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// An object's instances and counters in the order they are listed, or its items as given.
struct Object {
    std::vector<WideText> instances;
    std::vector<WideText> counters;
    std::optional<ObjectItems> raw;
};

// The samples of one counter path, taken one per collect; the last one repeats.
struct Script {
    std::vector<substitute::Sample> samples;
    size_t next = 0;
};

struct PdhState {
    std::map<uint32_t, WideText> names;
    std::map<WideText, Object> objects;
    std::map<WideText, Script> scripts;  // by path; a counter added keeps a pointer to its path's
    size_t collects = 0;                 // begun so far
    size_t heldFrom = SIZE_MAX;          // the first collect held
    bool failing = false;                // the call under way fails as scripted
};

// Lives as long as the process: the service reads it by reference.
PdhState State;

// One added counter: it reads NoInstance while its instance is not listed; while it is, it takes
// its path's next sample at each collect, or without samples reads 0 from its second collect on.
struct ScriptedCounter {
    CounterPath parts;
    Script* script;
    Reading reading{};
    bool primed = false;

    Reading operator()() {
        const std::vector<substitute::Sample>& samples = script->samples;
        auto object = State.objects.find(parts.object);
        const bool listed = object != State.objects.end() && Holds(object->second.instances, parts.instance);
        if (samples.empty() || !listed) {
            reading = {listed ? (primed ? status::Success : status::CounterInvalidData) : status::NoInstance, 0};
            primed = true;
            return reading;
        }
        const substitute::Sample& sample = samples[std::min(script->next++, samples.size() - 1)];
        if (sample.collectStatus != status::NoData) reading = {sample.formatStatus, sample.value};
        reading.collectStatus = sample.collectStatus;
        return reading;
    }
};

Source ScriptedSource() {
    auto name = [](uint32_t index) {
        auto found = State.names.find(index);
        return found == State.names.end() ? Name{}
                                          : Name{found->second, static_cast<uint32_t>(found->second.size() + 1)};
    };
    auto items = [](const WideText& name, ObjectItems& items) {
        auto found = State.objects.find(name);
        if (found == State.objects.end()) return false;
        const Object& object = found->second;
        // The list of an object given no names is empty, without even the closing zero.
        auto list = [](const std::vector<WideText>& names) {
            return names.empty() ? Units() : NameList(names);
        };
        items = object.raw ? *object.raw : ListedItems(list(object.counters), list(object.instances));
        return true;
    };
    auto counter = [](std::u16string_view path, const CounterPath& parts, Reader& reader) {
        auto found = State.objects.find(parts.object);
        if (found == State.objects.end()) return status::NoObject;
        if (!Holds(found->second.counters, parts.counter)) return status::NoCounter;
        reader = ScriptedCounter{parts, &State.scripts[WideText(path)]};
        return status::Success;
    };
    return {name, items, counter};
}

CounterService Service(ScriptedSource());
std::condition_variable_any CallSignal;

const bool Registered = RegisterModel(Model{
    [] {
        State = PdhState{};
        Service = CounterService(ScriptedSource());
        CallSignal.notify_all();  // a collect a failed test left held
    },
    [](std::vector<std::string>& problems) {
        problems.insert(problems.end(), Service.OpenQueries(), "a performance-counter query was never closed");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

provider::CounterService& provider::EnterService(const char* function, uint32_t& result) {
    // A collect counts from the moment it begins, so a test can stop a sampler in the middle of one.
    std::unique_lock lock(Mutex());
    if (std::string_view(function) == "PdhCollectQueryData") {
        size_t number = ++State.collects;
        CallSignal.notify_all();
        CallSignal.wait(lock, [&] { return number < State.heldFrom; });
    }
    lock.release();
    if (auto failure = TakeFailure(function)) result = *failure;
    State.failing = result != status::Success;
    return Service;
}

uint32_t provider::LeaveService(uint32_t result) {
    if (result == status::InvalidHandle && !State.failing) Problem("a performance-data call on a closed handle");
    Mutex().unlock();
    return result;
}

namespace substitute {

void SetPerfName(DWORD index, const WideText& name) {
    UnderLock([&] { State.names[index] = name; });
}

void AddPerfObject(const WideText& name, const std::vector<WideText>& instances,
                   const std::vector<WideText>& counters) {
    UnderLock([&] { State.objects[name] = {instances, counters, std::nullopt}; });
}

void SetRawObjectAnswer(const WideText& name, const provider::ObjectItems& answer) {
    UnderLock([&] { State.objects[name].raw = answer; });
}

void SeedDiskObjects(const std::vector<WideText>& logicalInstances, const std::vector<WideText>& physicalInstances) {
    const WideText counter = u"Avg. Disk Bytes/Transfer";
    UnderLock([&] {
        State.names = {{236, u"LogicalDisk"}, {234, u"PhysicalDisk"}, {224, counter}};
        State.objects[u"LogicalDisk"] = {logicalInstances, {u"% Disk Time", counter}, std::nullopt};
        State.objects[u"PhysicalDisk"] = {physicalInstances, {u"% Disk Time", counter}, std::nullopt};
    });
}

void ScriptCounter(const WideText& path, const std::vector<Sample>& samples) {
    UnderLock([&] { State.scripts[path] = {samples, 0}; });
}

void HoldCollectsFrom(size_t first) {
    UnderLock([&] { State.heldFrom = first; });
    CallSignal.notify_all();
}

size_t CollectCount() {
    return Copied(State.collects);
}

bool WaitForCollects(size_t count, unsigned milliseconds) {
    std::unique_lock lock(Mutex());
    return CallSignal.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return CollectCount() >= count; });
}

}  // namespace substitute
