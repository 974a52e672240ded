// Whatever the kernel's disk statistics and mount table hold, and whatever counter path a
// program hands in, the provider lists, adds, collects and formats without reading out of bounds,
// and every instance it lists can be added again by its own path.
#include "wine/CounterService.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace provider;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::string diskStats[2] = {data.ConsumeRandomLengthString(2000), data.ConsumeRandomLengthString(2000)};
    int collect = 0;
    std::string mountInfo = data.ConsumeRandomLengthString(1000);
    std::vector<Drive> drives;
    for (int i = data.ConsumeIntegralInRange(0, 4); i > 0; --i)
        drives.push_back({static_cast<char16_t>(u'C' + i), data.ConsumeIntegralInRange<uint32_t>(0, 300),
                          data.ConsumeIntegralInRange<uint32_t>(0, 300)});
    std::string pathBytes = data.ConsumeRandomLengthString(300);
    std::u16string path(pathBytes.begin(), pathBytes.end());

    CounterService service(Machine{[&] { return diskStats[collect % 2]; }, [&] { return mountInfo; },
                                   [&] { return drives; }});
    uintptr_t query = 0;
    std::vector<uintptr_t> counters(1);
    service.OpenQuery(true, &query);
    service.AddCounter(query, path.c_str(), &counters[0]);
    for (const char16_t* object : {u"LogicalDisk", u"PhysicalDisk"}) {
        uint32_t counterLength = 0, instanceLength = 0;
        if (service.EnumObjectItems(nullptr, nullptr, object, nullptr, &counterLength, nullptr, &instanceLength) !=
            status::MoreData)
            abort();
        std::u16string counterList(counterLength, u'#'), instanceList(instanceLength, u'#');
        if (service.EnumObjectItems(nullptr, nullptr, object, counterList.data(), &counterLength,
                                    instanceList.data(), &instanceLength) != status::Success ||
            instanceList.back() != 0 || (instanceLength > 1 && instanceList[instanceLength - 2] != 0))
            abort();
        for (const char16_t* name = instanceList.c_str(); *name != 0; name += std::u16string_view(name).size() + 1) {
            std::u16string instancePath = u"\\" + std::u16string(object) + u"(" + name + u")\\Avg. Disk Bytes/Transfer";
            counters.push_back(0);
            if (service.AddCounter(query, instancePath.c_str(), &counters.back()) != status::Success) abort();
        }
    }
    for (collect = 0; collect < 3; ++collect) {
        service.CollectQueryData(query);
        for (uintptr_t counter : counters) {
            uint32_t counterStatus = 0;
            int32_t value = 0;
            service.GetFormattedValue(counter, FormatLong, nullptr, counterStatus, value);
            if (counterStatus == status::Success && value < 0) abort();
        }
    }
    service.CloseQuery(query);
    return 0;
}
