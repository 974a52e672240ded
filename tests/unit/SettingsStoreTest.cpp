#include "tests/unit/Machine.h"

using substitute::RegistryValue;

namespace {

RegistryValue Text(const std::string& text) { return {REG_SZ, substitute::TextBytes(text)}; }
RegistryValue Number(DWORD value) { return {REG_DWORD, substitute::DwordBytes(value)}; }
RegistryValue Name(const WideString& text) { return {REG_BINARY, substitute::WideTextBytes(text)}; }

const std::string File199 = "C:\\" + std::string(192, 'p') + ".ico", File200 = File199 + "x";

// The state LoadSettings starts from, as the set-up leaves it, with a period in force that no
// stored value has set.
class SettingsStoreTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        for (auto [file, icons] : {std::pair{"D:\\a.ico", 1u}, {"C:\\readme.txt", 0u}})
            substitute::AddIconFile(file, icons);
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

TEST_F(SettingsStoreTest, LoadAppliesWhatTheStoreHoldsOverTheDefaults) {
    const std::pair<std::vector<std::pair<const char*, RegistryValue>>, std::string> cases[] = {
        {{}, "777/100" + Defaults},
        // The period: held within 50..3000 for the sampler and 100..2000 for Settings.
        {{{BlinkDurationValue, Number(20)}}, "50/100" + Defaults},
        {{{BlinkDurationValue, Number(1500)}}, "1500/1500" + Defaults},
        {{{BlinkDurationValue, Number(0xFFFFFFFF)}}, "3000/2000" + Defaults},
        {{{BlinkDurationValue, {REG_DWORD, {0xE8, 3, 0, 0, 0}}}}, "777/100" + Defaults},  // five bytes: absent
        {{{BlinkDurationValue, {REG_BINARY, {0xE8, 0x03}}}}, "1000/1000" + Defaults},     // fills the low bytes
        // The selection: the first entry holding the stored name, which ends at a zero unit.
        {{{SelectedDiskCounterValue, Name(u"")}}, "777/100 LogicalDisk(C:)" + Icons},
        {{{SelectedDiskCounterValue, Name(WideString(u"PhysicalDisk(0\0x", 16))}},
         "777/100 PhysicalDisk(0 C:)" + Icons},
        {{{SelectedDiskCounterValue, Name(u"(0 C:)" + WideString(194, 0))}}, "777/100 PhysicalDisk(0 C:)" + Icons},
        {{{SelectedDiskCounterValue, Name(u"(0 C:)" + WideString(195, 0))}}, "777/100" + Defaults},  // over 400 bytes
        // The icons: an index counts even without its file; a file without icons keeps the
        // built-in one; two hundred bytes without a zero are a longer path cut short.
        {{{ActiveIconFileValue, Text(DiskIcons)},
          {ActiveIconIndexValue, Number(2)},
          {InactiveIconFileValue, Text("D:\\a.ico")}},
         "777/100" + Total + " C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2 D:\\a.ico#0=D:\\a.ico#0"},
        {{{InactiveIconIndexValue, Number(5)}}, "777/100" + Total + " #0=shared 113 #5=shared 114"},
        // A path with a variable, as the shell's picker gives it, stays as chosen.
        {{{InactiveIconFileValue, Text("%SystemRoot%\\system32\\shell32.dll")}},
         "777/100" + Total + " #0=shared 113 %SystemRoot%\\system32\\shell32.dll#0=C:\\windows\\system32\\shell32.dll#0"},
        {{{ActiveIconFileValue, Text(DiskIcons)}, {InactiveIconFileValue, Text("C:\\readme.txt")}},
         "777/100" + Total + " C:\\Icons\\disk.ico#0=C:\\Icons\\disk.ico#0 C:\\readme.txt#0=shared 114"},
        {{{ActiveIconFileValue, Text(File200)}}, "777/100" + Defaults},
    };
    for (auto& [stored, loaded] : cases) {
        SetUp();
        for (auto& [name, value] : stored) Store(name, value.type, value.data);
        EXPECT_EQ(Loaded(), loaded) << (stored.empty() ? "" : stored[0].first);
        EXPECT_EQ(substitute::RegistryKeyExists(SettingsKeyPath), !stored.empty()) << "reading created the key";
    }
    // Only an index that yields an icon gives the role its file's icon: -1 would make ExtractIconExA
    // take resource ID 1; other negative indexes are resource IDs 1 to 3.
    for (LONG index : {-1, 0, 2, 3, -2, -4}) {
        StoreIcon(Active, DiskIcons, static_cast<DWORD>(index));
        bool extracted = index != -1 && index != 3 && index != -4;
        std::string file = DiskIcons + std::string("#") + std::to_string(index);
        EXPECT_EQ(Loaded(),
                  "777/100" + Total + " " + file + "=" + (extracted ? file : "shared 113") + " #0=shared 114");
        EXPECT_EQ(IconPair.Active.Extracted, extracted);
    }
}

TEST_F(SettingsStoreTest, WritesStoreEachValueAsItsTypeAndLoadBack) {
    EXPECT_TRUE(IconFileFitsStore(File199));
    EXPECT_FALSE(IconFileFitsStore(File200) || IconFileFitsStore(std::string("C:\\a.ico\0b", 10)));
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
    EXPECT_EQ(Stored(InactiveIconIndexValue), Number(0xFFFFFFFF));
    EXPECT_EQ(Loaded(),
              "1500/1500 PhysicalDisk(0 C:) C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2 D:\\a.ico#-1=shared 114");
    key = OpenSettingsKeyForWriting();
    WriteStartUp(key, false);
    WriteIconChoice(key, Active, "", 0);  // deletes both of the role's values
    RegCloseKey(key);
    EXPECT_EQ(Stored(StartUpValue), Number(0));
    EXPECT_FALSE(Stored(ActiveIconFileValue) || Stored(ActiveIconIndexValue) || !Stored(InactiveIconFileValue));
}

// The entry names the executable in quotes, so that a path with spaces cannot be taken for a
// shorter one; a path the buffer may have cut is never written, and the Run key never created.
TEST_F(SettingsStoreTest, AutoStartFollowsTheBoxAndTellsWhetherTheEntryExists) {
    const std::string exe = "C:\\Program Files\\Lumenhop\\Lumenhop.exe", ours = '"' + exe + '"';
    const std::string p259 = "C:\\Program Files\\" + std::string(238, 'd') + ".exe", p260 = p259 + "x";
    // The entry before and after ("-": none, "!": no Run key), the module path ("": its look-up
    // fails) and the box.
    const std::tuple<std::string, std::string, bool, std::string> cases[] = {
        {"!", exe, true, "!"}, {"-", exe, true, ours}, {"-", p259, true, '"' + p259 + '"'},
        {"C:\\Old\\Lumenhop.exe", exe, true, ours}, {std::string(600, 'x'), exe, true, ours},
        {ours + '\0', exe, true, ours + '\0'},  // ours already, its zero kept
        {"-", p260, true, "-"}, {"other.exe", p260, true, "other.exe"}, {"-", "", true, "-"}, {ours, exe, false, "-"},
        {"-", exe, false, "-"},
    };
    for (auto& [entry, module, on, after] : cases) {
        substitute::Reset();
        if (entry != "!") substitute::CreateRegistryKey(RunKeyPath);
        if (entry != "!" && entry != "-")
            substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, substitute::TextBytes(entry));
        substitute::SetModuleFileName(module);
        if (module.empty()) substitute::FailNext("GetModuleFileNameA", ERROR_ACCESS_DENIED);
        EXPECT_EQ(SetAutoStart(on), after != "!" && after != "-") << entry << " " << module;
        auto value = substitute::GetRegistryValue(RunKeyPath, AutoStartValueName);
        EXPECT_EQ(!substitute::RegistryKeyExists(RunKeyPath) ? "!"
                  : value                                    ? std::string(value->data.begin(), value->data.end())
                                                             : "-",
                  after);
    }
}

}  // namespace
