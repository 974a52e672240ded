// What the Linux kernel tells about its block devices, read from the text of /proc/diskstats
// and /proc/self/mountinfo. Plain C++ with no platform names, so that it builds and is tested on
// the host as well as inside the provider DLL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace provider {

// One line of the disk statistics: the I/O a block device has completed since boot.
struct BlockDevice {
    uint32_t major;
    uint32_t minor;
    std::string name;
    uint64_t transfers;  // reads and writes completed
    uint64_t sectors;    // 512-byte sectors read and written
};

// Every well-formed line of the statistics, in the file's order; any other line is left out.
std::vector<BlockDevice> ParseDiskStats(std::string_view text);

// The whole disks among the devices, in their order: no partitions, no loop, RAM or
// compressed-RAM devices.
std::vector<BlockDevice> WholeDisks(const std::vector<BlockDevice>& devices);

// The name of the whole disk that holds the file system on device major:minor: the device
// itself, or the disk of which it is a partition. A file system on an anonymous device (major 0)
// is looked up in the mount table by its source under /dev/. "" when no disk holds it.
std::string DiskHolding(uint32_t major, uint32_t minor, const std::vector<BlockDevice>& devices,
                        std::string_view mountInfo);

}  // namespace provider
