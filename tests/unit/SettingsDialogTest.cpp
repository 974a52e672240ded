#include "settings/IconChooser.h"
#include "settings/SettingsDialog.h"

#include "app/MainWindow.h"
#include "app/MonitorSetup.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "res/resource.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"
#include "tray/TrayPresenter.h"

#include <cstring>

using substitute::IconPickAnswer;
using substitute::PickedIcon;

namespace {

const char DiskIcons[] = "C:\\Icons\\disk.ico";  // three icons; C:\readme.txt has none


// The settings key's values as "Name=value", numbers in decimal, texts (UTF-16 ones too) in ASCII.
std::string StoreText() {
    std::string out;
    for (auto& name : substitute::RegistryValueNames(SettingsKeyPath)) {
        auto value = *Stored(name.c_str());
        out += (out.empty() ? "" : " ") + name + "=";
        uint32_t number = 0;
        std::memcpy(&number, value.data.data(), std::min<size_t>(4, value.data.size()));
        if (value.type == REG_DWORD) out += std::to_string(number);
        for (size_t i = 0; value.type != REG_DWORD && i < value.data.size(); i += value.type == REG_BINARY ? 2 : 1)
            if (value.data[i] != 0) out.push_back(static_cast<char>(value.data[i]));
    }
    return out;
}
// What the program runs with: the period, the watched entry, and each icon with its file and index.
std::string Running() {
    std::string out =
        std::to_string(BlinkDuration) + " " + std::string(SelectedCounterPath.begin(), SelectedCounterPath.end());
    for (const IconRole* role : {&IconPair.Active, &IconPair.Inactive})
        out += " " + Describe(role->Icon) + " (" + role->File + "#" + std::to_string(role->Index) + ")";
    return out;
}
// The changes of a key's values, in order.
std::vector<std::string> Writes(const char* keyPath) {
    std::vector<std::string> writes;
    for (auto& call : substitute::RegistryLog())
        if (call.key == keyPath && (call.function == "RegSetValueExA" || call.function == "RegDeleteValueA"))
            writes.push_back((call.function == "RegSetValueExA" ? "set " : "delete ") + call.value);
    return writes;
}
// Tray calls of the GUI thread, as opposed to the sampler's.
std::vector<std::string> GuiNotifies() {
    std::vector<std::string> calls;
    for (auto& call : substitute::NotifyLog())
        if (call.threadId == GetCurrentThreadId())
            calls.push_back(std::to_string(call.message) + " " + call.record.szTip);
    return calls;
}
std::string Preview(HWND dialog, int role) {
    HWND control = GetDlgItem(dialog, role == Active ? IDC_ACTIVE_PREVIEW : IDC_INACTIVE_PREVIEW);
    return Describe(reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0)));
}

// What the user does, as the dialog manager hands it to the procedure.
INT_PTR Command(HWND dialog, int id) {
    return SettingsDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
void Browse(HWND dialog, int role, IconPickAnswer answer) {
    substitute::ScriptIconPick(std::move(answer));
    EXPECT_FALSE(Command(dialog, role == Active ? IDC_BROWSE_ACTIVE : IDC_BROWSE_INACTIVE));
}
void ClickAutoStart(HWND dialog) { CheckDlgButton(dialog, IDC_AUTOSTART, !IsDlgButtonChecked(dialog, IDC_AUTOSTART)); }
void TypePeriod(HWND dialog, const char* text) { SetWindowTextA(GetDlgItem(dialog, IDC_BLINK_DURATION), text); }
void ChooseDisk(HWND dialog, int item) { SendMessageA(GetDlgItem(dialog, IDC_DISK), CB_SETCURSEL, item, 0); }
// OK or Cancel ends the dialog, which the dialog manager then destroys.
void End(HWND dialog, WORD command) {
    EXPECT_TRUE(Command(dialog, command));
    EXPECT_EQ(substitute::DialogResult(dialog), command);
    EXPECT_EQ(SettingsDialogOpen, 0);
    DestroyWindow(dialog);
}

class SettingsDialogTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(MainWindow);
        substitute::SetTimeScale(0.05);  // a 100 ms period lasts 5 ms
        substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C:", u"1 D:"});
        substitute::AddIconFile(DiskIcons, 3);
        substitute::AddIconFile("C:\\readme.txt", 0);
        substitute::CreateRegistryKey(RunKeyPath);
    }
    // The program as the tray menu finds it, the monitor set up from what is stored; then the
    // dialog with its template's controls, as the tray command opens it.
    static HWND Open(bool startMonitor = true) {
        if (startMonitor) RunMonitorSetup();
        HWND dialog = substitute::MakeDialog(
            MainWindow, SettingsDialogProc,
            {IDC_AUTOSTART, IDC_BLINK_DURATION, IDC_DISK, IDC_ACTIVE_PREVIEW, IDC_INACTIVE_PREVIEW});
        EXPECT_TRUE(SettingsDialogProc(dialog, WM_INITDIALOG, 0, 0));  // the manager focuses the first control
        EXPECT_EQ(SettingsDialogOpen, 1);
        return dialog;
    }
};

// --- Opening, and OK as a whole ---

// The list opens on the disk being watched: the one whose name holds the stored text, case and all,
// else _Total. The box shows whether the auto-start entry is there, whatever StartUp says.
TEST_F(SettingsDialogTest, ShowsTheStoreAndTheRunningIconsAndCancelWritesNothing) {
    StoreIcon(Active, DiskIcons, 1);
    for (const char16_t* name : {u"LogicalDisk(D", u"physicaldisk(1 d:)"}) {
        SCOPED_TRACE(std::string(name, name + 5));
        const bool whole = name[0] == u'p';
        Store(StartUpValue, REG_DWORD, substitute::DwordBytes(whole ? 0 : 7));
        if (whole) substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, substitute::TextBytes("x.exe"));
        Store(BlinkDurationValue, REG_DWORD, substitute::DwordBytes(whole ? 3000 : 20));
        Store(SelectedDiskCounterValue, REG_BINARY, substitute::WideTextBytes(name));
        HWND dialog = Open();
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_AUTOSTART), whole ? 1u : 0u);
        EXPECT_EQ(substitute::DescribeWindow(GetDlgItem(dialog, IDC_BLINK_DURATION))->text, whole ? "2000" : "100");
        auto list = substitute::DescribeWindow(GetDlgItem(dialog, IDC_DISK));
        std::string items;
        for (auto& item : list->items)
            items += std::string(item.text.begin(), item.text.end()) + "#" + std::to_string(item.data) + " ";
        EXPECT_EQ(
            items,
            "LogicalDisk(C:)#0 LogicalDisk(D:)#1 LogicalDisk(_Total)#2 PhysicalDisk(0 C:)#3 PhysicalDisk(1 D:)#4 ");
        EXPECT_EQ(list->selection, whole ? 2 : 1);
        EXPECT_EQ(Preview(dialog, Active) + " " + Preview(dialog, Inactive), "C:\\Icons\\disk.ico#1 shared 114");
        End(dialog, IDCANCEL);
    }
    EXPECT_TRUE(Writes(SettingsKeyPath).empty());
}

// A stored period above the range is saved as its top, after the old sampler stopped; the list
// opened on the watched _Total entry, so OK keeps watching it. The Run key is left alone while the
// box agrees with it.
TEST_F(SettingsDialogTest, OkWithoutChangesRewritesTheStoreInOrderAndLeavesTheRunKeyAlone) {
    StoreIcon(Active, DiskIcons, 2);
    Store(InactiveIconIndexValue, REG_DWORD, substitute::DwordBytes(5));  // an index without its file
    Store(BlinkDurationValue, REG_DWORD, substitute::DwordBytes(3000));
    RunMonitorSetup();
    ASSERT_TRUE(substitute::WaitForCollects(2));
    End(Open(false), IDOK);
    EXPECT_THAT(Writes(SettingsKeyPath),
                ::testing::ElementsAre("set StartUp", "set BlinkDuration", "set SelectedDiskCounter",
                                       "set ExternalActiveIconFile", "set ExternalActiveIconIndex",
                                       "delete ExternalInactiveIconFile", "delete ExternalInactiveIconIndex"));
    EXPECT_EQ(StoreText(), "BlinkDuration=2000 ExternalActiveIconFile=C:\\Icons\\disk.ico ExternalActiveIconIndex=2 "
                           "SelectedDiskCounter=LogicalDisk(_Total) StartUp=0");
    EXPECT_EQ(Running(),
              "2000 \\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer C:\\Icons\\disk.ico#2 (C:\\Icons\\disk.ico#2) "
              "shared 114 (#0)");
    EXPECT_TRUE(Writes(RunKeyPath).empty());
    ASSERT_EQ(substitute::WaitLog().size(), 1u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout, 6000u);  // twice the period in force before OK
}

// The box shows whether the auto-start entry exists, and OK makes the entry follow the box: an
// entry removed by other means comes back, one naming another file names this one, and StartUp
// records what is true afterwards.
TEST_F(SettingsDialogTest, RunEntryFollowsTheCheckBox) {
    const std::string ours = "\"C:\\Program Files\\Lumenhop\\Lumenhop.exe\"";
    const std::tuple<const char*, DWORD, bool, const char*> cases[] = {
        {nullptr, 1, false, nullptr}, {"old.exe", 0, false, "ours"}, {"old.exe", 1, true, nullptr},
        {nullptr, 0, true, "ours"}};
    for (auto [entry, startUp, click, after] : cases) {
        SCOPED_TRACE(std::string(entry ? entry : "-") + (click ? " click" : ""));
        Store(StartUpValue, REG_DWORD, substitute::DwordBytes(startUp));
        substitute::RemoveRegistryValue(RunKeyPath, AutoStartValueName);
        if (entry) substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, substitute::TextBytes(entry));
        HWND dialog = Open();
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_AUTOSTART), entry ? 1u : 0u);
        if (click) ClickAutoStart(dialog);
        End(dialog, IDOK);
        auto value = substitute::GetRegistryValue(RunKeyPath, AutoStartValueName);
        EXPECT_EQ(value ? std::string(value->data.begin(), value->data.end()) : "-", after ? ours : "-");
        EXPECT_EQ(Stored(StartUpValue)->data, substitute::DwordBytes(after ? 1 : 0));
    }
}

// When the key can be neither opened nor created, nothing is applied either, so memory and store
// agree; only the Run entry follows the box.
TEST_F(SettingsDialogTest, OkWhenTheKeyCanNeitherBeOpenedNorCreatedChangesOnlyAutoStart) {
    HWND dialog = Open();
    TypePeriod(dialog, "500");
    ChooseDisk(dialog, 3);
    Browse(dialog, Inactive, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    ClickAutoStart(dialog);
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    substitute::FailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    End(dialog, IDOK);
    EXPECT_FALSE(substitute::RegistryKeyExists(SettingsKeyPath));
    EXPECT_EQ(Running(), "100 \\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer shared 113 (#0) shared 114 (#0)");
    EXPECT_EQ(GuiNotifies().size(), 1u);  // the set-up's add only
    EXPECT_TRUE(substitute::GetRegistryValue(RunKeyPath, AutoStartValueName));
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
}

// --- The selection and the period ---

// Only the first 15 characters of the period count. The new entry's name and the new icon show in
// the tray at once, in one modify.
TEST_F(SettingsDialogTest, NewSelectionAndIconsShowInTheTrayAtOnce) {
    HWND dialog = Open();
    ChooseDisk(dialog, 3);
    TypePeriod(dialog, "000000000000150");
    Browse(dialog, Inactive, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    End(dialog, IDOK);
    EXPECT_EQ(Running(), "150 \\PhysicalDisk(0 C:)\\Avg. Disk Bytes/Transfer shared 113 (#0) "
                         "C:\\Icons\\disk.ico#1 (C:\\Icons\\disk.ico#1)");
    EXPECT_EQ(StoreText(), "BlinkDuration=150 ExternalInactiveIconFile=C:\\Icons\\disk.ico ExternalInactiveIconIndex=1 "
                           "SelectedDiskCounter=PhysicalDisk(0 C:) StartUp=0");
    EXPECT_THAT(GuiNotifies(), ::testing::ElementsAre("0 LogicalDisk(_Total)", "1 PhysicalDisk(0 C:)"));
    EXPECT_EQ(Describe(substitute::NotifyLog()[1].record.hIcon), "C:\\Icons\\disk.ico#1");
}

// With an empty list, or an entry the catalogue lost when the shell restarted while the dialog was
// open, OK leaves the selection alone; an entry the new catalogue still holds is found by its name.
TEST_F(SettingsDialogTest, OkAppliesTheEntryByItsNameInTheCatalogueOfTheMoment) {
    for (int item : {-1, 0, 1}) {
        SCOPED_TRACE(item);
        substitute::SeedDiskObjects(item < 0 ? std::vector<WideString>{} : std::vector<WideString>{u"C:", u"_Total"}, {});
        HWND dialog = Open();
        if (item >= 0) {
            ChooseDisk(dialog, item);
            substitute::SeedDiskObjects({u"D:", u"_Total"}, {});
            RunMonitorSetup();
        }
        WideString watched = SelectedCounterPath;
        End(dialog, IDOK);
        EXPECT_EQ(SelectedCounterPath, watched);
        EXPECT_EQ(Stored(SelectedDiskCounterValue).has_value(), item == 1);
        EXPECT_EQ(GuiNotifies().back(), item < 0 ? "1 " : "1 LogicalDisk(_Total)");
    }
}

// --- Icons ---

// The active role starts from icon 1 of the icon file; the picker opens over the dialog on an
// empty path and that index. A file that yields no icon returns the role to its built-in icon; a
// path the store cannot keep is refused as if the picker had been cancelled.
TEST_F(SettingsDialogTest, BrowseChangesTheRolesChoiceOnlyForAnIconTheStoreCanKeep) {
    const std::string kept = "ExternalActiveIconFile=C:\\Icons\\disk.ico ExternalActiveIconIndex=";
    const std::string tooLong = "C:\\" + std::string(193, 'p') + ".ico";
    substitute::AddIconFile(tooLong, 1);
    const std::tuple<IconPickAnswer, std::string, std::string> cases[] = {
        {PickedIcon(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico#2", kept + "2 "},
        // A picker that writes its buffers even though the user cancelled.
        {IconPickAnswer{false, u"C:\\other.ico", 7, true}, "C:\\Icons\\disk.ico#1", kept + "1 "},
        {PickedIcon(u"C:\\readme.txt", 0), "shared 113", ""},
        {PickedIcon(WideString(tooLong.begin(), tooLong.end()), 0), "C:\\Icons\\disk.ico#1", kept + "1 "},
    };
    for (auto& [answer, icon, stored] : cases) {
        SCOPED_TRACE(icon);
        StoreIcon(Active, DiskIcons, 1);
        HWND dialog = Open();
        Browse(dialog, Active, answer);
        EXPECT_EQ(Preview(dialog, Active) + " " + Preview(dialog, Inactive), icon + " shared 114");
        End(dialog, IDOK);
        EXPECT_EQ(Describe(IconPair.Active.Icon), icon);
        EXPECT_EQ(StoreText(), "BlinkDuration=100 " + stored + "SelectedDiskCounter=LogicalDisk(_Total) StartUp=0");
        auto pick = substitute::IconPickLog().back();
        EXPECT_EQ(pick.owner, dialog);
        EXPECT_EQ(pick.path + " " + std::to_string(pick.capacity) + " " + std::to_string(pick.index), " 260 1");
    }
}

class PreviewTest : public SettingsDialogTest, public ::testing::WithParamInterface<int> {};

// Default Icons shows the built-in icons, which only OK commits. Every extracted preview is
// destroyed once it is replaced or the dialog goes, however it goes (OK, Cancel, or destroyed with
// the main window while open); shared and running icons never are (the substitute fails the test
// on that). Without OK the next opening starts again from the running icons.
TEST_P(PreviewTest, ExtractedPreviewsAreDestroyedAndNothingElse) {
    const int end = GetParam();
    StoreIcon(Active, DiskIcons, 0);
    StoreIcon(Inactive, DiskIcons, 2);
    HWND dialog = Open();
    HICON running = IconPair.Active.Icon;
    auto shown = [&](int role) {
        return reinterpret_cast<HICON>(SendMessageA(GetDlgItem(dialog, role), STM_GETICON, 0, 0));
    };
    auto destroyed = [](HICON icon) { return substitute::DescribeIcon(icon)->destroyed; };
    Browse(dialog, Active, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    HICON first = shown(IDC_ACTIVE_PREVIEW);
    Browse(dialog, Active, PickedIcon(u"C:\\Icons\\disk.ico", 2));
    HICON second = shown(IDC_ACTIVE_PREVIEW);
    Browse(dialog, Inactive, PickedIcon(u"C:\\Icons\\disk.ico", 0));
    HICON third = shown(IDC_INACTIVE_PREVIEW);
    EXPECT_TRUE(destroyed(first) && !destroyed(second) && !destroyed(third));
    EXPECT_FALSE(Command(dialog, IDC_DEFAULT_ICONS));
    EXPECT_EQ(Preview(dialog, Active) + " " + Preview(dialog, Inactive), "shared 113 shared 114");
    EXPECT_TRUE(destroyed(second) && destroyed(third));
    if (end == IDOK) {
        End(dialog, IDOK);
        EXPECT_EQ(Running(), "100 \\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer shared 113 (#0) shared 114 (#0)");
        EXPECT_EQ(StoreText(), "BlinkDuration=100 SelectedDiskCounter=LogicalDisk(_Total) StartUp=0");
        return;
    }
    Browse(dialog, Active, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    EXPECT_EQ(substitute::IconPickLog().back().index, 0);  // from the built-in icon's
    Browse(dialog, Inactive, PickedIcon(u"C:\\Icons\\disk.ico", 0));
    HICON lastActive = shown(IDC_ACTIVE_PREVIEW), lastInactive = shown(IDC_INACTIVE_PREVIEW);
    EXPECT_FALSE(destroyed(lastActive) || destroyed(lastInactive));
    if (end == IDCANCEL)
        End(dialog, IDCANCEL);
    else
        DestroyWindow(dialog);
    EXPECT_TRUE(destroyed(lastActive) && destroyed(lastInactive));
    EXPECT_EQ(IconPair.Active.Icon, running);
    EXPECT_FALSE(destroyed(running));
    EXPECT_EQ(StoreText(), "ExternalActiveIconFile=C:\\Icons\\disk.ico ExternalActiveIconIndex=0 "
                           "ExternalInactiveIconFile=C:\\Icons\\disk.ico ExternalInactiveIconIndex=2");
    dialog = Open(false);
    EXPECT_EQ(shown(IDC_ACTIVE_PREVIEW), running);
    End(dialog, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(OkCancelOrDestroyed, PreviewTest, ::testing::Values(IDOK, IDCANCEL, 0));

// --- The chooser ---

struct ChooseCase {
    void (*arrange)();
    std::optional<IconPickAnswer> answer;
    std::string path;  // empty: refused, and the path and index stay as they were
    int index;
};

// A pick comes back only as a whole path in the ANSI code page; nothing is written past the buffer.
TEST_F(SettingsDialogTest, ChooseIconGivesBackOnlyAWholePathInTheAnsiCodePage) {
    char buffer[4] = {};
    int start = 0;
    EXPECT_FALSE(ChooseIcon(nullptr, nullptr, 4, &start) || ChooseIcon(nullptr, buffer, 0, &start) ||
                 ChooseIcon(nullptr, buffer, 4, nullptr));
    void (*notNt)() = [] { substitute::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS); };
    void (*doubleByte)() = [] { substitute::UseCodePage(932); };
    void (*utf8)() = [] { substitute::UseCodePage(CP_UTF8); };
    const ChooseCase cases[] = {
        {[] {}, PickedIcon(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico", 2},
        {notNt, PickedIcon(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico", 2},
        {[] {}, IconPickAnswer{false, u"C:\\x.ico", 9, true}, "", 0},  // cancelled after writing both
        {[] {}, PickedIcon(u"", 1), "", 0},
        {[] {}, IconPickAnswer{true, u"C:\\x.ico", 1, false}, "", 0},  // unterminated
        {notNt, IconPickAnswer{true, u"C:\\x.ico", 1, false}, "", 0},
        // Replaced by '?', the name would be of no file.
        {[] {}, PickedIcon(u"C:\\\u0418\u043a\u043e\u043d\u043a\u0438.ico", 1), "", 0},
        {doubleByte, PickedIcon(u"C:\\\u4e00\u4e01.ico", 1), "C:\\\x81\x40\x81\x41.ico", 1},
        // 200 units that need 400 bytes cannot come back in 260.
        {doubleByte, PickedIcon(WideString(200, u'\u4e00'), 1), "", 0},
        // A UTF-8 ANSI page holds every character, but not a lone surrogate.
        {utf8, PickedIcon(u"C:\\\u0418\u043a\\\u76ee.ico", 2), "C:\\\xD0\x98\xD0\xBA\\\xE7\x9B\xAE.ico", 2},
        {utf8, PickedIcon(u"C:\\\xD83D\xDE00.ico", 2), "C:\\\xF0\x9F\x98\x80.ico", 2},
        {utf8, PickedIcon(WideString(u"C:\\a") + WCHAR{0xD800} + u".ico", 2), "", 0},
        {[] { substitute::FailNext("GetVersionExA", ERROR_INVALID_PARAMETER); }, std::nullopt, "", 0},
        {[] { substitute::FailNext("LoadLibraryA", ERROR_MOD_NOT_FOUND); }, std::nullopt, "", 0},
        {[] { substitute::FailNext("GetProcAddress", ERROR_PROC_NOT_FOUND); }, std::nullopt, "", 0},
    };
    for (const ChooseCase& c : cases) {
        SCOPED_TRACE(&c - cases);
        substitute::SetPlatformId(VER_PLATFORM_WIN32_NT);
        substitute::UseCodePage(1252);
        c.arrange();
        if (c.answer) substitute::ScriptIconPick(*c.answer);
        const size_t picks = substitute::IconPickLog().size();
        char path[MAX_PATH + 4];
        std::memset(path, 0xCC, sizeof path);
        std::strcpy(path, "C:\\old.ico");
        int index = 4;
        EXPECT_EQ(ChooseIcon(FakeMainWindow(), path, MAX_PATH, &index), c.path.empty() ? FALSE : TRUE);
        EXPECT_EQ(std::string(path) + " " + std::to_string(index),
                  c.path.empty() ? "C:\\old.ico 4" : c.path + " " + std::to_string(c.index));
        EXPECT_EQ(static_cast<unsigned char>(path[MAX_PATH]), 0xCCu);
        ASSERT_EQ(substitute::IconPickLog().size(), picks + (c.answer ? 1 : 0));
        if (!c.answer) continue;
        EXPECT_EQ(substitute::IconPickLog().back().path + " " + std::to_string(substitute::IconPickLog().back().index),
                  "C:\\old.ico 4");
    }
}

}  // namespace
