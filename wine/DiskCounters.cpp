#include "wine/DiskCounters.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace provider {

namespace {

constexpr std::u16string_view LogicalDiskName = u"LogicalDisk";
constexpr std::u16string_view PhysicalDiskName = u"PhysicalDisk";
constexpr std::u16string_view BytesPerTransferName = u"Avg. Disk Bytes/Transfer";
constexpr std::u16string_view TotalName = u"_Total";

// Names compare as Windows compares them in counter paths: ASCII letters in either case.
bool SameName(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) {
        return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

WideText Widen(const std::string& text) {
    return WideText(text.begin(), text.end());
}

// The object a name stands for: 0 none, 1 logical disks, 2 physical disks.
int ObjectNamed(std::u16string_view name) {
    if (SameName(name, LogicalDiskName)) return 1;
    if (SameName(name, PhysicalDiskName)) return 2;
    return 0;
}

const std::vector<Instance>& InstancesOf(int object, const Instances& all) {
    return object == 1 ? all.logical : all.physical;
}

// One disk counter: finds its instance among those of the moment at every collect, since drive
// letters come and go in a running session, then reads the disks the instance counts. An
// instance that went away starts afresh when it is back.
struct DiskCounter {
    Machine machine;
    int object;
    WideText name;
    std::optional<Instance> instance;
    std::vector<BlockDevice> previous;

    Reading operator()() {
        const Instances all = ReadInstances(machine);
        instance.reset();
        for (const Instance& candidate : InstancesOf(object, all))
            if (!instance && SameName(candidate.name, name)) instance = candidate;
        if (!instance) {
            previous.clear();
            return {status::NoInstance, 0};
        }
        std::vector<BlockDevice> devices = ParseDiskStats(machine.diskStats());
        std::vector<BlockDevice> current;
        if (instance->total) current = WholeDisks(devices);
        for (const BlockDevice& device : devices)
            if (!instance->total && device.name == instance->disk) current.push_back(device);
        Reading reading;
        reading.status = BytesPerTransfer(previous, current, reading.value);
        previous = std::move(current);
        return reading;
    }
};

}  // namespace

std::vector<Drive> LetteredDrives(uint32_t letters, const std::function<bool(const char16_t*, uint64_t&)>& deviceOf) {
    std::vector<Drive> drives;
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        const char16_t root[] = {letter, u':', u'\\', 0};
        uint64_t device = 0;
        if ((letters & (1u << (letter - u'A'))) == 0 || !deviceOf(root, device)) continue;
        // major (12 bits) in bits 8..19; minor (20 bits) in bits 0..7 and 20..31.
        drives.push_back({letter, static_cast<uint32_t>((device >> 8) & 0xFFF),
                          static_cast<uint32_t>((device & 0xFF) | ((device >> 12) & 0xFFF00))});
    }
    return drives;
}

Instances ReadInstances(const Machine& machine) {
    Instances instances;
    std::vector<BlockDevice> devices = ParseDiskStats(machine.diskStats());
    std::vector<BlockDevice> disks = WholeDisks(devices);
    if (disks.empty()) return instances;
    for (size_t i = 0; i < disks.size(); ++i)
        instances.physical.push_back({Widen(std::to_string(i) + " " + disks[i].name), disks[i].name, false});
    std::string mountInfo;
    bool mountInfoRead = false;
    for (const Drive& drive : machine.drives()) {
        if (drive.major == 0 && !mountInfoRead) {
            mountInfo = machine.mountInfo();
            mountInfoRead = true;
        }
        std::string disk = DiskHolding(drive.major, drive.minor, devices, mountInfo);
        if (!disk.empty()) instances.logical.push_back({WideText{drive.letter, u':'}, disk, false});
    }
    for (std::vector<Instance>* object : {&instances.logical, &instances.physical})
        object->push_back({WideText(TotalName), "", true});
    return instances;
}

uint32_t BytesPerTransfer(const std::vector<BlockDevice>& previous, const std::vector<BlockDevice>& current,
                          int64_t& value) {
    if (current.empty()) return status::NoInstance;
    uint64_t transfers = 0;
    uint64_t sectors = 0;
    bool compared = false;
    for (const BlockDevice& now : current) {
        auto before = std::find_if(previous.begin(), previous.end(),
                                   [&](const BlockDevice& disk) { return disk.name == now.name; });
        if (before == previous.end()) continue;
        if (now.transfers < before->transfers || now.sectors < before->sectors) return status::CounterInvalidData;
        transfers += now.transfers - before->transfers;
        sectors += now.sectors - before->sectors;
        compared = true;
    }
    if (!compared) return status::CounterInvalidData;
    constexpr uint64_t most = std::numeric_limits<int64_t>::max() / 512;
    value = transfers == 0 ? 0 : static_cast<int64_t>(std::min(sectors, most) * 512 / transfers);
    return status::Success;
}

Source DiskCounters(Machine machine) {
    auto name = [](uint32_t index) {
        const WideText text(index == LogicalDiskIndex        ? LogicalDiskName
                            : index == PhysicalDiskIndex     ? PhysicalDiskName
                            : index == BytesPerTransferIndex ? BytesPerTransferName
                                                             : std::u16string_view());
        return Name{text, static_cast<uint32_t>(text.size() + 1)};
    };
    auto items = [machine](const WideText& object, ObjectItems& items) {
        const int which = ObjectNamed(object);
        if (which == 0) return false;
        const Instances all = ReadInstances(machine);
        std::vector<WideText> names;
        for (const Instance& instance : InstancesOf(which, all)) names.push_back(instance.name);
        items = ListedItems(NameList({WideText(BytesPerTransferName)}), NameList(names));
        return true;
    };
    auto counter = [machine](std::u16string_view, const CounterPath& parts, Reader& reader) {
        const int which = ObjectNamed(parts.object);
        if (which == 0) return status::NoObject;
        if (!SameName(parts.counter, BytesPerTransferName)) return status::NoCounter;
        reader = DiskCounter{machine, which, parts.instance, std::nullopt, {}};
        return status::Success;
    };
    return {name, items, counter};
}

}  // namespace provider
