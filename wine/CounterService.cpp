#include "wine/CounterService.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace provider {

namespace {

constexpr std::u16string_view LogicalDiskName = u"LogicalDisk";
constexpr std::u16string_view PhysicalDiskName = u"PhysicalDisk";
constexpr std::u16string_view BytesPerTransferName = u"Avg. Disk Bytes/Transfer";
constexpr std::u16string_view TotalName = u"_Total";

// Names compare as Windows compares them in counter paths: ASCII letters in either case.
bool SameName(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
               return fold(x) == fold(y);
           });
}

WideText Widen(const std::string& text) { return WideText(text.begin(), text.end()); }

// The object a name stands for: 0 none, 1 logical disks, 2 physical disks.
int ObjectNamed(std::u16string_view name) {
    if (SameName(name, LogicalDiskName)) return 1;
    if (SameName(name, PhysicalDiskName)) return 2;
    return 0;
}

bool IsLocal(const char16_t* machineName) { return machineName == nullptr || *machineName == 0; }

}  // namespace

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
    instances.logical.push_back({WideText(TotalName), "", true});
    instances.physical.push_back({WideText(TotalName), "", true});
    return instances;
}

uint32_t ParseCounterPath(const char16_t* path, CounterPath& parts) {
    std::u16string_view text(path);
    if (text.empty()) return status::NoCounterName;
    if (text.size() > 1 && text[0] == u'\\' && text[1] == u'\\') return status::NoMachine;
    size_t last = text.rfind(u'\\');
    if (text[0] != u'\\' || last == 0 || last + 1 == text.size()) return status::BadCounterName;
    std::u16string_view head = text.substr(1, last - 1);
    std::u16string_view object = head;
    std::u16string_view instance;
    size_t open = head.find(u'(');
    if (open != std::u16string_view::npos) {
        if (head.back() != u')') return status::BadCounterName;
        object = head.substr(0, open);
        instance = head.substr(open + 1, head.size() - open - 2);
        if (instance.empty() || instance.find_first_of(u"()") != std::u16string_view::npos)
            return status::BadCounterName;
    }
    if (object.empty() || object.find_first_of(u"()\\") != std::u16string_view::npos) return status::BadCounterName;
    parts = {WideText(object), WideText(instance), WideText(text.substr(last + 1))};
    return status::Success;
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

uint32_t CounterService::LookupName(const char16_t* machineName, uint32_t index, char16_t* name,
                                    uint32_t* size) const {
    if (size == nullptr || (name == nullptr && *size != 0)) return status::InvalidArgument;
    if (!IsLocal(machineName)) return status::NoMachine;
    std::u16string_view text = index == LogicalDiskIndex        ? LogicalDiskName
                               : index == PhysicalDiskIndex     ? PhysicalDiskName
                               : index == BytesPerTransferIndex ? BytesPerTransferName
                                                                : std::u16string_view();
    if (text.empty()) return status::InvalidArgument;
    const uint32_t needed = static_cast<uint32_t>(text.size() + 1);
    if (*size < needed) {
        *size = needed;
        return status::MoreData;
    }
    std::copy(text.begin(), text.end(), name);
    name[text.size()] = 0;
    *size = needed;
    return status::Success;
}

uint32_t CounterService::EnumObjectItems(const char16_t* dataSource, const char16_t* machineName,
                                         const char16_t* object, char16_t* counters, uint32_t* counterLength,
                                         char16_t* instances, uint32_t* instanceLength) const {
    if (object == nullptr || counterLength == nullptr || instanceLength == nullptr) return status::InvalidArgument;
    if ((counters == nullptr && *counterLength != 0) || (instances == nullptr && *instanceLength != 0))
        return status::InvalidArgument;
    // Live data only: there are no log files to read.
    if (dataSource != nullptr && *dataSource != 0) return status::InvalidArgument;
    if (!IsLocal(machineName)) return status::NoMachine;
    int which = ObjectNamed(object);
    if (which == 0) return status::NoObject;

    // Lists of names, each ended by a zero, and the list by one more; an empty list is two zeros.
    WideText counterList = WideText(BytesPerTransferName) + u'\0' + u'\0';
    WideText instanceList;
    Instances all = ReadInstances(machine_);
    for (const Instance& instance : which == 1 ? all.logical : all.physical) instanceList += instance.name + u'\0';
    instanceList += instanceList.empty() ? WideText(2, u'\0') : WideText(1, u'\0');

    const uint32_t counterNeeded = static_cast<uint32_t>(counterList.size());
    const uint32_t instanceNeeded = static_cast<uint32_t>(instanceList.size());
    if (*counterLength < counterNeeded || *instanceLength < instanceNeeded) {
        *counterLength = counterNeeded;
        *instanceLength = instanceNeeded;
        return status::MoreData;
    }
    std::copy(counterList.begin(), counterList.end(), counters);
    std::copy(instanceList.begin(), instanceList.end(), instances);
    *counterLength = counterNeeded;
    *instanceLength = instanceNeeded;
    return status::Success;
}

uint32_t CounterService::OpenQuery(bool liveData, uintptr_t* query) {
    if (query == nullptr || !liveData) return status::InvalidArgument;
    *query = nextHandle_;
    queries_[nextHandle_] = {};
    nextHandle_ += 8;
    return status::Success;
}

uint32_t CounterService::CloseQuery(uintptr_t query) {
    auto found = queries_.find(query);
    if (found == queries_.end()) return status::InvalidHandle;
    for (uintptr_t counter : found->second) counters_.erase(counter);
    queries_.erase(found);
    return status::Success;
}

uint32_t CounterService::AddCounter(uintptr_t query, const char16_t* path, uintptr_t* counter) {
    auto found = queries_.find(query);
    if (found == queries_.end()) return status::InvalidHandle;
    if (path == nullptr || counter == nullptr) return status::InvalidArgument;
    CounterPath parts;
    if (uint32_t result = ParseCounterPath(path, parts); result != status::Success) return result;
    int which = ObjectNamed(parts.object);
    if (which == 0) return status::NoObject;
    if (!SameName(parts.counter, BytesPerTransferName)) return status::NoCounter;

    // As on Windows, a counter of an instance that does not exist is added all the same and
    // reports that the instance is missing when it is read.
    Counter added;
    added.query = query;
    Instances all = ReadInstances(machine_);
    for (const Instance& instance : which == 1 ? all.logical : all.physical) {
        if (!SameName(instance.name, parts.instance)) continue;
        added.instance = instance;
        added.found = true;
        break;
    }
    counters_[nextHandle_] = std::move(added);
    found->second.push_back(nextHandle_);
    *counter = nextHandle_;
    nextHandle_ += 8;
    return status::Success;
}

uint32_t CounterService::CollectQueryData(uintptr_t query) {
    auto found = queries_.find(query);
    if (found == queries_.end()) return status::InvalidHandle;
    if (found->second.empty()) return status::NoData;
    std::vector<BlockDevice> devices = ParseDiskStats(machine_.diskStats());
    std::vector<BlockDevice> disks;
    bool disksFound = false;
    for (uintptr_t handle : found->second) {
        Counter& counter = counters_[handle];
        counter.previous = std::move(counter.current);
        counter.current.clear();
        counter.collected = true;
        if (!counter.found) continue;
        if (counter.instance.total) {
            if (!disksFound) disks = WholeDisks(devices);
            disksFound = true;
            counter.current = disks;
            continue;
        }
        for (const BlockDevice& device : devices)
            if (device.name == counter.instance.disk) counter.current.push_back(device);
    }
    return status::Success;
}

uint32_t CounterService::GetFormattedValue(uintptr_t counter, uint32_t format, uint32_t* type,
                                           uint32_t& counterStatus, int32_t& value) const {
    auto found = counters_.find(counter);
    if (found == counters_.end()) return status::InvalidHandle;
    if ((format & (FormatLong | FormatDouble | FormatLarge)) != FormatLong) return status::InvalidArgument;
    if (type != nullptr) *type = AverageBulkType;
    const Counter& c = found->second;
    int64_t average = 0;
    counterStatus = !c.found       ? status::NoInstance
                    : !c.collected ? status::CounterInvalidData
                                   : BytesPerTransfer(c.previous, c.current, average);
    if (counterStatus != status::Success) return status::InvalidData;
    constexpr int64_t most = std::numeric_limits<int32_t>::max();
    if (format & FormatTimes1000) average = average > most ? most : average * 1000;
    value = static_cast<int32_t>(std::min(average, most));
    return status::Success;
}

}  // namespace provider
