#include "tray/TrayPresenter.h"
#include "monitor/CounterCatalogue.h"
#include "tests/unit/Machine.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct Shown {
    LONG ordinal;
    std::string displayName;
    std::string counterPath;
    bool operator==(const Shown&) const = default;
};

std::string Ascii(const WideString& text) {
    std::string out;
    for (WCHAR unit : text) out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return out;
}

std::vector<Shown> Catalogue() {
    std::vector<Shown> out;
    for (auto& entry : CounterCatalogue)
        out.push_back({entry.Ordinal, Ascii(entry.DisplayName), Ascii(entry.CounterPath)});
    return out;
}

std::vector<std::string> DisplayNames() {
    std::vector<std::string> out;
    for (auto& entry : CounterCatalogue) out.push_back(Ascii(entry.DisplayName));
    return out;
}

class CounterCatalogueTest : public MachineTest {};

TEST_F(CounterCatalogueTest, ListsFirstObjectThenSecondWithOrdinalsPerObject) {
    substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C: D:", u"_Total"});
    BuildCounterCatalogue();
    const std::string counter = "\\Avg. Disk Bytes/Transfer";
    EXPECT_THAT(Catalogue(), ElementsAre(Shown{0, "LogicalDisk(C:)", "\\LogicalDisk(C:)" + counter},
                                         Shown{1, "LogicalDisk(D:)", "\\LogicalDisk(D:)" + counter},
                                         Shown{2, "LogicalDisk(_Total)", "\\LogicalDisk(_Total)" + counter},
                                         Shown{0, "PhysicalDisk(0 C: D:)", "\\PhysicalDisk(0 C: D:)" + counter},
                                         Shown{1, "PhysicalDisk(_Total)", "\\PhysicalDisk(_Total)" + counter}));
    // The names are looked up once each, first object, second object, counter.
    EXPECT_THAT(substitute::LookedUpNames(), ElementsAre(236, 236, 234, 234, 224, 224));
}

TEST_F(CounterCatalogueTest, KeepsDuplicatesAndServiceOrder) {
    substitute::SeedDiskObjects({u"Z:", u"A:", u"Z:"}, {});
    BuildCounterCatalogue();
    EXPECT_THAT(DisplayNames(), ElementsAre("LogicalDisk(Z:)", "LogicalDisk(A:)", "LogicalDisk(Z:)"));
}

// What the two selections leave behind, for catalogues and saved names of every kind.
struct SelectionCase {
    const char* name;
    std::vector<WideString> logical;
    std::vector<WideString> physical;
    std::optional<WideString> saved;  // none: only the default choice
    std::string path;                 // SelectedCounterPath afterwards, without the counter
    std::string tooltip;
};
void PrintTo(const SelectionCase& row, std::ostream* out) { *out << row.name; }


class SelectionTest : public CounterCatalogueTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(SelectionTest, SelectsAsTheUserExpects) {
    const SelectionCase& c = GetParam();
    substitute::SeedDiskObjects(c.logical, c.physical);
    BuildCounterCatalogue();
    SelectDefaultEntry();
    if (c.saved) SelectSavedEntry(*c.saved);
    std::string expectedPath = c.path.empty() ? "" : c.path + "\\Avg. Disk Bytes/Transfer";
    EXPECT_EQ(Ascii(SelectedCounterPath), expectedPath);
    EXPECT_EQ(TooltipText, c.tooltip);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelectionTest,
    ::testing::Values(
        SelectionCase{"FirstObjectsTotalWins", {u"C:", u"_Total"}, {u"0 C:", u"_Total"}, {},
                      "\\LogicalDisk(_Total)", "LogicalDisk(_Total)"},
        SelectionCase{"SecondObjectsTotalWhenFirstHasNone", {u"C:"}, {u"_Total"}, {},
                      "\\PhysicalDisk(_Total)", "PhysicalDisk(_Total)"},
        SelectionCase{"NoTotalTakesEntryZeroWithoutTooltip", {u"C:", u"D:"}, {u"0"}, {},
                      "\\LogicalDisk(C:)", ""},
        SelectionCase{"TotalInOtherCaseIsNotTheDefault", {u"C:", u"_TOTAL", u"_total"}, {}, {},
                      "\\LogicalDisk(C:)", ""},
        SelectionCase{"EmptyCatalogueSelectsNothing", {}, {}, {}, "", ""},
        SelectionCase{"SavedNameOverridesDefault", {u"C:", u"_Total"}, {u"0 C:"}, u"PhysicalDisk(0 C:)",
                      "\\PhysicalDisk(0 C:)", "PhysicalDisk(0 C:)"},
        SelectionCase{"SavedPartOfANameTakesFirstContainingIt", {u"C:", u"D:"}, {u"1 D:"}, u"D:)",
                      "\\LogicalDisk(D:)", "LogicalDisk(D:)"},
        SelectionCase{"ContainingBeatsALaterExactMatch", {u"_Total", u"x PhysicalDisk(0)"}, {u"0"},
                      u"PhysicalDisk(0)", "\\LogicalDisk(x PhysicalDisk(0))",
                      "LogicalDisk(x PhysicalDisk(0))"},
        SelectionCase{"SavedNameMatchingNothingKeepsDefault", {u"C:", u"_Total"}, {}, u"E:",
                      "\\LogicalDisk(_Total)", "LogicalDisk(_Total)"},
        SelectionCase{"SavedNameIsCaseSensitive", {u"C:", u"_Total"}, {}, u"logicaldisk(c:)",
                      "\\LogicalDisk(_Total)", "LogicalDisk(_Total)"},
        SelectionCase{"EmptySavedNameTakesEntryZeroWithTooltip", {u"C:", u"_Total"}, {}, u"",
                      "\\LogicalDisk(C:)", "LogicalDisk(C:)"},
        SelectionCase{"SavedNameLongerThanEveryNameMatchesNothing", {u"C:"}, {}, u"LogicalDisk(C:) and more",
                      "\\LogicalDisk(C:)", ""},
        SelectionCase{"SavedNameOnEmptyCatalogueDoesNothing", {}, {}, u"", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Failures of the service leave out only what they touch.
struct FailureCase {
    const char* name;
    std::function<void()> arrange;
    std::vector<std::string> displayNames;
};
void PrintTo(const FailureCase& row, std::ostream* out) { *out << row.name; }


class FailureTest : public CounterCatalogueTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, LeavesOutOnlyWhatFailed) {
    substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
    GetParam().arrange();
    BuildCounterCatalogue();
    EXPECT_EQ(DisplayNames(), GetParam().displayNames);
    EXPECT_EQ(substitute::OpenQueries(), 0u);
}

const std::vector<std::string> Everything = {"LogicalDisk(C:)", "LogicalDisk(_Total)", "PhysicalDisk(0 C:)"};
const std::vector<std::string> SecondOnly = {"PhysicalDisk(0 C:)"};
const std::vector<std::string> FirstOnly = {"LogicalDisk(C:)", "LogicalDisk(_Total)"};

INSTANTIATE_TEST_SUITE_P(
    Table, FailureTest,
    ::testing::Values(
        FailureCase{"NothingFails", [] {}, Everything},
        FailureCase{"QueryCannotOpen", [] { substitute::FailNext("PdhOpenQueryA", PDH_INVALID_DATA); }, {}},
        FailureCase{"FirstObjectSizingFails",
                    [] { substitute::FailNext("PdhEnumObjectItemsW", PDH_CSTATUS_NO_OBJECT); }, SecondOnly},
        FailureCase{"FirstObjectFillingFails",
                    [] { substitute::FailNext("PdhEnumObjectItemsW", PDH_INVALID_DATA, 1); }, SecondOnly},
        FailureCase{"SecondObjectFillingFails",
                    [] { substitute::FailNext("PdhEnumObjectItemsW", PDH_INVALID_DATA, 3); }, FirstOnly},
        FailureCase{"SizingSucceedsInsteadOfAskingForMore",
                    [] { substitute::FailNext("PdhEnumObjectItemsW", 0); }, SecondOnly},
        FailureCase{"FirstObjectHasNoCounters",
                    [] { substitute::AddPerfObject(u"LogicalDisk", {u"C:"}, {}); }, SecondOnly},
        FailureCase{"FirstObjectHasNoInstances",
                    [] { substitute::AddPerfObject(u"LogicalDisk", {}, {u"c"}); }, SecondOnly},
        FailureCase{"InstanceListStartsWithEmptyName",
                    [] { substitute::AddPerfObject(u"LogicalDisk", {u"", u"C:"}, {u"c"}); }, SecondOnly},
        FailureCase{"FirstObjectNameLookupFails",
                    [] { substitute::FailNext("PdhLookupPerfNameByIndexW", PDH_INVALID_ARGUMENT); }, SecondOnly},
        FailureCase{"FirstObjectNameSizedAsZero", [] { substitute::SetPerfNameSize(236, 0); }, SecondOnly},
        FailureCase{"NameSizedTooSmallForTheName", [] { substitute::SetPerfNameSize(234, 3); }, FirstOnly},
        FailureCase{"NameSizedBeyondTheBuffer", [] { substitute::SetPerfNameSize(236, 5000); }, SecondOnly},
        FailureCase{"ObjectNameOf1023UnitsFits",
                    [] {
                        WideString name(1023, u'L');
                        substitute::SetPerfName(236, name);
                        substitute::AddPerfObject(name, {u"C:"}, {u"Avg. Disk Bytes/Transfer"});
                    },
                    {std::string(1023, 'L') + "(C:)", "PhysicalDisk(0 C:)"}},
        FailureCase{"ObjectNameOf1024UnitsIsLeftOut",
                    [] {
                        WideString name(1024, u'L');
                        substitute::SetPerfName(236, name);
                        substitute::AddPerfObject(name, {u"C:"}, {u"Avg. Disk Bytes/Transfer"});
                    },
                    SecondOnly},
        FailureCase{"ListLengthBeyondAnyRealService",
                    [] {
                        substitute::SetRawObjectAnswer(u"LogicalDisk", {4, ObjectListLimit + 1, {u'c', 0, 0}, {}});
                    },
                    SecondOnly}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CounterCatalogueTest, CounterNameThatCannotBeLookedUpStillListsEntries) {
    substitute::SeedDiskObjects({u"C:"}, {});
    substitute::FailNext("PdhLookupPerfNameByIndexW", PDH_INVALID_ARGUMENT, 4);
    BuildCounterCatalogue();
    ASSERT_EQ(CounterCatalogue.size(), 1u);
    // The path names no counter, so a sampler cannot add it and ends.
    EXPECT_EQ(Ascii(CounterCatalogue[0].CounterPath), "\\LogicalDisk(C:)\\");
}

TEST_F(CounterCatalogueTest, EntriesOfTwoThousandUnitsOrMoreAreLeftOutKeepingOrdinals) {
    const WideString counter = u"Avg. Disk Bytes/Transfer";
    // "\LogicalDisk(" + instance + ")\" + counter: 15 + counter units around the instance.
    const size_t around = 15 + counter.size();
    WideString longest(EntryTextCapacity - 1 - around, u'i');
    WideString tooLong(EntryTextCapacity - around, u'j');
    substitute::SeedDiskObjects({u"C:", tooLong, longest, u"D:"}, {});
    BuildCounterCatalogue();
    ASSERT_EQ(CounterCatalogue.size(), 3u);
    EXPECT_EQ(CounterCatalogue[1].CounterPath.size(), EntryTextCapacity - 1);
    EXPECT_EQ(CounterCatalogue[1].Ordinal, 2);
    EXPECT_EQ(Ascii(CounterCatalogue[2].DisplayName), "LogicalDisk(D:)");
    EXPECT_EQ(CounterCatalogue[2].Ordinal, 3);
}

// Instance lists as a broken service might write them.
struct RawListCase {
    const char* name;
    DWORD reportedLength;
    std::vector<WCHAR> units;
    std::vector<std::string> displayNames;
};
void PrintTo(const RawListCase& row, std::ostream* out) { *out << row.name; }


class RawListTest : public CounterCatalogueTest, public ::testing::WithParamInterface<RawListCase> {};

TEST_P(RawListTest, TakesOnlyTerminatedNamesInsideTheList) {
    substitute::SeedDiskObjects({}, {});
    const RawListCase& c = GetParam();
    substitute::SetRawObjectAnswer(u"LogicalDisk", {3, c.reportedLength, {u'c', 0, 0}, c.units});
    BuildCounterCatalogue();
    EXPECT_EQ(DisplayNames(), c.displayNames);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RawListTest,
    ::testing::Values(
        RawListCase{"WellFormed", 6, {u'A', 0, u'B', 0, 0, 0}, {"LogicalDisk(A)", "LogicalDisk(B)"}},
        RawListCase{"MissingFinalEmptyName", 4, {u'A', 0, u'B', 0}, {"LogicalDisk(A)", "LogicalDisk(B)"}},
        RawListCase{"LastNameUnterminated", 4, {u'A', 0, u'B', u'C'}, {"LogicalDisk(A)"}},
        RawListCase{"NoTerminatorAtAll", 3, {u'A', u'B', u'C'}, {}},
        RawListCase{"ReportedLongerThanWritten", 40, {u'A', 0}, {"LogicalDisk(A)"}},
        RawListCase{"ReportedShorterThanWritten", 1, {u'A', 0, u'B', 0, 0}, {}},
        RawListCase{"ZeroLength", 0, {u'A', 0, 0}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
