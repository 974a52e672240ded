// Whatever the kernel's disk statistics and mount table hold, and whatever counter path a
// program hands in, the provider lists, adds, collects and formats without reading out of bounds;
// every instance it lists is found by its own path, and no value it forms is negative.
#include "wine/DiskCounters.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace provider;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::string diskStats[2] = {data.ConsumeRandomLengthString(2000), data.ConsumeRandomLengthString(2000)};
    std::string mountInfo = data.ConsumeRandomLengthString(1000), path = data.ConsumeRandomLengthString(300);
    std::vector<Drive> drives(data.ConsumeIntegralInRange(0, 4));
    for (Drive& drive : drives)
        drive = {static_cast<char16_t>(u'A' + data.ConsumeIntegralInRange(0, 25)), data.ConsumeIntegral<uint8_t>(),
                 data.ConsumeIntegral<uint8_t>()};
    int collect = 0;
    Source source = DiskCounters({[&] { return diskStats[collect % 2]; }, [&] { return mountInfo; },
                                  [&] {
                                      return drives;
                                  }});
    CounterService service(source);
    void *query = nullptr, *counter = nullptr;
    std::vector<void*> listed;
    service.OpenQuery(true, &query);
    service.AddCounter(query, std::u16string(path.begin(), path.end()).c_str(), &counter);
    for (const std::u16string object : {u"LogicalDisk", u"PhysicalDisk"}) {
        ObjectItems items;
        if (!source.items(object, items)) abort();
        for (const char16_t* name = items.instanceList.data(); *name; name += std::u16string_view(name).size() + 1) {
            const std::u16string instancePath = u"\\" + object + u"(" + name + u")\\Avg. Disk Bytes/Transfer";
            if (service.AddCounter(query, instancePath.c_str(), &listed.emplace_back()) != status::Success) abort();
        }
    }
    uint32_t counterStatus = 0;
    int32_t value = 0;
    for (collect = 0; collect < 3; ++collect) {
        service.CollectQueryData(query);
        // Each listed instance is found at once, and primes; a value is an average of counts.
        for (void* each : listed) {
            bool read = service.GetFormattedValue(each, FormatLong, nullptr, &counterStatus, &value) == status::Success;
            if (collect == 0 ? counterStatus != status::CounterInvalidData : read && value < 0) abort();
        }
    }
    service.CloseQuery(query);
    return 0;
}
