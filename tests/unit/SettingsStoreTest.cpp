#include "app/MainWindow.h"
#include "tray/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"

#include <optional>

using substitute::DwordBytes;
using substitute::RegistryValue;
using substitute::TextBytes;
using substitute::WideTextBytes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr DWORD Untouched = 777;

std::string Ascii(const WideString& text) {
    std::string out;
    for (WCHAR unit : text) out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return out;
}




// The state LoadSettings starts from: the catalogue built, the default entry selected and both
// roles on their built-in icons, as the set-up leaves them.
class SettingsStoreTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C:", u"1 D:"});
        substitute::AddIconFile("C:\\Icons\\disk.ico", 3);
        substitute::AddIconFile("D:\\a.ico", 1);
        substitute::AddIconFile("C:\\Program Files\\Lumenhop\\Icons\\busy-disk.ico", 2);
        substitute::AddIconFile("C:\\readme.txt", 0);
        BuildCounterCatalogue();
        SelectDefaultEntry();
        IconPair.Active.Icon = LoadDefaultIcon(113);
        IconPair.Inactive.Icon = LoadDefaultIcon(114);
        BlinkDuration = Untouched;
    }
};

// How a stored blink duration reaches the sampler and the Settings dialog.
struct BlinkCase {
    const char* name;
    std::optional<RegistryValue> stored;
    DWORD loaded;  // Untouched: the value in force stays
    DWORD shown;
};
void PrintTo(const BlinkCase& c, std::ostream* os) { *os << c.name; }

class BlinkDurationTest : public SettingsStoreTest, public ::testing::WithParamInterface<BlinkCase> {};

TEST_P(BlinkDurationTest, IsClampedAsAnUnsignedNumberOrSkipped) {
    if (GetParam().stored) Store(BlinkDurationValue, GetParam().stored->type, GetParam().stored->data);
    else substitute::CreateRegistryKey(SettingsKeyPath);
    LoadSettings();
    EXPECT_EQ(BlinkDuration, GetParam().loaded);
    EXPECT_EQ(ReadDialogSettings().BlinkDuration, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BlinkDurationTest,
    ::testing::Values(
        BlinkCase{"Absent", {}, Untouched, 100},
        BlinkCase{"TwentyRisesToFifty", RegistryValue{REG_DWORD, DwordBytes(20)}, 50, 100},
        BlinkCase{"ZeroRisesToFifty", RegistryValue{REG_DWORD, DwordBytes(0)}, 50, 100},
        BlinkCase{"FiftyKept", RegistryValue{REG_DWORD, DwordBytes(50)}, 50, 100},
        BlinkCase{"InsideBothRanges", RegistryValue{REG_DWORD, DwordBytes(1500)}, 1500, 1500},
        BlinkCase{"TwentyFiveHundredKeptButShownAsTwoThousand", RegistryValue{REG_DWORD, DwordBytes(2500)}, 2500, 2000},
        BlinkCase{"ThreeThousandKept", RegistryValue{REG_DWORD, DwordBytes(3000)}, 3000, 2000},
        BlinkCase{"FiveThousandFallsToThreeThousand", RegistryValue{REG_DWORD, DwordBytes(5000)}, 3000, 2000},
        BlinkCase{"AllBitsSetIsLargeNotNegative", RegistryValue{REG_DWORD, DwordBytes(0xFFFFFFFF)}, 3000, 2000},
        BlinkCase{"FiveBytesAreAbsent", RegistryValue{REG_DWORD, {0xE8, 3, 0, 0, 0}}, Untouched, 100},
        BlinkCase{"QwordIsAbsent", RegistryValue{REG_QWORD, {0xE8, 3, 0, 0, 0, 0, 0, 0}}, Untouched, 100},
        BlinkCase{"TwoByteBinaryIsLittleEndian", RegistryValue{REG_BINARY, {0xE8, 0x03}}, 1000, 1000},
        BlinkCase{"OneByteTextIsItsCharacterCode", RegistryValue{REG_SZ, {'7'}}, 55, 100},
        BlinkCase{"ZeroBytesReadAsZero", RegistryValue{REG_BINARY, {}}, 50, 100},
        BlinkCase{"BigEndianTypeIsStillReadLittleEndian", RegistryValue{REG_DWORD_BIG_ENDIAN, {0, 0, 3, 0xE8}},
                  3000, 2000}),
    [](const auto& info) { return std::string(info.param.name); });

// How a stored selection picks the watched entry, and what the Settings dialog gets to search for.
struct SelectionCase {
    const char* name;
    std::optional<RegistryValue> stored;
    std::string tooltip;  // the selected entry's name; the path follows it
    std::optional<std::string> dialogName;
};
void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.name; }

class StoredSelectionTest : public SettingsStoreTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(StoredSelectionTest, SelectsTheFirstEntryContainingIt) {
    if (GetParam().stored) Store(SelectedDiskCounterValue, GetParam().stored->type, GetParam().stored->data);
    else substitute::CreateRegistryKey(SettingsKeyPath);
    LoadSettings();
    EXPECT_EQ(TooltipText, GetParam().tooltip);
    EXPECT_EQ(Ascii(SelectedCounterPath), "\\" + GetParam().tooltip + "\\Avg. Disk Bytes/Transfer");
    std::optional<WideString> dialogName = ReadDialogSettings().SelectedName;
    ASSERT_EQ(dialogName.has_value(), GetParam().dialogName.has_value());
    if (dialogName) {
        EXPECT_EQ(Ascii(*dialogName), *GetParam().dialogName);
    }
}

std::vector<BYTE> Utf16(const std::string& text) { return WideTextBytes(Wide(text)); }

std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoredSelectionTest,
    ::testing::Values(
        SelectionCase{"AbsentKeepsTotal", {}, "LogicalDisk(_Total)", {}},
        SelectionCase{"WholeNameOverridesTotal", RegistryValue{REG_BINARY, Utf16("PhysicalDisk(1 D:)")},
                      "PhysicalDisk(1 D:)", "PhysicalDisk(1 D:)"},
        SelectionCase{"PartOfANameTakesTheFirstContainingIt", RegistryValue{REG_BINARY, Utf16("D:)")},
                      "LogicalDisk(D:)", "D:)"},
        SelectionCase{"EmptyTakesTheFirstEntry", RegistryValue{REG_BINARY, {}}, "LogicalDisk(C:)", ""},
        SelectionCase{"MatchingNothingKeepsTotal", RegistryValue{REG_BINARY, Utf16("E:")}, "LogicalDisk(_Total)",
                      "E:"},
        SelectionCase{"CaseMatters", RegistryValue{REG_BINARY, Utf16("physicaldisk(1 d:)")}, "LogicalDisk(_Total)",
                      "physicaldisk(1 d:)"},
        SelectionCase{"TextEndsAtTheFirstZeroUnit",
                      RegistryValue{REG_BINARY, Concat(Utf16("PhysicalDisk(0"), {0, 0, 'x', 0})},
                      "PhysicalDisk(0 C:)", "PhysicalDisk(0"},
        SelectionCase{"OddByteCountEndsInAZeroUnit", RegistryValue{REG_BINARY, Concat(Utf16("(1 D:)"), {0})},
                      "PhysicalDisk(1 D:)", "(1 D:)"},
        SelectionCase{"AnyTypeIsRead", RegistryValue{REG_SZ, Utf16("(0 C:)")}, "PhysicalDisk(0 C:)", "(0 C:)"},
        SelectionCase{"FourHundredBytesFit", RegistryValue{REG_BINARY, Concat(Utf16("(1 D:)"), std::vector<BYTE>(388, 0))},
                      "PhysicalDisk(1 D:)", "(1 D:)"},
        SelectionCase{"LongerThanFourHundredBytesIsAbsent",
                      RegistryValue{REG_BINARY, Concat(Utf16("(1 D:)"), std::vector<BYTE>(389, 0))},
                      "LogicalDisk(_Total)", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, FullBufferWithoutAZeroIsTakenWhole) {
    // Two hundred units of which none is zero: the whole buffer is the text, nothing past it.
    Store(SelectedDiskCounterValue, REG_BINARY, WideTextBytes(WideString(200, u'x')));
    EXPECT_EQ(ReadDialogSettings().SelectedName, WideString(200, u'x'));
}

TEST_F(SettingsStoreTest, ADisplayNameOver199UnitsIsStoredCutAndStillFound) {
    const WideString instance(240, u'a');
    substitute::SeedDiskObjects({u"C:", u"_Total"}, {instance});
    CounterCatalogue.clear();
    BuildCounterCatalogue();
    const WideString displayName = u"PhysicalDisk(" + instance + u")";

    HKEY key = OpenSettingsKeyForWriting();
    ASSERT_NE(key, nullptr);
    WriteSelectedName(key, displayName);
    RegCloseKey(key);
    EXPECT_EQ(Stored(SelectedDiskCounterValue),
              (RegistryValue{REG_BINARY, WideTextBytes(displayName.substr(0, 199))}));

    SelectDefaultEntry();
    LoadSettings();
    EXPECT_EQ(SelectedCounterPath, u"\\" + displayName + u"\\Avg. Disk Bytes/Transfer");
    // The dialog, which wants the whole name, gets the cut one.
    EXPECT_EQ(ReadDialogSettings().SelectedName, displayName.substr(0, 199));
}

// What stored icon values make of the two roles.
struct RoleState {
    std::string file;
    LONG index;
    std::string icon;
};

struct IconCase {
    const char* name;
    std::vector<std::pair<const char*, RegistryValue>> stored;
    RoleState active;
    RoleState inactive;
};
void PrintTo(const IconCase& c, std::ostream* os) { *os << c.name; }

class StoredIconsTest : public SettingsStoreTest, public ::testing::WithParamInterface<IconCase> {};

TEST_P(StoredIconsTest, GiveEachRoleItsFileIndexAndIcon) {
    substitute::CreateRegistryKey(SettingsKeyPath);
    for (auto& [name, value] : GetParam().stored) Store(name, value.type, value.data);
    LoadSettings();
    auto check = [](const IconRole& role, const RoleState& expected) {
        EXPECT_EQ(role.File, expected.file);
        EXPECT_EQ(role.Index, expected.index);
        EXPECT_EQ(Describe(role.Icon), expected.icon);
    };
    check(IconPair.Active, GetParam().active);
    check(IconPair.Inactive, GetParam().inactive);
}

const RoleState DefaultActive{"", 0, "shared 113"};
const RoleState DefaultInactive{"", 0, "shared 114"};
const std::string File199 = "C:\\" + std::string(192, 'p') + ".ico";
const std::string File200 = File199 + "x";

RegistryValue Text(const std::string& text) { return RegistryValue{REG_SZ, TextBytes(text)}; }
RegistryValue Number(DWORD value) { return RegistryValue{REG_DWORD, DwordBytes(value)}; }

INSTANTIATE_TEST_SUITE_P(
    Table, StoredIconsTest,
    ::testing::Values(
        IconCase{"NothingStored", {}, DefaultActive, DefaultInactive},
        IconCase{"BothRoles",
                 {{ActiveIconFileValue, Text("C:\\Icons\\disk.ico")},
                  {ActiveIconIndexValue, Number(2)},
                  {InactiveIconFileValue, Text("D:\\a.ico")},
                  {InactiveIconIndexValue, Number(0)}},
                 {"C:\\Icons\\disk.ico", 2, "C:\\Icons\\disk.ico#2"},
                 {"D:\\a.ico", 0, "D:\\a.ico#0"}},
        IconCase{"FileWithoutIndexUsesIndexZero",
                 {{InactiveIconFileValue, Text("C:\\Icons\\disk.ico")}},
                 DefaultActive,
                 {"C:\\Icons\\disk.ico", 0, "C:\\Icons\\disk.ico#0"}},
        IconCase{"IndexWithoutFileIsKeptForTheDialog",
                 {{ActiveIconIndexValue, Number(5)}},
                 {"", 5, "shared 113"},
                 DefaultInactive},
        IconCase{"EmptyFileIsTheBuiltInIcon",
                 {{ActiveIconFileValue, Text("")}, {ActiveIconIndexValue, Number(1)}},
                 {"", 1, "shared 113"},
                 DefaultInactive},
        IconCase{"MissingFileKeepsFileAndIndex",
                 {{ActiveIconFileValue, Text("C:\\Gone\\old.ico")}, {ActiveIconIndexValue, Number(4)}},
                 {"C:\\Gone\\old.ico", 4, "shared 113"},
                 DefaultInactive},
        IconCase{"IndexPastTheFilesIconsKeepsBoth",
                 {{InactiveIconFileValue, Text("D:\\a.ico")}, {InactiveIconIndexValue, Number(1)}},
                 DefaultActive,
                 {"D:\\a.ico", 1, "shared 114"}},
        IconCase{"FileThatIsNoIconFileGetsTheBuiltInIcon",
                 {{ActiveIconFileValue, Text("C:\\readme.txt")}},
                 {"C:\\readme.txt", 0, "shared 113"},
                 DefaultInactive},
        IconCase{"LongerActiveFileDoesNotLeakIntoTheInactiveOne",
                 {{ActiveIconFileValue, Text("C:\\Program Files\\Lumenhop\\Icons\\busy-disk.ico")},
                  {ActiveIconIndexValue, Number(1)},
                  {InactiveIconFileValue, Text("D:\\a.ico")}},
                 {"C:\\Program Files\\Lumenhop\\Icons\\busy-disk.ico", 1,
                  "C:\\Program Files\\Lumenhop\\Icons\\busy-disk.ico#1"},
                 {"D:\\a.ico", 0, "D:\\a.ico#0"}},
        IconCase{"NegativeIndexIsSigned",
                 {{ActiveIconFileValue, Text("C:\\Icons\\disk.ico")}, {ActiveIconIndexValue, Number(0xFFFFFFFF)}},
                 {"C:\\Icons\\disk.ico", -1, "shared 113"},
                 DefaultInactive},
        IconCase{"ShortIndexOfAnyTypeIsANumber",
                 {{ActiveIconFileValue, Text("C:\\Icons\\disk.ico")}, {ActiveIconIndexValue, {REG_BINARY, {2}}}},
                 {"C:\\Icons\\disk.ico", 2, "C:\\Icons\\disk.ico#2"},
                 DefaultInactive},
        IconCase{"OversizedIndexIsAbsent",
                 {{ActiveIconFileValue, Text("C:\\Icons\\disk.ico")}, {ActiveIconIndexValue, {REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}}}},
                 {"C:\\Icons\\disk.ico", 0, "C:\\Icons\\disk.ico#0"},
                 DefaultInactive},
        IconCase{"FileEndsAtItsFirstZero",
                 {{ActiveIconFileValue, {REG_SZ, TextBytes(std::string("C:\\Icons\\disk.ico\0.bak", 22))}}},
                 {"C:\\Icons\\disk.ico", 0, "C:\\Icons\\disk.ico#0"},
                 DefaultInactive},
        IconCase{"FileOf199BytesIsKept",
                 {{ActiveIconFileValue, Text(File199)}},
                 {File199, 0, "shared 113"},
                 DefaultInactive},
        IconCase{"FileOf200BytesIsACutPathAndAbsent",
                 {{ActiveIconFileValue, Text(File200)}, {ActiveIconIndexValue, Number(1)}},
                 {"", 1, "shared 113"},
                 DefaultInactive},
        IconCase{"FileOver200BytesIsAbsent",
                 {{InactiveIconFileValue, Text(File200 + "y")}},
                 DefaultActive,
                 DefaultInactive}),
    [](const auto& info) { return std::string(info.param.name); });

HICON Resolve(TrayIconRole role, const std::string& file, LONG index) {
    RoleIcon(role).File = file;
    RoleIcon(role).Index = index;
    ResolveIcon(role);
    return RoleIcon(role).Icon;
}

TEST_F(SettingsStoreTest, ResolveIconExtractsFromTheModuleOrFallsBackPerRole) {
    EXPECT_EQ(Describe(Resolve(Active, "C:\\Icons\\disk.ico", 1)), "C:\\Icons\\disk.ico#1");
    EXPECT_EQ(Describe(Resolve(Inactive, "", 1)), "shared 114");
    EXPECT_EQ(Describe(Resolve(Active, "C:\\readme.txt", 0)), "shared 113");
    substitute::FailNext("ExtractIconA", 0);
    EXPECT_EQ(Describe(Resolve(Inactive, "C:\\Icons\\disk.ico", 0)), "shared 114");
}

TEST_F(SettingsStoreTest, ReadsInOrderThroughOneHandleNeverCreating) {
    substitute::CreateRegistryKey(SettingsKeyPath);
    LoadSettings();
    ReadDialogSettings();
    std::vector<std::string> calls;
    for (auto& call : substitute::RegistryLog()) {
        calls.push_back(call.function + " " + call.value);
        EXPECT_EQ(call.key, SettingsKeyPath);
        EXPECT_EQ(call.access, static_cast<REGSAM>(KEY_ALL_ACCESS));
    }
    EXPECT_THAT(calls, ElementsAre("RegOpenKeyExA ", "RegQueryValueExA BlinkDuration",
                                   "RegQueryValueExA SelectedDiskCounter", "RegQueryValueExA ExternalActiveIconIndex",
                                   "RegQueryValueExA ExternalInactiveIconIndex", "RegQueryValueExA ExternalActiveIconFile",
                                   "RegQueryValueExA ExternalInactiveIconFile", "RegCloseKey ", "RegOpenKeyExA ",
                                   "RegQueryValueExA StartUp", "RegQueryValueExA BlinkDuration",
                                   "RegQueryValueExA SelectedDiskCounter", "RegCloseKey "));
}

// A read that fails skips its value alone; the values read after it still apply.
class FailedReadTest : public SettingsStoreTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(FailedReadTest, SkipsOnlyThatValue) {
    Store(BlinkDurationValue, REG_DWORD, DwordBytes(400));
    Store(SelectedDiskCounterValue, REG_BINARY, Utf16("(1 D:)"));
    Store(ActiveIconIndexValue, REG_DWORD, DwordBytes(1));
    Store(InactiveIconIndexValue, REG_DWORD, DwordBytes(2));
    Store(ActiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    Store(InactiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    substitute::FailNext("RegQueryValueExA", ERROR_ACCESS_DENIED, GetParam());
    LoadSettings();
    std::vector<std::string> applied = {
        BlinkDuration == 400 ? "blink" : "-",
        TooltipText == "PhysicalDisk(1 D:)" ? "selection" : "-",
        IconPair.Active.Index == 1 ? "active index" : "-",
        IconPair.Inactive.Index == 2 ? "inactive index" : "-",
        IconPair.Active.File.empty() ? "-" : "active file",
        IconPair.Inactive.File.empty() ? "-" : "inactive file",
    };
    std::vector<std::string> expected = {"blink", "selection", "active index", "inactive index", "active file",
                                         "inactive file"};
    expected[GetParam()] = "-";
    EXPECT_EQ(applied, expected);
}

INSTANTIATE_TEST_SUITE_P(EachRead, FailedReadTest, ::testing::Range(0u, 6u));

TEST_F(SettingsStoreTest, AKeyThatDoesNotOpenAppliesNothing) {
    Store(BlinkDurationValue, REG_DWORD, DwordBytes(400));
    Store(StartUpValue, REG_DWORD, DwordBytes(1));
    Store(ActiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    LoadSettings();
    EXPECT_EQ(BlinkDuration, Untouched);
    EXPECT_EQ(IconPair.Active.File, "");
    substitute::RestrictRegistryKey(SettingsKeyPath, KEY_READ);
    DialogSettings dialog = ReadDialogSettings();
    EXPECT_FALSE(dialog.StartUp);
    EXPECT_EQ(dialog.BlinkDuration, 100u);
    EXPECT_FALSE(dialog.SelectedName);
}

// The check box opens checked for any stored number but zero.
struct StartUpCase {
    const char* name;
    std::optional<RegistryValue> stored;
    bool checked;
};
void PrintTo(const StartUpCase& c, std::ostream* os) { *os << c.name; }

class StartUpTest : public SettingsStoreTest, public ::testing::WithParamInterface<StartUpCase> {};

TEST_P(StartUpTest, ChecksTheBoxForANonZeroNumber) {
    substitute::CreateRegistryKey(SettingsKeyPath);
    if (GetParam().stored) Store(StartUpValue, GetParam().stored->type, GetParam().stored->data);
    EXPECT_EQ(ReadDialogSettings().StartUp, GetParam().checked);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartUpTest,
    ::testing::Values(StartUpCase{"Absent", {}, false}, StartUpCase{"Zero", Number(0), false},
                      StartUpCase{"One", Number(1), true}, StartUpCase{"AnyOtherNumber", Number(0x100), true},
                      StartUpCase{"TooLong", RegistryValue{REG_BINARY, {1, 0, 0, 0, 0}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, WritesCreateTheKeyAndLayOutEveryValue) {
    HKEY key = OpenSettingsKeyForWriting();
    ASSERT_NE(key, nullptr);
    WriteStartUp(key, true);
    WriteBlinkDuration(key, 1500);
    WriteSelectedName(key, u"LogicalDisk(D:)");
    WriteIconChoice(key, Active, "C:\\Icons\\disk.ico", 2);
    WriteIconChoice(key, Inactive, "D:\\a.ico", -1);
    RegCloseKey(key);

    EXPECT_EQ(Stored(StartUpValue), (RegistryValue{REG_DWORD, {1, 0, 0, 0}}));
    EXPECT_EQ(Stored(BlinkDurationValue), (RegistryValue{REG_DWORD, {0xDC, 0x05, 0, 0}}));
    EXPECT_EQ(Stored(SelectedDiskCounterValue), (RegistryValue{REG_BINARY, Utf16("LogicalDisk(D:)")}));
    EXPECT_EQ(Stored(ActiveIconFileValue), (RegistryValue{REG_SZ, TextBytes("C:\\Icons\\disk.ico")}));
    EXPECT_EQ(Stored(ActiveIconIndexValue), (RegistryValue{REG_DWORD, {2, 0, 0, 0}}));
    EXPECT_EQ(Stored(InactiveIconFileValue), (RegistryValue{REG_SZ, TextBytes("D:\\a.ico")}));
    EXPECT_EQ(Stored(InactiveIconIndexValue), (RegistryValue{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}));

    // What was written loads back as it was.
    LoadSettings();
    EXPECT_EQ(BlinkDuration, 1500u);
    EXPECT_EQ(TooltipText, "LogicalDisk(D:)");
    EXPECT_EQ(Describe(IconPair.Active.Icon), "C:\\Icons\\disk.ico#2");
    EXPECT_EQ(IconPair.Inactive.Index, -1);
    EXPECT_EQ(IconPair.Inactive.File, "D:\\a.ico");
    DialogSettings dialog = ReadDialogSettings();
    EXPECT_TRUE(dialog.StartUp);
    EXPECT_EQ(dialog.SelectedName, u"LogicalDisk(D:)");
}

TEST_F(SettingsStoreTest, EachFileIsWrittenRightBeforeItsIndexAndBothGoTogether) {
    HKEY key = OpenSettingsKeyForWriting();
    WriteIconChoice(key, Active, "C:\\Icons\\disk.ico", 1);
    WriteIconChoice(key, Inactive, "C:\\Icons\\disk.ico", 2);
    WriteIconChoice(key, Active, "", 0);
    RegCloseKey(key);
    std::vector<std::string> calls;
    for (auto& call : substitute::RegistryLog())
        if (call.function == "RegSetValueExA" || call.function == "RegDeleteValueA")
            calls.push_back(call.function + " " + call.value);
    EXPECT_THAT(calls, ElementsAre("RegSetValueExA ExternalActiveIconFile", "RegSetValueExA ExternalActiveIconIndex",
                                   "RegSetValueExA ExternalInactiveIconFile",
                                   "RegSetValueExA ExternalInactiveIconIndex",
                                   "RegDeleteValueA ExternalActiveIconFile", "RegDeleteValueA ExternalActiveIconIndex"));
    EXPECT_THAT(substitute::RegistryValueNames(SettingsKeyPath),
                ElementsAre("ExternalInactiveIconFile", "ExternalInactiveIconIndex"));
}

TEST_F(SettingsStoreTest, APathTheStoreCannotHoldIsNeverWrittenAndTheOldChoiceStays) {
    Store(ActiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    Store(ActiveIconIndexValue, REG_DWORD, DwordBytes(1));
    EXPECT_TRUE(IconFileFitsStore(File199));
    EXPECT_FALSE(IconFileFitsStore(File200));
    EXPECT_FALSE(IconFileFitsStore(std::string("C:\\a.ico\0b", 10)));

    HKEY key = OpenSettingsKeyForWriting();
    WriteIconChoice(key, Active, File200, 3);
    WriteIconChoice(key, Active, File200 + std::string(59, 'z'), 3);
    RegCloseKey(key);
    EXPECT_EQ(Stored(ActiveIconFileValue)->data, TextBytes("C:\\Icons\\disk.ico"));
    EXPECT_EQ(Stored(ActiveIconIndexValue)->data, DwordBytes(1));

    key = OpenSettingsKeyForWriting();
    WriteIconChoice(key, Active, File199, 3);
    RegCloseKey(key);
    LoadSettings();
    EXPECT_EQ(IconPair.Active.File, File199);
    EXPECT_EQ(IconPair.Active.Index, 3);
}

TEST_F(SettingsStoreTest, WritingOpensTheKeyElseCreatesItElseGivesNothing) {
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    substitute::FailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenSettingsKeyForWriting(), nullptr);
    EXPECT_FALSE(substitute::RegistryKeyExists(SettingsKeyPath));

    HKEY created = OpenSettingsKeyForWriting();
    ASSERT_NE(created, nullptr);
    RegCloseKey(created);
    HKEY opened = OpenSettingsKeyForWriting();
    RegCloseKey(opened);
    std::vector<std::string> calls;
    for (auto& call : substitute::RegistryLog()) calls.push_back(call.function);
    EXPECT_THAT(calls, ElementsAre("RegOpenKeyExA", "RegCreateKeyExA", "RegOpenKeyExA", "RegCreateKeyExA",
                                   "RegCloseKey", "RegOpenKeyExA", "RegCloseKey"));
}

// The auto-start entry names the executable in quotes, so that a path with spaces cannot be
// taken for a shorter one.
struct AutoStartCase {
    const char* name;
    std::string modulePath;
    std::optional<std::string> entry;  // none: nothing written
};
void PrintTo(const AutoStartCase& c, std::ostream* os) { *os << c.name; }

class AutoStartTest : public SettingsStoreTest, public ::testing::WithParamInterface<AutoStartCase> {};

TEST_P(AutoStartTest, OnWritesTheQuotedPathAndOffRemovesIt) {
    substitute::CreateRegistryKey(RunKeyPath);
    substitute::SetModuleFileName(GetParam().modulePath);
    SetAutoStart(true);
    auto value = substitute::GetRegistryValue(RunKeyPath, AutoStartValueName);
    ASSERT_EQ(value.has_value(), GetParam().entry.has_value());
    if (value) {
        EXPECT_EQ(*value, (RegistryValue{REG_SZ, TextBytes(*GetParam().entry)}));
    }
    SetAutoStart(false);
    EXPECT_FALSE(substitute::GetRegistryValue(RunKeyPath, AutoStartValueName));
}

const std::string Path259 = "C:\\" + std::string(252, 'd') + ".exe";

INSTANTIATE_TEST_SUITE_P(
    Table, AutoStartTest,
    ::testing::Values(
        AutoStartCase{"PathWithSpaces", "C:\\Program Files\\Lumenhop\\Lumenhop.exe",
                      "\"C:\\Program Files\\Lumenhop\\Lumenhop.exe\""},
        AutoStartCase{"PathWithoutSpaces", "C:\\Tools\\Lumenhop.exe", "\"C:\\Tools\\Lumenhop.exe\""},
        AutoStartCase{"LongestPathThatFits", Path259, "\"" + Path259 + "\""},
        AutoStartCase{"PathCutByTheBufferIsNotWritten", Path259 + "x", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, AutoStartLeavesTheEntryAloneWhenItCannotDoBetter) {
    // No Run key: it is not created.
    SetAutoStart(true);
    EXPECT_FALSE(substitute::RegistryKeyExists(RunKeyPath));

    substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, TextBytes("\"C:\\Old\\Lumenhop.exe\""));
    substitute::FailNext("GetModuleFileNameA", ERROR_ACCESS_DENIED);
    SetAutoStart(true);
    EXPECT_EQ(substitute::GetRegistryValue(RunKeyPath, AutoStartValueName)->data,
              TextBytes("\"C:\\Old\\Lumenhop.exe\""));

    substitute::RestrictRegistryKey(RunKeyPath, KEY_READ);
    SetAutoStart(false);
    EXPECT_TRUE(substitute::GetRegistryValue(RunKeyPath, AutoStartValueName));

    // Other programs' entries are never touched.
    substitute::RestrictRegistryKey(RunKeyPath, KEY_ALL_ACCESS);
    substitute::SetRegistryValue(RunKeyPath, "Other", REG_SZ, TextBytes("other.exe"));
    SetAutoStart(false);
    SetAutoStart(false);
    EXPECT_THAT(substitute::RegistryValueNames(RunKeyPath), ElementsAre("Other"));
}

}  // namespace
