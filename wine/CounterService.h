// The disk counters the provider DLL serves, with the performance-data helper's protocol:
// names by index, object items with sizing calls, queries, counters added by path, collects and
// formatted values with their status codes. Plain C++ over a Machine that supplies the kernel's
// text and the drive letters, so the same code runs in the DLL and in host tests.
#pragma once

#include "wine/DiskStats.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace provider {

// The service's status codes, with the values Windows gives them.
namespace status {
constexpr uint32_t Success = 0;
constexpr uint32_t NoMachine = 0x800007D0;
constexpr uint32_t NoInstance = 0x800007D1;
constexpr uint32_t MoreData = 0x800007D2;
constexpr uint32_t NoData = 0x800007D5;
constexpr uint32_t NoObject = 0xC0000BB8;
constexpr uint32_t NoCounter = 0xC0000BB9;
constexpr uint32_t CounterInvalidData = 0xC0000BBA;
constexpr uint32_t MemoryAllocationFailure = 0xC0000BBB;
constexpr uint32_t InvalidHandle = 0xC0000BBC;
constexpr uint32_t InvalidArgument = 0xC0000BBD;
constexpr uint32_t NoCounterName = 0xC0000BBF;
constexpr uint32_t BadCounterName = 0xC0000BC0;
constexpr uint32_t InvalidData = 0xC0000BC6;
}  // namespace status

constexpr uint32_t FormatLong = 0x00000100;
constexpr uint32_t FormatDouble = 0x00000200;
constexpr uint32_t FormatLarge = 0x00000400;
constexpr uint32_t FormatTimes1000 = 0x00002000;
constexpr uint32_t AverageBulkType = 0x40020500;  // the counter type of an average per operation

constexpr uint32_t LogicalDiskIndex = 236;
constexpr uint32_t PhysicalDiskIndex = 234;
constexpr uint32_t BytesPerTransferIndex = 224;

using WideText = std::u16string;

// A drive letter and the device number of the file system its directory lies on.
struct Drive {
    char16_t letter = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
};

// Where the service reads the machine; an empty text or list means it could not be read.
struct Machine {
    std::function<std::string()> diskStats;
    std::function<std::string()> mountInfo;
    std::function<std::vector<Drive>()> drives;
};

// One instance of a disk object: its name and the disk it counts, or every disk for "_Total".
struct Instance {
    WideText name;
    std::string disk;
    bool total = false;
};

// The instances of both objects as the machine shows them now.
struct Instances {
    std::vector<Instance> logical;
    std::vector<Instance> physical;
};
Instances ReadInstances(const Machine& machine);

// The parts of "\Object(Instance)\Counter"; Success, NoCounterName, BadCounterName or NoMachine.
struct CounterPath {
    WideText object;
    WideText instance;
    WideText counter;
};
uint32_t ParseCounterPath(const char16_t* path, CounterPath& parts);

// The value of the average bytes per transfer between two collects of the disks a counter
// watches, and the counter's status: the disks gone (NoInstance), no earlier counts or counts
// that went back (CounterInvalidData), or Success.
uint32_t BytesPerTransfer(const std::vector<BlockDevice>& previous, const std::vector<BlockDevice>& current,
                          int64_t& value);

class CounterService {
public:
    explicit CounterService(Machine machine) : machine_(std::move(machine)) {}

    uint32_t LookupName(const char16_t* machineName, uint32_t index, char16_t* name, uint32_t* size) const;
    uint32_t EnumObjectItems(const char16_t* dataSource, const char16_t* machineName, const char16_t* object,
                             char16_t* counters, uint32_t* counterLength, char16_t* instances,
                             uint32_t* instanceLength) const;
    uint32_t OpenQuery(bool liveData, uintptr_t* query);
    uint32_t CloseQuery(uintptr_t query);
    uint32_t AddCounter(uintptr_t query, const char16_t* path, uintptr_t* counter);
    uint32_t CollectQueryData(uintptr_t query);
    // Fills counterStatus and, on success, value; returns the call's status.
    uint32_t GetFormattedValue(uintptr_t counter, uint32_t format, uint32_t* type, uint32_t& counterStatus,
                               int32_t& value) const;

private:
    struct Counter {
        uintptr_t query = 0;
        bool found = false;  // the instance existed when the counter was added
        Instance instance;
        bool collected = false;
        std::vector<BlockDevice> previous;
        std::vector<BlockDevice> current;
    };

    Machine machine_;
    uintptr_t nextHandle_ = 0x1000;
    std::map<uintptr_t, std::vector<uintptr_t>> queries_;  // each query's counters
    std::map<uintptr_t, Counter> counters_;
};

}  // namespace provider
