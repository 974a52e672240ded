// The performance-data helper's protocol over a source of counters: names by index, object items
// with sizing calls, queries, counters added by path, collects and formatted values with their
// status codes. Plain C++ with no platform names: the provider DLL serves the Linux machine's
// disks through it, and the host's substitute serves scripted counters through it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
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

using WideText = std::u16string;
using Units = std::vector<char16_t>;

// The parts of "\Object(Instance)\Counter"; Success, NoCounterName, BadCounterName or NoMachine.
struct CounterPath {
    WideText object;
    WideText instance;
    WideText counter;
};
uint32_t ParseCounterPath(const char16_t* path, CounterPath& parts);

// Names each ended by a zero, and the list by one more; no names give two zeros.
Units NameList(const std::vector<WideText>& names);

// An object's counter and instance lists and the lengths its sizing call reports.
struct ObjectItems {
    uint32_t counterLength = 0;
    uint32_t instanceLength = 0;
    Units counterList;
    Units instanceList;
};
ObjectItems ListedItems(Units counters, Units instances);

// A localized name, and the size a lookup whose buffer is too small reports for it.
struct Name {
    WideText text;
    uint32_t size = 0;
};

// What a counter gives at a collect: its status and, with Success, its value; and what the collect
// returns for it, Success or a failure the collect returns once it has collected every counter.
struct Reading {
    uint32_t status = status::CounterInvalidData;
    int64_t value = 0;
    uint32_t collectStatus = status::Success;
};
// A counter's reading at each collect of its query.
using Reader = std::function<Reading()>;

// Where the service finds its names, objects and counters.
struct Source {
    // The localized name of a name index; an empty text when the index names nothing.
    std::function<Name(uint32_t index)> name;
    // The items of the named object; false when there is no such object.
    std::function<bool(const WideText& object, ObjectItems& items)> items;
    // The reader of the counter a path names; Success, NoObject or NoCounter. A counter of an
    // instance that does not exist is added all the same and reads NoInstance.
    std::function<uint32_t(std::u16string_view path, const CounterPath& parts, Reader& reader)> counter;
};

class CounterService {
public:
    explicit CounterService(Source source) : source_(std::move(source)) {}

    uint32_t LookupName(const char16_t* machineName, uint32_t index, char16_t* name, uint32_t* size) const;
    uint32_t EnumObjectItems(const char16_t* dataSource, const char16_t* machineName, const char16_t* object,
                             char16_t* counters, uint32_t* counterLength, char16_t* instances, uint32_t* instanceLength,
                             uint32_t flags) const;
    uint32_t OpenQuery(bool liveData, void** query);
    uint32_t CloseQuery(void* query);
    uint32_t AddCounter(void* query, const char16_t* path, void** counter);
    uint32_t CollectQueryData(void* query);
    // For a known counter and format, fills counterStatus; value only when the call succeeds.
    uint32_t GetFormattedValue(void* counter, uint32_t format, uint32_t* type, uint32_t* counterStatus,
                               int32_t* value) const;
    size_t OpenQueries() const { return queries_.size(); }

private:
    struct Counter {
        Reader reader;
        Reading reading;  // nothing to read before the first collect
    };

    void* NewHandle();

    Source source_;
    uintptr_t nextHandle_ = 0x1000;
    std::map<void*, std::vector<void*>> queries_;  // each query's counters
    std::map<void*, Counter> counters_;
};

}  // namespace provider
