// Counters whose names, objects and readings are set by whoever holds them, for a CounterService
// that serves no real machine: the host's substitute serves the native tests' scripts with it.
#pragma once

#include "wine/CounterService.h"

#include <memory>
#include <optional>

namespace provider {

// One scripted reading: what the collect that takes it returns, the counter's status afterwards
// (any but Success fails the formatted read with InvalidData) and its value. A sample taken with
// the collect status NoData leaves the status and value alone.
struct Sample {
    int32_t value = 0;
    uint32_t collectStatus = 0;
    uint32_t formatStatus = 0;
};

struct ScriptedCounters {
    // An object's instances and counters in the order they are listed, or its items as given.
    struct Object {
        std::vector<WideText> instances;
        std::vector<WideText> counters;
        std::optional<ObjectItems> raw;
    };
    // The samples of one counter path, taken one per collect; the last one repeats.
    struct Script {
        std::vector<Sample> samples;
        size_t next = 0;
    };

    std::map<uint32_t, WideText> names;
    std::map<uint32_t, uint32_t> nameSizes;  // what lookups report instead of the true size
    std::map<WideText, Object> objects;
    std::map<WideText, std::shared_ptr<Script>> scripts;
    std::vector<WideText> addedPaths;  // of every counter looked up to be added, in order

    std::shared_ptr<Script> ScriptFor(const WideText& path);
    // The usual English names of the disk objects and their counter, with these instances.
    void SeedDiskObjects(const std::vector<WideText>& logicalInstances, const std::vector<WideText>& physicalInstances);
};

// Serves the counters by reference. An added counter reads its path's script as it is at each
// collect; a path without samples reads 0 from its second collect on while its instance is
// listed, and NoInstance while it is not.
Source ScriptedSource(ScriptedCounters& counters);

}  // namespace provider
