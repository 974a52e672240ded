// The counter service as the catalogue and the sampler use it: names by index and instance lists
// through a sizing call, and disk counters that read from their second collect on, or, for an
// instance that does not exist, are added all the same and never read.
#include "tests/contract/Contract.h"

#include <array>
#include <string>
#include <vector>

namespace {

using Text = std::basic_string<WCHAR>;
using Statuses = std::array<DWORD, 3>;

// What a collect of a query returns, then a read of its counter, and the counter's status.
Statuses CollectAndRead(PDH_HQUERY query, PDH_HCOUNTER counter) {
    PDH_FMT_COUNTERVALUE value = {};
    // In the order they are written: the collect, the read, then the status the read left.
    return {static_cast<DWORD>(PdhCollectQueryData(query)),
            static_cast<DWORD>(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value)), value.CStatus};
}

TEST(PdhContract, DiskNamesAndInstanceListsComeBySizeThenText) {
    const std::pair<DWORD, Text> names[] = {
        {236, WIDE("LogicalDisk")}, {234, WIDE("PhysicalDisk")}, {224, WIDE("Avg. Disk Bytes/Transfer")}};
    for (const auto& [index, expected] : names) {
        DWORD size = 0;
        EXPECT_EQ(static_cast<DWORD>(PdhLookupPerfNameByIndexW(nullptr, index, nullptr, &size)), PDH_MORE_DATA);
        std::vector<WCHAR> name(size + 1, 0x5A5A);
        EXPECT_EQ(PdhLookupPerfNameByIndexW(nullptr, index, name.data(), &size), 0);
        // The name and its zero, and nothing written after them.
        EXPECT_EQ(Text(name.begin(), name.end()), expected + WCHAR{0} + WCHAR{0x5A5A});
        if (index == 224) continue;
        // The object's instances: zero-separated names ending in an empty one, "_Total" among them.
        DWORD counterLength = 0, instanceLength = 0;
        auto enumerate = [&](WCHAR* counters, WCHAR* instances) {
            return static_cast<DWORD>(PdhEnumObjectItemsW(nullptr, nullptr, expected.c_str(), counters, &counterLength,
                                                          instances, &instanceLength, PERF_DETAIL_WIZARD, 0));
        };
        ASSERT_EQ(enumerate(nullptr, nullptr), PDH_MORE_DATA);
        ASSERT_GT(counterLength, 2u);
        ASSERT_GT(instanceLength, 2u);
        std::vector<WCHAR> counters(counterLength), instances(instanceLength + 1, 0x5A5A);
        ASSERT_EQ(enumerate(counters.data(), instances.data()), 0u);
        const Text list(instances.begin(), instances.end()), end = {0, 0, 0x5A5A};
        EXPECT_EQ(list.substr(instanceLength - 2), end) << "two zeros end the list, and nothing is written after it";
        EXPECT_NE(list.find(WIDE("_Total") + end.substr(0, 1)), Text::npos);
    }
}

TEST(PdhContract, ADiskCounterReadsFromItsSecondCollectOnAndOneOfAMissingInstanceNever) {
    const Text paths[] = {WIDE("\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer"),
                          WIDE("\\LogicalDisk(Q:)\\Avg. Disk Bytes/Transfer")};
    PDH_HQUERY queries[2] = {};
    PDH_HCOUNTER counters[2] = {};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(PdhOpenQueryA(nullptr, 0, &queries[i]), 0);
        ASSERT_EQ(PdhAddCounterW(queries[i], paths[i].c_str(), 0, &counters[i]), 0);
    }
    EXPECT_EQ(CollectAndRead(queries[0], counters[0]), (Statuses{0, 0xC0000BC6, 0xC0000BBA}));  // ..._INVALID_DATA
    Sleep(50);
    EXPECT_EQ(CollectAndRead(queries[0], counters[0]), (Statuses{0, 0, 0}));
    // PDH_NO_DATA, PDH_INVALID_DATA, PDH_CSTATUS_NO_INSTANCE
    EXPECT_EQ(CollectAndRead(queries[1], counters[1]), (Statuses{0x800007D5, 0xC0000BC6, 0x800007D1}));
    for (PDH_HQUERY query : queries) EXPECT_EQ(PdhCloseQuery(query), 0);
}

}  // namespace
