// The disk-counter provider for Wine, driven through its service with made-up kernel files.
#include "wine/CounterService.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace provider;

namespace {

// One line of /proc/diskstats: "major minor name" and the counts that matter here.
std::string Line(const char* device, int reads, int sectorsRead, int writes = 0, int sectorsWritten = 0) {
    auto n = [](int count) { return " " + std::to_string(count); };
    return " " + std::string(device) + n(reads) + " 0" + n(sectorsRead) + " 5" + n(writes) + " 0" + n(sectorsWritten) + " 7 0 9 16\n";
}

// "call status/second/third" in hex, as the statuses are known.
std::string Said(uint32_t result, uint32_t second, int third) {
    char text[40];
    std::snprintf(text, sizeof text, "%X/%X/%d", result, second, third);
    return text;
}

struct Host {
    std::string diskStats, mountInfo;
    std::vector<Drive> drives;
    Machine machine() {
        return {[this] { return diskStats; }, [this] { return mountInfo; }, [this] { return drives; }};
    }
};

std::string Joined(const std::vector<Instance>& instances) {
    std::string text;
    for (const Instance& instance : instances) text += std::string(instance.name.begin(), instance.name.end()) + "|";
    return text;
}

const std::string Disks = Line("7 0 loop0", 1, 8) + Line("254 0 vda", 10, 80) + Line("254 1 vda1", 9, 72) +
                          Line("253 0 zram0", 1, 8) + Line("259 0 nvme0n1", 4, 32) + Line("259 1 nvme0n1p2", 4, 32) +
                          Line("1 0 ram0", 1, 8) + Line("8 16 sdb", 1, 8);

TEST(PdhProviderTest, InstancesComeFromWholeDisksAndTheDrivesOnThem) {
    const std::string mounts = "40 1 0:40 / /data rw - btrfs /dev/nvme0n1p2 rw\n"
                               "41 1 0:41 / /c rw - overlay overlay rw\n";
    struct Case {
        std::string diskStats;
        std::vector<Drive> drives;
        std::string logical, physical;
    } cases[] = {
        {Disks, {{u'C', 254, 1}, {u'D', 0, 40}, {u'E', 0, 41}, {u'F', 7, 0}, {u'Z', 8, 16}},
         "C:|D:|Z:|_Total|", "0 vda|1 nvme0n1|2 sdb|_Total|"},
        {"", {{u'C', 254, 0}}, "", ""},
        {Line("7 0 loop0", 1, 8) + Line("253 0 zram0", 1, 8), {}, "", ""},
        // Short, wordy, overflowing, repeated and path-breaking lines are not believed.
        {"garbage\n254 0 vda 1 2 3\n8 0 sda x 0 0 0 0 0 0 0\n8 1 sdc 99999999999999999999 0 0 0 0 0 0 0\n" +
             Line("8 2 s(a)", 1, 8) + Line("8 3 sd\x01", 1, 8) + Line("8 0 sda", 1, 8) + Line("8 0 sda", 1, 8),
         {{u'C', 8, 0}}, "C:|_Total|", "0 sda|_Total|"},
    };
    for (const Case& c : cases) {
        Host host{c.diskStats, mounts, c.drives};
        Instances instances = ReadInstances(host.machine());
        EXPECT_EQ(Joined(instances.logical), c.logical) << c.diskStats;
        EXPECT_EQ(Joined(instances.physical), c.physical) << c.diskStats;
    }
}

TEST(PdhProviderTest, NamesAndItemsAnswerSizingCallsLikeTheService) {
    Host host{Line("254 0 vda", 1, 8), "", {{u'C', 254, 0}}};
    CounterService service(host.machine());
    char16_t name[32] = {};
    auto lookup = [&](uint32_t index, uint32_t size, char16_t* buffer) {
        uint32_t result = service.LookupName(nullptr, index, buffer, &size);
        return Said(result, size, 0);
    };
    EXPECT_EQ(lookup(236, 0, nullptr), "800007D2/C/0");
    EXPECT_EQ(lookup(236, 11, name), "800007D2/C/0");
    EXPECT_EQ(lookup(224, 32, name), "0/19/0");
    EXPECT_EQ(std::u16string(name), u"Avg. Disk Bytes/Transfer");
    EXPECT_EQ(lookup(238, 32, name), "C0000BBD/20/0");

    auto sizing = [&](const char16_t* object) {
        uint32_t counterLength = 0, instanceLength = 0;
        uint32_t result = service.EnumObjectItems(nullptr, nullptr, object, nullptr, &counterLength, nullptr,
                                                  &instanceLength);
        return Said(result, counterLength, static_cast<int>(instanceLength));
    };
    EXPECT_EQ(sizing(u"physicaldisk"), "800007D2/1A/14");
    EXPECT_EQ(sizing(u"Processor"), "C0000BB8/0/0");
    std::u16string counters(40, u'#'), instances(40, u'#');
    uint32_t counterLength = 40, instanceLength = 40;
    EXPECT_EQ(service.EnumObjectItems(nullptr, nullptr, u"LogicalDisk", counters.data(), &counterLength,
                                      instances.data(), &instanceLength), status::Success);
    EXPECT_EQ(instances.substr(0, instanceLength), std::u16string(u"C:\0_Total\0\0", 11));
    EXPECT_EQ(counters.substr(0, counterLength), std::u16string(u"Avg. Disk Bytes/Transfer\0\0", 26));
    host.diskStats = "";  // no disks: an empty list, two zeros
    EXPECT_EQ(sizing(u"LogicalDisk"), "800007D2/1A/2");
}

TEST(PdhProviderTest, CounterPathsAreCheckedWhenAdded) {
    Host host{Line("254 0 vda", 1, 8), "", {}};
    CounterService service(host.machine());
    uintptr_t query = 0, counter = 0;
    ASSERT_EQ(service.OpenQuery(true, &query), status::Success);
    const std::pair<const char16_t*, uint32_t> cases[] = {
        {u"\\PhysicalDisk(0 vda)\\Avg. Disk Bytes/Transfer", status::Success},
        {u"\\physicaldisk(_total)\\avg. disk bytes/transfer", status::Success},
        {u"\\PhysicalDisk(9 sdz)\\Avg. Disk Bytes/Transfer", status::Success},  // missing when read
        {u"", status::NoCounterName},
        {u"\\\\host\\PhysicalDisk(0 vda)\\Avg. Disk Bytes/Transfer", status::NoMachine},
        {u"PhysicalDisk(0 vda)\\Avg. Disk Bytes/Transfer", status::BadCounterName},
        {u"\\PhysicalDisk(0 vda\\Avg. Disk Bytes/Transfer", status::BadCounterName},
        {u"\\PhysicalDisk()\\Avg. Disk Bytes/Transfer", status::BadCounterName},
        {u"\\PhysicalDisk(0 vda)\\", status::BadCounterName},
        {u"\\Memory\\Avg. Disk Bytes/Transfer", status::NoObject},
        {u"\\PhysicalDisk(0 vda)\\Disk Reads/sec", status::NoCounter},
    };
    for (auto [path, expected] : cases) EXPECT_EQ(service.AddCounter(query, path, &counter), expected);
    EXPECT_EQ(service.AddCounter(query + 1, cases[0].first, &counter), status::InvalidHandle);
}

TEST(PdhProviderTest, ValuesAreBytesPerTransferBetweenTheLastTwoCollects) {
    Host host{Line("8 0 sda", 10, 80) + Line("8 16 sdb", 0, 0), "", {}};
    CounterService service(host.machine());
    uintptr_t query = 0, one = 0, total = 0, missing = 0;
    service.OpenQuery(true, &query);
    EXPECT_EQ(service.CollectQueryData(query), status::NoData);
    service.AddCounter(query, u"\\PhysicalDisk(0 sda)\\Avg. Disk Bytes/Transfer", &one);
    service.AddCounter(query, u"\\PhysicalDisk(_Total)\\Avg. Disk Bytes/Transfer", &total);
    service.AddCounter(query, u"\\PhysicalDisk(7 sdq)\\Avg. Disk Bytes/Transfer", &missing);
    // "call status/counter status/value", the value -1 where the record is left alone.
    auto read = [&](uintptr_t counter) {
        uint32_t counterStatus = 0xDEADBEEF;
        int32_t value = -1;
        uint32_t result = service.GetFormattedValue(counter, FormatLong, nullptr, counterStatus, value);
        return Said(result, counterStatus, value);
    };
    EXPECT_EQ(read(one), "C0000BC6/C0000BBA/-1");
    const struct Step {
        std::string diskStats, one, total;
    } steps[] = {
        {host.diskStats, "C0000BC6/C0000BBA/-1", "C0000BC6/C0000BBA/-1"},  // the first collect only primes
        {Line("8 0 sda", 12, 96, 2, 16) + Line("8 16 sdb", 4, 256), "0/0/4096", "0/0/18432"},
        {Line("8 0 sda", 12, 96, 2, 16) + Line("8 16 sdb", 4, 256), "0/0/0", "0/0/0"},  // idle
        {Line("8 0 sda", 1, 8) + Line("8 16 sdb", 4, 256), "C0000BC6/C0000BBA/-1", "C0000BC6/C0000BBA/-1"},
        {Line("8 16 sdb", 5, 264), "C0000BC6/800007D1/-1", "0/0/4096"},  // sda went away
    };
    for (const Step& step : steps) {
        host.diskStats = step.diskStats;
        EXPECT_EQ(service.CollectQueryData(query), status::Success);
        EXPECT_EQ(read(one), step.one) << step.diskStats;
        EXPECT_EQ(read(total), step.total) << step.diskStats;
        EXPECT_EQ(read(missing), "C0000BC6/800007D1/-1");
    }
    EXPECT_EQ(service.CloseQuery(query), status::Success);
    EXPECT_EQ(read(one), "C0000BBC/DEADBEEF/-1");
    EXPECT_EQ(service.CloseQuery(query), status::InvalidHandle);
}

}  // namespace
