#include "tests/unit/Machine.h"

using substitute::RegistryValue;

namespace {

RegistryValue Text(const std::string& text) {
    return {REG_SZ, substitute::TextBytes(text)};
}
RegistryValue Number(DWORD value) {
    return {REG_DWORD, substitute::DwordBytes(value)};
}
RegistryValue Name(const WideString& text) {
    return {REG_BINARY, substitute::WideTextBytes(text)};
}

const std::string File199 = "C:\\" + std::string(192, 'p') + ".ico", File200 = File199 + "x";

// The state LoadSettings starts from, as the set-up leaves it, with a period in force that no
// stored value has set.
class SettingsStoreTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        substitute::AddIconFile("D:\\a.ico", 1);
        BuildCounterCatalogue();
        SelectDefaultEntry();
        BlinkDuration = 777;
    }
};

// What the store decides, on one line: the period in force / the one Settings shows, the
// selection's tooltip, each role's file#index=icon.
std::string Loaded() {
    LoadSettings();
    std::string out =
        std::to_string(BlinkDuration) + "/" + std::to_string(StoredDialogBlinkDuration()) + " " + TooltipText;
    for (IconRole* role : {&IconPair.Active, &IconPair.Inactive})
        out += " " + role->File + "#" + std::to_string(role->Index) + "=" + substitute::DescribeIcon(role->Icon);
    return out;
}

const std::string Icons = " #0=shared 113 #0=shared 114", Total = " LogicalDisk(_Total)", Defaults = Total + Icons;

// Whatever is stored loads over the defaults; when a read fails midway (each in turn, in the
// order of the reads: the load's six, then Settings' period), only its value keeps the default
// (Settings' period its least) and the others still load. Reading creates no key and changes
// nothing stored.
TEST_F(SettingsStoreTest, LoadAppliesWhatTheStoreHoldsOverTheDefaults) {
    struct Row {
        const char* what;
        std::vector<std::pair<const char*, RegistryValue>> stored;
        std::string loaded;
        int failing = -1;  // the read that fails, counted from 0
    };
    const std::vector<std::pair<const char*, RegistryValue>> all = {
        {BlinkDurationValue, Number(1500)},     {SelectedDiskCounterValue, Name(u"PhysicalDisk(0 C:)")},
        {ActiveIconIndexValue, Number(2)},      {InactiveIconIndexValue, Number(1)},
        {ActiveIconFileValue, Text(DiskIcons)}, {InactiveIconFileValue, Text(DiskIcons)}};
    const std::string disk = " PhysicalDisk(0 C:)", icon = " C:\\Icons\\disk.ico#";
    const std::string active = icon + "2=" + icon.substr(1) + "2", inactive = icon + "1=" + icon.substr(1) + "1";
    const Row rows[] = {
        {"nothing stored", {}, "777/100" + Defaults},
        // The period: held within 50..3000 for the sampler and 100..2000 for Settings.
        {"a period below both ranges", {{BlinkDurationValue, Number(20)}}, "50/100" + Defaults},
        {"a period above both", {{BlinkDurationValue, Number(0xFFFFFFFF)}}, "3000/2000" + Defaults},
        {"a period of five bytes", {{BlinkDurationValue, {REG_DWORD, {0xE8, 3, 0, 0, 0}}}}, "777/100" + Defaults},
        {"a period of two bytes", {{BlinkDurationValue, {REG_BINARY, {0xE8, 0x03}}}}, "1000/1000" + Defaults},
        // The selection: the first entry holding the stored name, which ends at a zero unit.
        {"an empty name", {{SelectedDiskCounterValue, Name(u"")}}, "777/100 LogicalDisk(C:)" + Icons},
        {"a name in 400 bytes",
         {{SelectedDiskCounterValue, Name(u"(0 C:)" + WideString(194, 0))}},
         "777/100 PhysicalDisk(0 C:)" + Icons},
        {"a name over 400 bytes",
         {{SelectedDiskCounterValue, Name(u"(0 C:)" + WideString(195, 0))}},
         "777/100" + Defaults},
        {"a name no entry holds", {{SelectedDiskCounterValue, Name(u"LogicalDisk(E:)")}}, "777/100" + Defaults},
        // The icons: an index counts even without its file; a file without icons keeps the
        // built-in one; two hundred bytes without a zero are a longer path cut short.
        {"two icon files",
         {{ActiveIconFileValue, Text(DiskIcons)},
          {ActiveIconIndexValue, Number(2)},
          {InactiveIconFileValue, Text("D:\\a.ico")}},
         "777/100" + Total + " C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2 D:\\a.ico#0=D:\\a.ico#0"},
        // A path with a variable, as the shell's picker gives it, stays as chosen.
        {"a path with a variable",
         {{InactiveIconFileValue, Text("%SystemRoot%\\system32\\shell32.dll")}},
         "777/100" + Total +
             " #0=shared 113 %SystemRoot%\\system32\\shell32.dll#0=C:\\windows\\system32\\shell32.dll#0"},
        {"a file of no icons",
         {{ActiveIconFileValue, Text(DiskIcons)}, {InactiveIconFileValue, Text("C:\\windows\\win.ini")}},
         "777/100" + Total + " C:\\Icons\\disk.ico#0=C:\\Icons\\disk.ico#0 C:\\windows\\win.ini#0=shared 114"},
        {"a file of 200 bytes", {{ActiveIconFileValue, Text(File200)}}, "777/100" + Defaults},
        {"read 0 fails", all, "777/1500" + disk + active + inactive, 0},
        {"read 1 fails", all, "1500/1500" + Total + active + inactive, 1},
        {"read 2 fails", all, "1500/1500" + disk + icon + "0=" + icon.substr(1) + "0" + inactive, 2},
        {"read 3 fails", all, "1500/1500" + disk + active + icon + "0=" + icon.substr(1) + "0", 3},
        {"read 4 fails", all, "1500/1500" + disk + " #2=shared 113" + inactive, 4},
        {"read 5 fails", all, "1500/1500" + disk + active + " #1=shared 114", 5},
        {"read 6 fails", all, "1500/100" + disk + active + inactive, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        for (auto& [name, value] : row.stored) Store(name, value.type, value.data);
        if (row.failing >= 0) substitute::FailNext("RegQueryValueExA", ERROR_ACCESS_DENIED, row.failing);
        EXPECT_EQ(Loaded(), row.loaded);
        EXPECT_EQ(substitute::RegistryKeyExists(SettingsKeyPath), !row.stored.empty()) << "reading created the key";
        for (auto& [name, value] : row.stored) EXPECT_EQ(Stored(name), value) << name;
        EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
    }
}

TEST_F(SettingsStoreTest, WritesStoreEachValueAsItsTypeAndLoadBack) {
    EXPECT_TRUE(IconFileFitsStore(File199));
    EXPECT_FALSE(IconFileFitsStore(std::string("C:\\a.ico\0b", 10)));
    HKEY key = OpenSettingsKeyForWriting();
    WriteStartUp(key, true);
    WriteBlinkDuration(key, 1500);
    WriteSelectedName(key, WideString(250, u'n'));
    EXPECT_EQ(Stored(SelectedDiskCounterValue), Name(WideString(199, u'n')));
    WriteSelectedName(key, u"PhysicalDisk(0 C:)");
    WriteIconChoice(key, Active, DiskIcons, 2);
    WriteIconChoice(key, Inactive, "D:\\a.ico", -1);
    WriteIconChoice(key, Inactive, File200, 3);  // refused: the choice before stays
    RegCloseKey(key);
    EXPECT_EQ(Stored(StartUpValue), Number(1));
    EXPECT_EQ(Loaded(),
              "1500/1500 PhysicalDisk(0 C:) C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2 D:\\a.ico#-1=shared 114");
    key = OpenSettingsKeyForWriting();
    WriteStartUp(key, false);
    WriteIconChoice(key, Active, "", 0);  // deletes both of the role's values
    RegCloseKey(key);
    EXPECT_EQ(Stored(StartUpValue), Number(0));
    EXPECT_FALSE(Stored(ActiveIconFileValue));
    EXPECT_FALSE(Stored(ActiveIconIndexValue));
    EXPECT_TRUE(Stored(InactiveIconFileValue));
}

// The entry names the executable, taken wide, in quotes, so that a path with spaces cannot be
// taken for a shorter one; a path the buffer may have cut is never written, and the Run key never
// created. Settings opens ticked only for an entry that no approval record marks disabled; OK
// ticked removes a disabled record, OK clear the entry and any record, and StartUp records
// whether Windows starts the entry afterwards, not what the box asked for.
TEST_F(SettingsStoreTest, AutoStartFollowsTheBoxAndAgreesWithTheApprovalRecord) {
    const WideString exe = u"C:\\Program Files\\Lumenhop\\Lumenhop.exe", ours = u'"' + exe + u'"';
    const WideString other = u"\"C:\\Old\\Lumenhop.exe\"";
    const WideString p259 = u"C:\\Program Files\\" + WideString(238, u'd') + u".exe", p260 = p259 + u"x";
    // Approval records: none, one that lets the entry start (its first byte even), one that marks
    // it disabled (odd), and one of a size that cannot be read.
    using Record = std::optional<std::vector<BYTE>>;
    const Record none, on = std::vector<BYTE>{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                       off = std::vector<BYTE>{3, 0, 0, 0, 0xD4, 0x0D, 0x43, 0x8D, 0xC8, 0x3B, 0xD9, 0x01},
                       cut = std::vector<BYTE>{2, 0, 0, 0};
    // The entry ("!": no Run key, "-": none) and its record before, the module path ("": its
    // look-up fails), the box; the box at open, the entry and the record after OK.
    struct Row {
        WideString entry;
        Record record;
        WideString module;
        bool box, open;
        WideString entryAfter;
        Record recordAfter;
    };
    std::vector<Row> rows = {
        {u"!", off, exe, false, false, u"!", none},
        {u"!", none, exe, true, false, u"!", none},
        {u"-", none, p259, true, false, u'"' + p259 + u'"' + u'\0', none},
        {u"-", off, p260, true, false, u"-", off},
        {other, off, p260, true, false, other, none},
        {u"-", none, u"", true, false, u"-", none},
        {WideString(600, u'x'), none, exe, true, true, ours + u'\0', none},
        {ours, none, exe, true, true, ours, none},  // ours already, without a zero: left as it is
        {ours, cut, exe, true, false, ours, none},
    };
    for (const WideString& entry : {WideString(u"-"), ours + u'\0', other + u'\0'})
        for (const Record& record : {none, on, off})
            for (bool box : {false, true})
                rows.push_back({entry, record, exe, box, entry != u"-" && record != off, box ? ours + u'\0' : u"-",
                                box && record != off ? record : none});
    for (const Row& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - &rows[0]));
        SetUp();
        if (row.entry != u"!") substitute::CreateRegistryKey(RunKeyPath);
        if (row.entry != u"!" && row.entry != u"-")
            substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, substitute::WideTextBytes(row.entry));
        substitute::CreateRegistryKey(StartupApprovedKeyPath);
        if (row.record)
            substitute::SetRegistryValue(StartupApprovedKeyPath, AutoStartValueName, REG_BINARY, *row.record);
        substitute::SetModuleFileName(row.module);
        if (row.module.empty()) substitute::FailNext("GetModuleFileNameW", ERROR_ACCESS_DENIED);
        SettingsChoices choices = CurrentSettingsChoices();
        EXPECT_EQ(choices.AutoStart, row.open);
        choices.AutoStart = row.box;
        ApplySettingsChoices(choices);
        EXPECT_EQ(substitute::RegistryKeyExists(RunKeyPath), row.entryAfter != u"!") << "the Run key";
        const bool present = row.entryAfter != u"!" && row.entryAfter != u"-";
        EXPECT_EQ(
            substitute::GetRegistryValue(RunKeyPath, AutoStartValueName),
            present ? std::optional(RegistryValue{REG_SZ, substitute::WideTextBytes(row.entryAfter)}) : std::nullopt);
        auto record = substitute::GetRegistryValue(StartupApprovedKeyPath, AutoStartValueName);
        EXPECT_EQ(record ? Record(record->data) : none, row.recordAfter);
        EXPECT_EQ(Stored(StartUpValue), Number(present && row.recordAfter != off));
        StopSampler();
        EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
    }
}

}  // namespace
