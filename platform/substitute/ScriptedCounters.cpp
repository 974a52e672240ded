#include "platform/substitute/ScriptedCounters.h"

#include "wine/DiskCounters.h"

#include <algorithm>

namespace provider {

namespace {

bool Holds(const std::vector<WideText>& names, const WideText& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The list of an object given no names is empty, without even the closing zero.
Units List(const std::vector<WideText>& names) { return names.empty() ? Units() : NameList(names); }

// One added counter, reading its path's script, or its object's instance list, at each collect.
struct ScriptedCounter {
    ScriptedCounters& counters;
    CounterPath parts;
    std::shared_ptr<ScriptedCounters::Script> script;
    Reading reading{};
    bool primed = false;

    Reading operator()() {
        const std::vector<Sample>& samples = script->samples;
        if (samples.empty()) {
            auto object = counters.objects.find(parts.object);
            const bool listed = object != counters.objects.end() && Holds(object->second.instances, parts.instance);
            reading = {listed ? (primed ? status::Success : status::CounterInvalidData) : status::NoInstance, 0};
            primed = true;
            return reading;
        }
        const Sample& sample = samples[std::min(script->next++, samples.size() - 1)];
        if (sample.collectStatus != status::NoData) reading = {sample.formatStatus, sample.value};
        reading.collectStatus = sample.collectStatus;
        return reading;
    }
};

}  // namespace

std::shared_ptr<ScriptedCounters::Script> ScriptedCounters::ScriptFor(const WideText& path) {
    std::shared_ptr<Script>& script = scripts[path];
    if (!script) script = std::make_shared<Script>();
    return script;
}

void ScriptedCounters::SeedDiskObjects(const std::vector<WideText>& logicalInstances,
                                       const std::vector<WideText>& physicalInstances) {
    const WideText counter = u"Avg. Disk Bytes/Transfer";
    names[LogicalDiskIndex] = u"LogicalDisk";
    names[PhysicalDiskIndex] = u"PhysicalDisk";
    names[BytesPerTransferIndex] = counter;
    objects[u"LogicalDisk"] = {logicalInstances, {u"% Disk Time", counter}, std::nullopt};
    objects[u"PhysicalDisk"] = {physicalInstances, {u"% Disk Time", counter}, std::nullopt};
}

Source ScriptedSource(ScriptedCounters& counters) {
    auto name = [&counters](uint32_t index) {
        auto found = counters.names.find(index);
        if (found == counters.names.end()) return Name{};
        auto reported = counters.nameSizes.find(index);
        return Name{found->second, reported != counters.nameSizes.end()
                                       ? reported->second
                                       : static_cast<uint32_t>(found->second.size() + 1)};
    };
    auto items = [&counters](const WideText& name, ObjectItems& items) {
        auto found = counters.objects.find(name);
        if (found == counters.objects.end()) return false;
        const ScriptedCounters::Object& object = found->second;
        items = object.raw ? *object.raw : ListedItems(List(object.counters), List(object.instances));
        return true;
    };
    auto counter = [&counters](std::u16string_view path, const CounterPath& parts, Reader& reader) {
        counters.addedPaths.emplace_back(path);
        auto found = counters.objects.find(parts.object);
        if (found == counters.objects.end()) return status::NoObject;
        if (!Holds(found->second.counters, parts.counter)) return status::NoCounter;
        reader = ScriptedCounter{counters, parts, counters.ScriptFor(WideText(path))};
        return status::Success;
    };
    return {name, items, counter};
}

}  // namespace provider
