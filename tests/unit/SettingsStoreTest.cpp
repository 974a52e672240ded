#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"

#include <sstream>

using substitute::DwordBytes;
using substitute::RegistryValue;
using substitute::TextBytes;
using substitute::WideTextBytes;
using ::testing::ElementsAre;

namespace {

RegistryValue Text(const std::string& text) { return {REG_SZ, TextBytes(text)}; }
RegistryValue Number(DWORD value) { return {REG_DWORD, DwordBytes(value)}; }
RegistryValue Name(const std::string& text, std::vector<BYTE> tail = {}) {
    std::vector<BYTE> bytes = WideTextBytes(Wide(text));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return {REG_BINARY, bytes};
}

const std::string File199 = "C:\\" + std::string(192, 'p') + ".ico";
const std::string File200 = File199 + "x";

// The state LoadSettings starts from, as the set-up leaves it: the catalogue built, the default
// entry selected, both roles on their built-in icons, and a period in force that no stored value
// has set.
class SettingsStoreTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C:", u"1 D:"});
        substitute::AddIconFile("C:\\Icons\\disk.ico", 3);
        substitute::AddIconFile("D:\\a.ico", 1);
        substitute::AddIconFile("C:\\Program Files\\Icons\\busy-disk.ico", 2);
        substitute::AddIconFile("C:\\readme.txt", 0);
        BuildCounterCatalogue();
        SelectDefaultEntry();
        IconPair.Active.Icon = LoadDefaultIcon(DefaultIconId(Active));
        IconPair.Inactive.Icon = LoadDefaultIcon(DefaultIconId(Inactive));
        BlinkDuration = 777;
    }
};

// Everything the store decides, on one line: the period in force / the one the dialog shows, the
// selection's tooltip, each role's file#index=icon.
std::string Loaded() {
    LoadSettings();
    std::ostringstream out;
    out << BlinkDuration << "/" << StoredDialogBlinkDuration() << " " << TooltipText;
    for (IconRole* role : {&IconPair.Active, &IconPair.Inactive})
        out << " " << role->File << "#" << role->Index << "=" << Describe(role->Icon);
    return out.str();
}

struct LoadCase {
    const char* name;
    std::vector<std::pair<const char*, RegistryValue>> stored;
    std::string loaded;
};
void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadTest : public SettingsStoreTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, AppliesWhatTheStoreHoldsOverTheDefaults) {
    for (auto& [name, value] : GetParam().stored) Store(name, value.type, value.data);
    EXPECT_EQ(Loaded(), GetParam().loaded);
    // Reading never creates the key.
    if (GetParam().stored.empty()) {
        EXPECT_FALSE(substitute::RegistryKeyExists(SettingsKeyPath));
    }
}

const std::string Total = " LogicalDisk(_Total)";
const std::string Icons = " #0=shared 113 #0=shared 114";
const std::string Defaults = Total + Icons;

INSTANTIATE_TEST_SUITE_P(
    Table, LoadTest,
    ::testing::Values(
        LoadCase{"NothingStored", {}, "777/100" + Defaults},
        // The period: held within 50..3000 for the sampler and 100..2000 for the dialog.
        LoadCase{"PeriodBelowBothRanges", {{BlinkDurationValue, Number(20)}}, "50/100" + Defaults},
        LoadCase{"PeriodInsideBothRanges", {{BlinkDurationValue, Number(1500)}}, "1500/1500" + Defaults},
        LoadCase{"PeriodAboveBothRanges", {{BlinkDurationValue, Number(0xFFFFFFFF)}}, "3000/2000" + Defaults},
        LoadCase{"NumberOfFiveBytesIsAbsent", {{BlinkDurationValue, {REG_DWORD, {0xE8, 3, 0, 0, 0}}}},
                 "777/100" + Defaults},
        LoadCase{"ShortNumberOfAnyTypeFillsTheLowBytes", {{BlinkDurationValue, {REG_BINARY, {0xE8, 0x03}}}},
                 "1000/1000" + Defaults},
        // The selection: the first entry containing the stored name, which ends at a zero unit.
        LoadCase{"EmptyNameTakesTheFirstEntry", {{SelectedDiskCounterValue, Name("")}},
                 "777/100 LogicalDisk(C:)" + Icons},
        LoadCase{"NameEndsAtItsFirstZeroUnit", {{SelectedDiskCounterValue, Name("PhysicalDisk(0", {0, 0, 'x', 0})}},
                 "777/100 PhysicalDisk(0 C:)" + Icons},
        LoadCase{"NameOfFourHundredBytes", {{SelectedDiskCounterValue, Name("(1 D:)", std::vector<BYTE>(388))}},
                 "777/100 PhysicalDisk(1 D:)" + Icons},
        LoadCase{"NameOver400BytesIsAbsent", {{SelectedDiskCounterValue, Name("(1 D:)", std::vector<BYTE>(389))}},
                 "777/100" + Defaults},
        // The icons: an index applies even without a file; a file without an icon keeps the
        // built-in one, and two hundred bytes without a zero are a longer path cut short.
        LoadCase{"BothRoles",
                 {{ActiveIconFileValue, Text("C:\\Icons\\disk.ico")}, {ActiveIconIndexValue, Number(2)},
                  {InactiveIconFileValue, Text("D:\\a.ico")}, {InactiveIconIndexValue, Number(0)}},
                 "777/100" + Total + " C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2 D:\\a.ico#0=D:\\a.ico#0"},
        LoadCase{"IndexWithoutFile", {{InactiveIconIndexValue, Number(5)}},
                 "777/100" + Total + " #0=shared 113 #5=shared 114"},
        LoadCase{"FileWithoutIcons", {{ActiveIconFileValue, Text("C:\\readme.txt")}},
                 "777/100" + Total + " C:\\readme.txt#0=shared 113 #0=shared 114"},
        LoadCase{"ShorterFileAfterALongerOne",
                 {{ActiveIconFileValue, Text("C:\\Program Files\\Icons\\busy-disk.ico")},
                  {InactiveIconFileValue, Text("D:\\a.ico")}},
                 "777/100" + Total +
                     " C:\\Program Files\\Icons\\busy-disk.ico#0=C:\\Program Files\\Icons\\busy-disk.ico#0"
                     " D:\\a.ico#0=D:\\a.ico#0"},
        LoadCase{"FileOf200BytesIsAbsent", {{ActiveIconFileValue, Text(File200)}}, "777/100" + Defaults}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, WritesLayOutEveryValueAndLoadBack) {
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
    EXPECT_EQ(Stored(SelectedDiskCounterValue), Name("LogicalDisk(D:)"));
    EXPECT_EQ(Stored(ActiveIconFileValue), Text("C:\\Icons\\disk.ico"));
    EXPECT_EQ(Stored(ActiveIconIndexValue), (RegistryValue{REG_DWORD, {2, 0, 0, 0}}));
    EXPECT_EQ(Stored(InactiveIconIndexValue), (RegistryValue{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}));
    EXPECT_EQ(Loaded(), "1500/1500 LogicalDisk(D:) C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2"
                        " D:\\a.ico#-1=shared 114");

    // An empty file deletes both of the role's values; the other role's stay.
    key = OpenSettingsKeyForWriting();
    WriteStartUp(key, false);
    WriteIconChoice(key, Active, "", 0);
    RegCloseKey(key);
    EXPECT_EQ(Stored(StartUpValue)->data, DwordBytes(0));
    EXPECT_THAT(substitute::RegistryValueNames(SettingsKeyPath),
                ElementsAre(BlinkDurationValue, InactiveIconFileValue, InactiveIconIndexValue, SelectedDiskCounterValue,
                            StartUpValue));
    for (auto& call : substitute::RegistryLog()) {
        EXPECT_EQ(call.key, SettingsKeyPath);
        EXPECT_EQ(call.access, static_cast<REGSAM>(KEY_ALL_ACCESS)) << call.function;
    }
}

TEST_F(SettingsStoreTest, APathTheStoreCannotHoldIsNeverWritten) {
    EXPECT_TRUE(IconFileFitsStore(File199));
    EXPECT_FALSE(IconFileFitsStore(File200));
    EXPECT_FALSE(IconFileFitsStore(std::string("C:\\a.ico\0b", 10)));
    HKEY key = OpenSettingsKeyForWriting();
    WriteIconChoice(key, Active, "D:\\a.ico", 1);
    WriteIconChoice(key, Active, File200, 3);
    WriteIconChoice(key, Inactive, File199, 2);
    RegCloseKey(key);
    EXPECT_EQ(Loaded(), "777/100" + Total + " D:\\a.ico#1=shared 113 " + File199 + "#2=shared 114");
}

TEST_F(SettingsStoreTest, ADisplayNameOver199UnitsIsStoredCutAndStillSelects) {
    substitute::SeedDiskObjects({u"C:", u"_Total"}, {WideString(240, u'\u4E00')});
    CounterCatalogue.clear();
    BuildCounterCatalogue();
    HKEY key = OpenSettingsKeyForWriting();
    WriteSelectedName(key, CounterCatalogue[2].DisplayName);
    RegCloseKey(key);
    EXPECT_EQ(Stored(SelectedDiskCounterValue),
              (RegistryValue{REG_BINARY, WideTextBytes(u"PhysicalDisk(" + WideString(186, u'\u4E00'))}));
    LoadSettings();
    EXPECT_EQ(SelectedCounterPath, CounterCatalogue[2].CounterPath);
}

TEST_F(SettingsStoreTest, WritingGetsNoKeyWhenItCanNeitherBeOpenedNorCreated) {
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    substitute::FailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenSettingsKeyForWriting(), nullptr);
    EXPECT_FALSE(substitute::RegistryKeyExists(SettingsKeyPath));
}

// The auto-start entry follows the box and the answer says what is true afterwards. It names the
// executable in quotes, so that a path with spaces cannot be taken for a shorter one; a path the
// buffer may have cut is never written, and the Run key is never created.
TEST_F(SettingsStoreTest, AutoStartFollowsTheBoxAndTellsWhetherTheEntryExists) {
    const std::string ours = "C:\\Program Files\\Lumenhop\\Lumenhop.exe";
    const std::string path259 = "C:\\Program Files\\" + std::string(238, 'd') + ".exe";
    struct Case {
        const char* name;
        std::optional<std::string> entry;  // before; nullopt: no entry, "!": no Run key
        std::string module;                // "": GetModuleFileNameA fails
        bool on;
        const char* failOpen;              // a registry open that fails
        std::optional<std::string> after;
        bool exists;
    };
    const Case cases[] = {
        {"NoRunKey", "!", ours, true, nullptr, "!", false},
        {"Written", std::nullopt, ours, true, nullptr, "\"" + ours + "\"", true},
        {"LongestPath", std::nullopt, path259, true, nullptr, "\"" + path259 + "\"", true},
        {"AnotherFileReplaced", "C:\\Old\\Lumenhop.exe", ours, true, nullptr, "\"" + ours + "\"", true},
        {"OverlongEntryReplaced", std::string(600, 'x'), ours, true, nullptr, "\"" + ours + "\"", true},
        {"OursWithItsZeroKept", "\"" + ours + "\"" + std::string(1, '\0'), ours, true, nullptr,
         "\"" + ours + "\"" + std::string(1, '\0'), true},
        {"CutPathNotWritten", std::nullopt, path259 + "x", true, nullptr, std::nullopt, false},
        {"CutPathLeavesAnother", "other.exe", path259 + "x", true, nullptr, "other.exe", true},
        {"NoModulePath", std::nullopt, "", true, nullptr, std::nullopt, false},
        {"Deleted", "\"" + ours + "\"", ours, false, nullptr, std::nullopt, false},
        {"NothingToDelete", std::nullopt, ours, false, nullptr, std::nullopt, false},
        {"RunKeyLockedStays", "other.exe", ours, false, "RegOpenKeyExA", "other.exe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        substitute::Reset();
        if (c.entry != "!") substitute::SetRegistryValue(RunKeyPath, "Other", REG_SZ, TextBytes("other.exe"));
        if (c.entry && c.entry != "!") substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, TextBytes(*c.entry));
        substitute::SetModuleFileName(c.module);
        if (c.module.empty()) substitute::FailNext("GetModuleFileNameA", ERROR_ACCESS_DENIED);
        if (c.failOpen) substitute::FailNext(c.failOpen, ERROR_ACCESS_DENIED);
        EXPECT_EQ(SetAutoStart(c.on), c.exists);
        EXPECT_EQ(AutoStartEntryExists(), c.exists);
        if (c.after == "!") {
            EXPECT_FALSE(substitute::RegistryKeyExists(RunKeyPath));
            continue;
        }
        auto value = substitute::GetRegistryValue(RunKeyPath, AutoStartValueName);
        EXPECT_EQ(value ? std::optional<std::string>(std::string(value->data.begin(), value->data.end())) : std::nullopt,
                  c.after);
        EXPECT_TRUE(substitute::GetRegistryValue(RunKeyPath, "Other"));
        // An entry that is right already is not written again.
        if (c.after == c.entry) {
            for (auto& call : substitute::RegistryLog()) EXPECT_NE(call.function, "RegSetValueExA");
        }
    }
}

}  // namespace
