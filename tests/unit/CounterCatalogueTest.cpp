#include "tests/unit/Machine.h"

#include <functional>

namespace {

class CounterCatalogueTest : public MachineTest {};

void RawList(DWORD length, DWORD reportedLength, std::vector<WCHAR> units) {
    substitute::SetRawObjectAnswer(u"LogicalDisk", {length, reportedLength, {u'c', 0, 0}, std::move(units)});
}

void LongObjectName(size_t units) {
    substitute::SetPerfName(236, WideString(units, u'L'));
    substitute::AddPerfObject(WideString(units, u'L'), {u"C:"}, {u"Avg. Disk Bytes/Transfer"});
}

// Every instance of the first object, then of the second, in the service's order, as
// "ordinal:display name"; whatever the service gets wrong leaves out only what it touches.
TEST_F(CounterCatalogueTest, ListsEveryInstanceInServiceOrderLeavingOutOnlyWhatFailed) {
    const std::string second = "0:PhysicalDisk(0 C:)";
    const std::pair<std::function<void()>, std::vector<std::string>> cases[] = {
        {[] {
             substitute::SeedDiskObjects({u"Z:", u"A:", u"Z:"}, {u"0 C: D:", u"_Total"});
         },
         {"0:LogicalDisk(Z:)", "1:LogicalDisk(A:)", "2:LogicalDisk(Z:)", "0:PhysicalDisk(0 C: D:)",
          "1:PhysicalDisk(_Total)"}},
        {[] { substitute::FailNext("PdhOpenQueryA", PDH_INVALID_DATA); }, {}},
        {[] { substitute::AddPerfObject(u"LogicalDisk", {u"C:"}, {}); }, {second}},
        {[] { LongObjectName(1023); }, {"0:" + std::string(1023, 'L') + "(C:)", second}},
        {[] { LongObjectName(1024); }, {second}},
        // Entries of 2048 units or more are left out: "\LogicalDisk(", ")\Avg. Disk Bytes/Transfer" are 39.
        {[] {
             substitute::SeedDiskObjects({u"C:", WideString(2009, u'j'), WideString(2008, u'i')}, {});
         },
         {"0:LogicalDisk(C:)", "2:LogicalDisk(" + std::string(2008, 'i') + ")"}},
        {[] {
             RawList(ObjectListLimit, ObjectListLimit, {u'A', 0, 0});
         },
         {"0:LogicalDisk(A)", second}},
        // Instance lists as a broken service might write them: only names that end inside the list count.
        {[] {
             RawList(3, 4, {u'A', 0, u'B', 0});
         },
         {"0:LogicalDisk(A)", "1:LogicalDisk(B)", second}},
        {[] {
             RawList(3, 4, {u'A', 0, u'B', u'C'});
         },
         {"0:LogicalDisk(A)", second}},
    };
    for (size_t row = 0; row < std::size(cases); ++row) {
        auto& [arrange, entries] = cases[row];
        SCOPED_TRACE("row " + std::to_string(row));
        SetUp();
        arrange();
        BuildCounterCatalogue();
        std::vector<std::string> built;
        for (auto& entry : CounterCatalogue)
            built.push_back(std::to_string(entry.Ordinal) + ":" +
                            std::string(entry.DisplayName.begin(), entry.DisplayName.end()));
        EXPECT_EQ(built, entries);
        EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
    }
    EXPECT_EQ(CounterCatalogue[0].CounterPath, u"\\LogicalDisk(A)\\Avg. Disk Bytes/Transfer");
}

// The watched path (without its counter) and the tooltip the default and the saved selections leave.
TEST_F(CounterCatalogueTest, SelectsTotalByDefaultAndTheFirstEntryHoldingTheSavedName) {
    using Names = std::vector<WideString>;
    const std::tuple<Names, Names, std::optional<WideString>, std::string> cases[] = {
        {{u"C:", u"_Total"}, {u"_Total"}, {}, "\\LogicalDisk(_Total) LogicalDisk(_Total)"},
        {{u"C:"}, {u"_Total"}, {}, "\\PhysicalDisk(_Total) PhysicalDisk(_Total)"},
        {{u"C:", u"_TOTAL"}, {u"0"}, {}, "\\LogicalDisk(C:) "},       // entry 0, without a tooltip
        {{}, {}, {}, " Disk counters unavailable (see README.txt)"},  // no disks: the tooltip says so
        {{u"C:", u"D:"}, {u"1 D:"}, u"D:)", "\\LogicalDisk(D:) LogicalDisk(D:)"},
        {{u"_Total", u"PhysicalDisk(1)"},
         {u"1"},
         u"PhysicalDisk(1)",
         "\\LogicalDisk(PhysicalDisk(1)) LogicalDisk(PhysicalDisk(1))"},
        {{u"C:", u"_Total"}, {}, u"logicaldisk(c:)", "\\LogicalDisk(_Total) LogicalDisk(_Total)"},
        {{u"C:", u"D:"}, {}, u"", "\\LogicalDisk(C:) LogicalDisk(C:)"},
    };
    for (auto& [logical, physical, saved, selected] : cases) {
        SCOPED_TRACE(selected);
        ResetProgramState();
        substitute::SeedDiskObjects(logical, physical);
        BuildCounterCatalogue();
        SelectDefaultEntry();
        if (saved) SelectSavedEntry(*saved);
        std::string path(SelectedCounterPath.begin(), SelectedCounterPath.end());
        EXPECT_EQ(path.substr(0, path.rfind('\\')) + " " + TooltipText, selected);
    }
}

// Each lookup answers the first entry that matches, or NoEntry once it has passed the last one;
// an index one past the last selects nothing.
TEST_F(CounterCatalogueTest, LookupsFindTheFirstMatchOrNoEntry) {
    BuildCounterCatalogue();
    EXPECT_EQ(FindEntryContaining(u"C:"), 0);
    EXPECT_EQ(FindEntryContaining(u"D:"), NoEntry);
    EXPECT_EQ(FindEntryNamed(u"PhysicalDisk(0 C:)"), 2);
    EXPECT_EQ(FindEntryNamed(u"PhysicalDisk(0"), NoEntry);
    SelectedCounterPath = u"\\LogicalDisk(D:)\\Avg. Disk Bytes/Transfer";
    EXPECT_EQ(WatchedEntry(), NoEntry);
    SelectCounterEntry(2);
    SelectCounterEntry(3);
    SetTooltipFromEntry(3);
    EXPECT_EQ(WatchedEntry(), 2);
    EXPECT_EQ(TooltipText, "PhysicalDisk(0 C:)");
}

}  // namespace
