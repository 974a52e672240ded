#include "monitor/CounterCatalogue.h"
#include "tray/TrayPresenter.h"
#include "tests/unit/Machine.h"

#include <functional>
#include <optional>

using ::testing::ElementsAre;

namespace {

// The catalogue as "ordinal:display name" entries.
std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (auto& entry : CounterCatalogue)
        out.push_back(std::to_string(entry.Ordinal) + ":" + AsciiText(entry.DisplayName));
    return out;
}

class CounterCatalogueTest : public MachineTest {};

TEST_F(CounterCatalogueTest, ListsEveryInstanceOfTheFirstObjectThenTheSecondInServiceOrder) {
    substitute::SeedDiskObjects({u"Z:", u"A:", u"Z:"}, {u"0 C: D:", u"_Total"});
    BuildCounterCatalogue();
    EXPECT_THAT(Entries(), ElementsAre("0:LogicalDisk(Z:)", "1:LogicalDisk(A:)", "2:LogicalDisk(Z:)",
                                       "0:PhysicalDisk(0 C: D:)", "1:PhysicalDisk(_Total)"));
    EXPECT_EQ(AsciiText(CounterCatalogue[4].CounterPath), "\\PhysicalDisk(_Total)\\Avg. Disk Bytes/Transfer");
}

// Whatever the service gets wrong leaves out only what it touches.
struct ServiceCase {
    const char* name;
    std::function<void()> arrange;
    std::vector<std::string> entries;
};
void PrintTo(const ServiceCase& row, std::ostream* out) { *out << row.name; }

class ServiceTest : public CounterCatalogueTest, public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(ServiceTest, LeavesOutOnlyWhatFailed) {
    substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
    GetParam().arrange();
    BuildCounterCatalogue();
    EXPECT_EQ(Entries(), GetParam().entries);
}

const std::vector<std::string> SecondOnly = {"0:PhysicalDisk(0 C:)"};

void RawList(DWORD reportedLength, std::vector<WCHAR> units) {
    substitute::SetRawObjectAnswer(u"LogicalDisk", {3, reportedLength, {u'c', 0, 0}, std::move(units)});
}

void LongObjectName(size_t units) {
    substitute::SetPerfName(236, WideString(units, u'L'));
    substitute::AddPerfObject(WideString(units, u'L'), {u"C:"}, {u"Avg. Disk Bytes/Transfer"});
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceTest,
    ::testing::Values(
        ServiceCase{"QueryCannotOpen", [] { substitute::FailNext("PdhOpenQueryA", PDH_INVALID_DATA); }, {}},
        ServiceCase{"NoCounters", [] { substitute::AddPerfObject(u"LogicalDisk", {u"C:"}, {}); }, SecondOnly},
        ServiceCase{"NameOf1023UnitsFits", [] { LongObjectName(1023); },
                    {"0:" + std::string(1023, 'L') + "(C:)", "0:PhysicalDisk(0 C:)"}},
        ServiceCase{"NameOf1024UnitsIsLeftOut", [] { LongObjectName(1024); }, SecondOnly},
        ServiceCase{"ListsAsLongAsAnyRealService",
                    [] {
                        substitute::SetRawObjectAnswer(
                            u"LogicalDisk", {ObjectListLimit, ObjectListLimit, {u'c', 0, 0}, {u'A', 0, 0}});
                    },
                    {"0:LogicalDisk(A)", "0:PhysicalDisk(0 C:)"}},
        // Instance lists as a broken service might write them: only names that end inside the list count.
        ServiceCase{"ListWithoutItsFinalEmptyName", [] { RawList(4, {u'A', 0, u'B', 0}); },
                    {"0:LogicalDisk(A)", "1:LogicalDisk(B)", "0:PhysicalDisk(0 C:)"}},
        ServiceCase{"LastNameUnterminated", [] { RawList(4, {u'A', 0, u'B', u'C'}); },
                    {"0:LogicalDisk(A)", "0:PhysicalDisk(0 C:)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CounterCatalogueTest, EntriesOfTwoThousandUnitsOrMoreAreLeftOutKeepingOrdinals) {
    // "\LogicalDisk(" + instance + ")\Avg. Disk Bytes/Transfer" is 39 units around the instance.
    substitute::SeedDiskObjects(
        {u"C:", WideString(EntryTextCapacity - 39, u'j'), WideString(EntryTextCapacity - 40, u'i')}, {});
    BuildCounterCatalogue();
    ASSERT_EQ(CounterCatalogue.size(), 2u);
    EXPECT_EQ(CounterCatalogue[1].Ordinal, 2);
    EXPECT_EQ(CounterCatalogue[1].DisplayName.size(), EntryTextCapacity - 27);
    EXPECT_EQ(CounterCatalogue[1].CounterPath.size(), EntryTextCapacity - 1);
}

// What the default and the saved selections leave as the watched path and the tooltip.
struct SelectionCase {
    std::vector<WideString> logical;
    std::vector<WideString> physical;
    std::optional<WideString> saved;
    std::string selected;  // path without the counter, then the tooltip
};

TEST_F(CounterCatalogueTest, SelectsTotalByDefaultAndTheFirstEntryHoldingTheSavedName) {
    const SelectionCase cases[] = {
        {{u"C:", u"_Total"}, {u"_Total"}, {}, "\\LogicalDisk(_Total) LogicalDisk(_Total)"},
        {{u"C:"}, {u"_Total"}, {}, "\\PhysicalDisk(_Total) PhysicalDisk(_Total)"},
        {{u"C:", u"_TOTAL"}, {u"0"}, {}, "\\LogicalDisk(C:) "},  // entry 0, without a tooltip
        {{}, {}, {}, " "},
        {{u"C:", u"D:"}, {u"1 D:"}, u"D:)", "\\LogicalDisk(D:) LogicalDisk(D:)"},
        {{u"_Total", u"PhysicalDisk(1)"}, {u"1"}, u"PhysicalDisk(1)",
         "\\LogicalDisk(PhysicalDisk(1)) LogicalDisk(PhysicalDisk(1))"},
        {{u"C:", u"_Total"}, {}, u"logicaldisk(c:)", "\\LogicalDisk(_Total) LogicalDisk(_Total)"},
        {{u"C:", u"D:"}, {}, u"", "\\LogicalDisk(C:) LogicalDisk(C:)"},
    };
    for (const SelectionCase& c : cases) {
        ResetProgramState();
        substitute::SeedDiskObjects(c.logical, c.physical);
        BuildCounterCatalogue();
        SelectDefaultEntry();
        if (c.saved) SelectSavedEntry(*c.saved);
        std::string path = AsciiText(SelectedCounterPath);
        path = path.substr(0, path.rfind('\\'));
        EXPECT_EQ(path + " " + TooltipText, c.selected) << Entries().size() << " entries";
    }
}

}  // namespace
