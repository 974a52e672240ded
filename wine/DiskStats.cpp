#include "wine/DiskStats.h"

#include <algorithm>
#include <limits>

namespace provider {

namespace {

// The text's blank-separated words, at most `limit` of them.
std::vector<std::string_view> Words(std::string_view line, size_t limit) {
    std::vector<std::string_view> words;
    size_t position = 0;
    while (words.size() < limit) {
        position = line.find_first_not_of(" \t", position);
        if (position == std::string_view::npos) break;
        size_t end = line.find_first_of(" \t", position);
        if (end == std::string_view::npos) end = line.size();
        words.push_back(line.substr(position, end - position));
        position = end;
    }
    return words;
}

// A decimal number that fits 64 bits, and nothing else.
bool ParseNumber(std::string_view text, uint64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

bool ParseDeviceNumber(std::string_view text, uint32_t& value) {
    uint64_t number = 0;
    if (!ParseNumber(text, number) || number > std::numeric_limits<uint32_t>::max()) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

// A device name that can stand in an instance name and a counter path as it is: printable
// ASCII without the characters those paths give a meaning.
bool PlainName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.find_first_of("()\\/#*") != std::string_view::npos) return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "sda1" of "sda", "nvme0n1p2" of "nvme0n1": the kernel names a partition after its disk, with
// a "p" between them when the disk's name ends in a digit.
bool IsPartitionOf(std::string_view name, std::string_view disk) {
    if (disk.empty() || name.size() <= disk.size() || !StartsWith(name, disk)) return false;
    std::string_view rest = name.substr(disk.size());
    bool diskEndsInDigit = disk.back() >= '0' && disk.back() <= '9';
    if (diskEndsInDigit) return rest.size() > 1 && rest[0] == 'p' && AllDigits(rest.substr(1));
    return AllDigits(rest);
}

bool IsWholeDisk(const BlockDevice& device, const std::vector<BlockDevice>& devices) {
    for (std::string_view memory : {"loop", "ram", "zram"})
        if (StartsWith(device.name, memory)) return false;
    for (const BlockDevice& other : devices)
        if (IsPartitionOf(device.name, other.name)) return false;
    return true;
}

std::string WholeDiskOf(std::string_view name, const std::vector<BlockDevice>& devices) {
    for (const BlockDevice& device : devices) {
        if (device.name != name && !IsPartitionOf(name, device.name)) continue;
        if (IsWholeDisk(device, devices)) return device.name;
    }
    return {};
}

// The source, under /dev/, of the mount of device major:minor in /proc/self/mountinfo, whose lines
// read "id parent major:minor root mount-point options [tags] - type source super-options".
std::string MountSource(uint32_t major, uint32_t minor, std::string_view mountInfo) {
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    while (!mountInfo.empty()) {
        size_t end = mountInfo.find('\n');
        std::string_view line = mountInfo.substr(0, end);
        mountInfo = end == std::string_view::npos ? std::string_view() : mountInfo.substr(end + 1);
        std::vector<std::string_view> words = Words(line, 3);
        size_t separator = line.find(" - ");
        if (words.size() < 3 || words[2] != device || separator == std::string_view::npos) continue;
        // From the separator on: "-", the file system's type, then its source.
        std::vector<std::string_view> tail = Words(line.substr(separator), 3);
        if (tail.size() == 3 && StartsWith(tail[2], "/dev/")) return std::string(tail[2].substr(5));
    }
    return {};
}

}  // namespace

std::vector<BlockDevice> ParseDiskStats(std::string_view text) {
    std::vector<BlockDevice> devices;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

        // major minor name, then reads, reads merged, sectors read, time reading, writes, writes
        // merged, sectors written, and more that is not used here.
        std::vector<std::string_view> words = Words(line, 10);
        if (words.size() < 10 || !PlainName(words[2])) continue;
        BlockDevice device{};
        device.name = std::string(words[2]);
        uint64_t field[7];
        bool ok = ParseDeviceNumber(words[0], device.major) && ParseDeviceNumber(words[1], device.minor);
        for (size_t i = 0; i < 7 && ok; ++i) ok = ParseNumber(words[3 + i], field[i]);
        if (!ok) continue;
        device.transfers = field[0] + field[4];
        device.sectors = field[2] + field[6];
        // A later line that repeats a name is not believed.
        bool known = false;
        for (const BlockDevice& other : devices) known = known || other.name == device.name;
        if (!known) devices.push_back(std::move(device));
    }
    return devices;
}

std::vector<BlockDevice> WholeDisks(const std::vector<BlockDevice>& devices) {
    std::vector<BlockDevice> disks;
    for (const BlockDevice& device : devices)
        if (IsWholeDisk(device, devices)) disks.push_back(device);
    return disks;
}

std::string DiskHolding(uint32_t major, uint32_t minor, const std::vector<BlockDevice>& devices,
                        std::string_view mountInfo) {
    if (major == 0) return WholeDiskOf(MountSource(major, minor, mountInfo), devices);
    for (const BlockDevice& device : devices)
        if (device.major == major && device.minor == minor) return WholeDiskOf(device.name, devices);
    return {};
}

}  // namespace provider
