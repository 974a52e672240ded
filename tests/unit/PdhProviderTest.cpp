// The disk-counter provider for Wine: its disk objects and its service over made-up kernel files.
#include "wine/DiskCounters.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace provider;

namespace {

// One line of /proc/diskstats: "major minor name" and the counts that matter here: reads, the sectors
// they read, writes, and the sectors they wrote.
std::string Line(const std::string& device, int reads, int in, int writes = 0, int out = 0) {
    auto n = [](int count) {
        return " " + std::to_string(count);
    };
    return " " + device + n(reads) + " 0" + n(in) + " 5" + n(writes) + " 0" + n(out) + " 7 0 9 16\n";
}

const char* const Mounts = "4 1 0:40 / /d rw - btrfs /dev/nvme0n9p2 rw\n5 1 0:41 / / rw - overlay x rw\n";

struct Host {
    std::string diskStats;
    std::vector<Drive> drives = {};
    Source source = DiskCounters({[this] { return diskStats; }, [] { return std::string(Mounts); },
                                  [this] {
                                      return drives;
                                  }});

    // An object's instance list, "|" for each zero; "?" for no such object or for other counters.
    std::string Instances(const WideText& object) {
        ObjectItems items;
        if (!source.items(object, items) || items.counterList != NameList({u"Avg. Disk Bytes/Transfer"})) return "?";
        std::string text;
        for (char16_t unit : items.instanceList) text += unit ? static_cast<char>(unit) : '|';
        return text;
    }
};

TEST(PdhProviderTest, InstancesAreTheWholeDisksAndTheDrivesOnThem) {
    const struct {
        std::string logical, physical;
        std::vector<Drive> drives;
        std::string diskStats;
    } cases[] = {
        {"D:|C:|Z:|_Total||",
         "0 vda|1 nvme0n9|2 sdb|_Total||",
         {{u'D', 0, 40}, {u'C', 254, 1}, {u'E', 0, 41}, {u'F', 7, 0}, {u'Z', 8, 16}},
         Line("7 0 loop0", 1, 8) + Line("254 0 vda", 10, 80) + Line("254 1 vda1", 9, 72) + Line("253 0 zram0", 1, 8) +
             Line("259 0 nvme0n9", 4, 32) + Line("259 1 nvme0n9p2", 4, 32) + Line("1 0 ram0", 1, 8) +
             Line("8 16 sdb", 1, 8)},
        {"||", "||", {{u'C', 254, 0}}, ""},
        {"||", "||", {}, Line("7 0 loop0", 1, 8) + Line("253 0 zram0", 1, 8)},
        // Short, wordy, overflowing, repeated, path-breaking and overlong lines are not believed.
        {"C:|_Total||",
         "0 s~a|1 " + std::string(64, 'd') + "|_Total||",
         {{u'C', 8, 0}},
         "garbage\n254 0 vda 1 2 3\n8 0 sda x 0 0 0 0 0 0 0\n8 1 sdc 99999999999999999999 0 0 0 0 0 0 0\n" +
             Line("8 2 s(a)", 1, 8) + Line("8 3 sd\x01", 1, 8) + Line("8 0 s~a", 1, 8) + Line("8 0 s~a", 1, 8) +
             Line("8 16 " + std::string(64, 'd'), 1, 8) + Line("8 32 " + std::string(65, 'e'), 1, 8)},
    };
    for (const auto& c : cases) {
        Host host{c.diskStats, c.drives};
        EXPECT_EQ(host.Instances(u"logicaldisk"), c.logical) << c.diskStats;
        EXPECT_EQ(host.Instances(u"PhysicalDisk"), c.physical) << c.diskStats;
    }
    EXPECT_EQ(Host{}.Instances(u"Memory"), "?");
    // Each name with the size it needs, its terminator counted; an unknown index names nothing.
    for (auto [index, expected] : {std::pair{236u, "LogicalDisk 12"},
                                   {234u, "PhysicalDisk 13"},
                                   {224u, "Avg. Disk Bytes/Transfer 25"},
                                   {238u, " 1"}}) {
        Name found = Host{}.source.name(index);
        EXPECT_EQ(std::string(found.text.begin(), found.text.end()) + " " + std::to_string(found.size), expected);
    }
}

// The letters set in the mask, each with the device its root lies on as stat64 encodes it: the
// major in bits 8..19, the minor in bits 0..7 and 20..31.
TEST(PdhProviderTest, DrivesAreTheLettersSetWithTheirDevices) {
    auto device = [](const char16_t* root, uint64_t& number) {
        EXPECT_EQ(std::u16string_view(root).substr(1), u":\\");
        number = root[0] == u'C' ? 0x10010301 : 0x800;
        return root[0] != u'B';
    };
    std::string drives;
    for (const Drive& drive : LetteredDrives(0x2000007, device))  // A, B, C and Z
        drives += std::string(1, static_cast<char>(drive.letter)) + std::to_string(drive.major) + ":" +
                  std::to_string(drive.minor) + " ";
    EXPECT_EQ(drives, "A8:0 C259:65537 Z8:0 ");
}

TEST(PdhProviderTest, PathsAreCheckedWhenAddedInstancesWhenCollectedAndValuesAreBytesPerTransfer) {
    Host host;
    CounterService service(host.source);
    void *query = nullptr, *one = nullptr, *total = nullptr;
    ASSERT_EQ(service.OpenQuery(true, &query), status::Success);
    for (auto [path, expected] : std::initializer_list<std::pair<std::u16string, uint32_t>>{
             {u"", status::NoCounterName},
             {u"\\\\host\\PhysicalDisk(1 sda)\\X", status::NoMachine},
             {u"PhysicalDisk\\X", status::BadCounterName},
             {u"\\PhysicalDisk(1 sda\\X", status::BadCounterName},
             {u"\\PhysicalDisk()\\X", status::BadCounterName},
             {u"\\PhysicalDisk(1 sda)\\", status::BadCounterName},
             {u"\\Memory\\X", status::NoObject},
             {u"\\PhysicalDisk(1 sda)\\Disk Reads/sec", status::NoCounter},
             {u"\\physicaldisk(1 sda)\\avg. disk bytes/transfer", status::Success}})
        EXPECT_EQ(service.AddCounter(query, path.c_str(), &one), expected) << std::string(path.begin(), path.end());
    // As on Windows: a counter of a missing instance is added, and a query of it alone has no data.
    EXPECT_EQ(service.CollectQueryData(query), status::NoData);
    service.AddCounter(query, u"\\PhysicalDisk(_Total)\\Avg. Disk Bytes/Transfer", &total);
    // "counter status, value" after a read; a read that fails leaves the value -1.
    auto read = [&](void* counter) {
        uint32_t counterStatus = 0;
        int32_t value = -1;
        service.GetFormattedValue(counter, FormatLong, nullptr, &counterStatus, &value);
        return std::to_string(counterStatus) + ", " + std::to_string(value);
    };
    const std::string invalid = std::to_string(status::CounterInvalidData) + ", -1";
    const std::string missing = std::to_string(status::NoInstance) + ", -1";
    const std::string sdb = Line("8 16 sdb", 4, 256), loop = Line("7 0 loop0", 2, 1000);
    const std::string steps[][3] = {
        {Line("8 16 sdb", 0, 0), missing, invalid},  // the first collect only primes
        {sdb + Line("8 0 sda", 10, 80) + Line("7 0 loop0", 1, 8), invalid, "0, 32768"},  // sda appears, and primes
        {sdb + Line("8 0 sda", 12, 96, 2, 16) + loop, "0, 4096", "0, 4096"},  // _Total leaves the loop device out
        {sdb + Line("8 0 sda", 12, 96, 2, 16) + loop, "0, 0", "0, 0"},        // idle
        {sdb + Line("8 0 sda", 1, 8), invalid, invalid},                      // counts that went back
        {Line("8 16 sdb", 5, 264), missing, "0, 4096"},                       // sda went away
    };
    for (const auto& [diskStats, expectedOne, expectedTotal] : steps) {
        host.diskStats = diskStats;
        EXPECT_EQ(service.CollectQueryData(query), status::Success);
        EXPECT_EQ(read(one), expectedOne) << diskStats;
        EXPECT_EQ(read(total), expectedTotal) << diskStats;
    }
}

// Drive letters come and go in a running session: every listing shows the drives of its moment,
// and a counter of a letter taken away reads NoInstance until the letter is back.
TEST(PdhProviderTest, ListingsAndCountersFollowTheDrivesOfTheMoment) {
    Host host{Line("8 16 sdb", 1, 8)};
    CounterService service(host.source);
    void *query = nullptr, *counter = nullptr;
    ASSERT_EQ(service.OpenQuery(true, &query), status::Success);
    ASSERT_EQ(service.AddCounter(query, u"\\LogicalDisk(D:)\\Avg. Disk Bytes/Transfer", &counter), status::Success);
    const std::vector<Drive> c = {{u'C', 8, 16}}, cd = {{u'C', 8, 16}, {u'D', 8, 16}};
    const std::tuple<std::vector<Drive>, std::string, uint32_t> moments[] = {
        {c, "C:|_Total||", status::NoInstance},
        {cd, "C:|D:|_Total||", status::CounterInvalidData},
        {cd, "C:|D:|_Total||", status::Success},
        {c, "C:|_Total||", status::NoInstance},
        {cd, "C:|D:|_Total||", status::CounterInvalidData}};
    for (auto& [drives, listed, counterStatus] : moments) {
        host.drives = drives;
        EXPECT_EQ(host.Instances(u"LogicalDisk"), listed);
        service.CollectQueryData(query);
        uint32_t read = 0;
        int32_t value = 0;
        service.GetFormattedValue(counter, FormatLong, nullptr, &read, &value);
        EXPECT_EQ(read, counterStatus) << listed;
    }
    EXPECT_EQ(service.CloseQuery(query), status::Success);
}

}  // namespace
