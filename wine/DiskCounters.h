// The Linux machine's disks as the performance-data helper's two disk objects: a logical disk
// for each drive letter and a physical disk for each whole disk, each with a "_Total", and their
// one counter, the average bytes per transfer between two collects. Plain C++ over a Machine
// that supplies the kernel's text and the drive letters, so it runs in the DLL and in host tests.
#pragma once

#include "wine/CounterService.h"
#include "wine/DiskStats.h"

namespace provider {

constexpr uint32_t LogicalDiskIndex = 236;
constexpr uint32_t PhysicalDiskIndex = 234;
constexpr uint32_t BytesPerTransferIndex = 224;

// A drive letter and the device number of the file system its directory lies on.
struct Drive {
    char16_t letter = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
};

// The drives of the letters set in the mask (bit 0 is A:), each with the device number its root
// directory ("C:\\", terminated) lies on, as the kernel's stat64 encodes it; a letter whose device
// cannot be had is left out.
std::vector<Drive> LetteredDrives(uint32_t letters,
                                  const std::function<bool(const char16_t* root, uint64_t& device)>& deviceOf);

// Where the disks are read; an empty text or list means it could not be read.
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

// The value of the average bytes per transfer between two collects of the disks a counter
// watches, and the counter's status: the disks gone (NoInstance), no earlier counts or counts
// that went back (CounterInvalidData), or Success.
uint32_t BytesPerTransfer(const std::vector<BlockDevice>& previous, const std::vector<BlockDevice>& current,
                          int64_t& value);

// The disk objects of the machine, for a CounterService.
Source DiskCounters(Machine machine);

}  // namespace provider
