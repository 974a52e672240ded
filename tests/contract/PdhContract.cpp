// The counter service as the catalogue and the sampler use it: names by index, instance lists
// through a sizing call, and a disk counter that reads only from its second collect on.
#include "tests/contract/Contract.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr DWORD Sentinel = 0xDEADBEEF;
using Text = std::basic_string<WCHAR>;

Text LookUp(DWORD index) {
    DWORD size = 0;
    EXPECT_EQ(static_cast<DWORD>(PdhLookupPerfNameByIndexW(nullptr, index, nullptr, &size)), 0x800007D2u);  // PDH_MORE_DATA
    if (size == 0 || size > 4096) return Text();
    std::vector<WCHAR> name(size + 1, WCHAR{0x5A5A});
    name[size] = 0;
    EXPECT_EQ(PdhLookupPerfNameByIndexW(nullptr, index, name.data(), &size), 0);
    EXPECT_EQ(name[size], 0) << "wrote past the size it asked for";
    return Text(name.data());
}

TEST(PdhContract, DiskNamesComeBySizeThenText) {
    EXPECT_EQ(LookUp(236), Text(WIDE("LogicalDisk")));
    EXPECT_EQ(LookUp(234), Text(WIDE("PhysicalDisk")));
    EXPECT_EQ(LookUp(224), Text(WIDE("Avg. Disk Bytes/Transfer")));
}

TEST(PdhContract, InstanceListsComeBySizeThenAsZeroSeparatedNamesEndingInTwoZeros) {
    for (const WCHAR* object : {WIDE("LogicalDisk"), WIDE("PhysicalDisk")}) {
        DWORD counterLength = 0, instanceLength = 0;
        EXPECT_EQ(static_cast<DWORD>(PdhEnumObjectItemsW(nullptr, nullptr, object, nullptr, &counterLength, nullptr,
                                                         &instanceLength, PERF_DETAIL_WIZARD, 0)),
                  0x800007D2u);  // PDH_MORE_DATA
        ASSERT_GT(counterLength, 2u);
        ASSERT_GT(instanceLength, 2u);
        std::vector<WCHAR> counters(counterLength), instances(instanceLength);
        ASSERT_EQ(PdhEnumObjectItemsW(nullptr, nullptr, object, counters.data(), &counterLength, instances.data(),
                                      &instanceLength, PERF_DETAIL_WIZARD, 0),
                  0);
        ASSERT_GE(instanceLength, 2u);
        EXPECT_EQ(instances[instanceLength - 1], 0);
        EXPECT_EQ(instances[instanceLength - 2], 0);
        std::vector<Text> names;
        for (size_t at = 0; at < instanceLength && instances[at] != 0; at += names.back().size() + 1)
            names.emplace_back(&instances[at]);
        EXPECT_NE(std::find(names.begin(), names.end(), Text(WIDE("_Total"))), names.end());
        bool hasCounter = false;
        for (size_t at = 0; at < counterLength && counters[at] != 0; at += Text(&counters[at]).size() + 1)
            hasCounter = hasCounter || Text(&counters[at]) == WIDE("Avg. Disk Bytes/Transfer");
        EXPECT_TRUE(hasCounter);
    }
}

TEST(PdhContract, ADiskCounterReadsFromItsSecondCollectOn) {
    PDH_HQUERY query = nullptr;
    ASSERT_EQ(PdhOpenQueryA(nullptr, 0, &query), 0);
    PDH_HCOUNTER counter = nullptr;
    ASSERT_EQ(PdhAddCounterW(query, WIDE("\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer"), 0, &counter), 0);
    PDH_FMT_COUNTERVALUE value;
    value.CStatus = Sentinel;
    EXPECT_EQ(static_cast<DWORD>(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value)),
              0xC0000BC6u);  // PDH_INVALID_DATA
    EXPECT_EQ(PdhCollectQueryData(query), 0);
    EXPECT_EQ(static_cast<DWORD>(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value)),
              0xC0000BC6u);  // PDH_INVALID_DATA
    Sleep(50);
    EXPECT_EQ(PdhCollectQueryData(query), 0);
    value.longValue = -1;
    EXPECT_EQ(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value), 0);
    EXPECT_EQ(value.CStatus, 0u);  // PDH_CSTATUS_VALID_DATA
    EXPECT_GE(value.longValue, 0);
    EXPECT_EQ(PdhCloseQuery(query), 0);
}

}  // namespace
