#include "wine/CounterService.h"

#include <algorithm>
#include <limits>

namespace provider {

namespace {

bool IsLocal(const char16_t* machineName) {
    return machineName == nullptr || *machineName == 0;
}

// Copies as much of a list as the caller's buffer holds; the units copied.
uint32_t CopyList(const Units& list, char16_t* buffer, uint32_t capacity) {
    const uint32_t units = static_cast<uint32_t>(std::min<size_t>(list.size(), capacity));
    std::copy_n(list.begin(), units, buffer);
    return units;
}

}  // namespace

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

Units NameList(const std::vector<WideText>& names) {
    Units list;
    for (const WideText& name : names) {
        list.insert(list.end(), name.begin(), name.end());
        list.push_back(0);
    }
    list.resize(list.size() + (names.empty() ? 2 : 1), 0);
    return list;
}

ObjectItems ListedItems(Units counters, Units instances) {
    return {static_cast<uint32_t>(counters.size()), static_cast<uint32_t>(instances.size()), std::move(counters),
            std::move(instances)};
}

void* CounterService::NewHandle() {
    nextHandle_ += 8;
    return reinterpret_cast<void*>(nextHandle_);
}

uint32_t CounterService::LookupName(const char16_t* machineName, uint32_t index, char16_t* name, uint32_t* size) const {
    if (size == nullptr || (name == nullptr && *size != 0)) return status::InvalidArgument;
    if (!IsLocal(machineName)) return status::NoMachine;
    const Name found = source_.name(index);
    if (found.text.empty()) return status::InvalidArgument;
    const uint32_t needed = static_cast<uint32_t>(found.text.size() + 1);
    if (*size < needed) {
        *size = found.size;
        return status::MoreData;
    }
    std::copy_n(found.text.c_str(), needed, name);
    *size = needed;
    return status::Success;
}

uint32_t CounterService::EnumObjectItems(const char16_t* dataSource, const char16_t* machineName,
                                         const char16_t* object, char16_t* counters, uint32_t* counterLength,
                                         char16_t* instances, uint32_t* instanceLength, uint32_t flags) const {
    if (object == nullptr || counterLength == nullptr || instanceLength == nullptr || flags != 0)
        return status::InvalidArgument;
    if ((counters == nullptr && *counterLength != 0) || (instances == nullptr && *instanceLength != 0))
        return status::InvalidArgument;
    // Live data only: there are no log files to read.
    if (dataSource != nullptr && *dataSource != 0) return status::InvalidArgument;
    if (!IsLocal(machineName)) return status::NoMachine;
    ObjectItems items;
    if (!source_.items(object, items)) return status::NoObject;
    if (*counterLength < items.counterLength || *instanceLength < items.instanceLength) {
        *counterLength = items.counterLength;
        *instanceLength = items.instanceLength;
        return status::MoreData;
    }
    *counterLength = CopyList(items.counterList, counters, *counterLength);
    *instanceLength = CopyList(items.instanceList, instances, *instanceLength);
    return status::Success;
}

uint32_t CounterService::OpenQuery(bool liveData, void** query) {
    if (query == nullptr || !liveData) return status::InvalidArgument;
    *query = NewHandle();
    queries_[*query] = {};
    return status::Success;
}

uint32_t CounterService::CloseQuery(void* query) {
    auto found = queries_.find(query);
    if (found == queries_.end()) return status::InvalidHandle;
    for (void* counter : found->second) counters_.erase(counter);
    queries_.erase(found);
    return status::Success;
}

uint32_t CounterService::AddCounter(void* query, const char16_t* path, void** counter) {
    auto found = queries_.find(query);
    if (found == queries_.end()) return status::InvalidHandle;
    if (path == nullptr || counter == nullptr) return status::InvalidArgument;
    CounterPath parts;
    Reader reader;
    if (uint32_t result = ParseCounterPath(path, parts); result != status::Success) return result;
    if (uint32_t result = source_.counter(path, parts, reader); result != status::Success) return result;
    *counter = NewHandle();
    counters_[*counter] = {std::move(reader), Reading{}};
    found->second.push_back(*counter);
    return status::Success;
}

uint32_t CounterService::CollectQueryData(void* query) {
    auto found = queries_.find(query);
    if (found == queries_.end()) return status::InvalidHandle;
    uint32_t result = status::Success;
    bool someInstance = false;
    for (void* handle : found->second) {
        Counter& counter = counters_[handle];
        counter.reading = counter.reader();
        someInstance = someInstance || counter.reading.status != status::NoInstance;
        if (result == status::Success) result = counter.reading.collectStatus;
    }
    // As on Windows, a query with no counters, or whose counters all name instances that do not
    // exist, has no data.
    return result == status::Success && !someInstance ? status::NoData : result;
}

uint32_t CounterService::GetFormattedValue(void* counter, uint32_t format, uint32_t* type, uint32_t* counterStatus,
                                           int32_t* value) const {
    auto found = counters_.find(counter);
    if (found == counters_.end()) return status::InvalidHandle;
    if (counterStatus == nullptr || value == nullptr) return status::InvalidArgument;
    if ((format & (FormatLong | FormatDouble | FormatLarge)) != FormatLong) return status::InvalidArgument;
    if (type != nullptr) *type = AverageBulkType;
    const Reading& reading = found->second.reading;
    *counterStatus = reading.status;
    // A value that could not be formed leaves the caller's record as it was.
    if (reading.status != status::Success) return status::InvalidData;
    constexpr int64_t least = std::numeric_limits<int32_t>::min();
    constexpr int64_t most = std::numeric_limits<int32_t>::max();
    int64_t shown = std::clamp(reading.value, least, most);
    if (format & FormatTimes1000) shown = std::clamp(shown * 1000, least, most);
    *value = static_cast<int32_t>(shown);
    return status::Success;
}

}  // namespace provider
