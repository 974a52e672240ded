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

using substitute::DwordBytes;
using substitute::IconPickAnswer;
using substitute::PickedIcon;
using substitute::RegistryValue;
using substitute::TextBytes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";
const WideString FirstPath = u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer";
const WideString PhysicalPath = u"\\PhysicalDisk(0 C:)\\Avg. Disk Bytes/Transfer";
const char DiskIcons[] = "C:\\Icons\\disk.ico";  // three icons; C:\readme.txt has none

void StoreIcon(int role, const std::string& file, DWORD index) {
    Store(role == Active ? ActiveIconFileValue : InactiveIconFileValue, REG_SZ, TextBytes(file));
    Store(role == Active ? ActiveIconIndexValue : InactiveIconIndexValue, REG_DWORD, DwordBytes(index));
}
RegistryValue Number(DWORD value) { return RegistryValue{REG_DWORD, DwordBytes(value)}; }
RegistryValue Name(const WideString& name) { return RegistryValue{REG_BINARY, substitute::WideTextBytes(name)}; }

bool Destroyed(HICON icon) { return substitute::DescribeIcon(icon)->destroyed; }
HICON Preview(HWND dialog, int role) {
    HWND control = GetDlgItem(dialog, role == Active ? IDC_ACTIVE_PREVIEW : IDC_INACTIVE_PREVIEW);
    return reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
}

// Changes of the store in order, "set Name" or "delete Name".
std::vector<std::string> StoreWrites() {
    std::vector<std::string> writes;
    for (auto& call : substitute::RegistryLog()) {
        if (call.function == "RegSetValueExA") writes.push_back("set " + call.value);
        if (call.function == "RegDeleteValueA") writes.push_back("delete " + call.value);
    }
    return writes;
}
bool RunKeyTouched() {
    for (auto& call : substitute::RegistryLog())
        if (call.key == RunKeyPath) return true;
    return false;
}
// Tray calls of the GUI thread, as opposed to the sampler's.
std::vector<substitute::NotifyCall> GuiNotifies() {
    std::vector<substitute::NotifyCall> calls;
    for (auto& call : substitute::NotifyLog())
        if (call.threadId == GetCurrentThreadId()) calls.push_back(call);
    return calls;
}

// What the user does in the dialog, as the dialog manager hands it to the procedure.
INT_PTR Command(HWND dialog, int id) {
    return SettingsDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
void Browse(HWND dialog, int role, IconPickAnswer answer) {
    substitute::ScriptIconPick(std::move(answer));
    EXPECT_FALSE(Command(dialog, role == Active ? IDC_BROWSE_ACTIVE : IDC_BROWSE_INACTIVE));
}
void ClickAutoStart(HWND dialog) {
    CheckDlgButton(dialog, IDC_AUTOSTART, IsDlgButtonChecked(dialog, IDC_AUTOSTART) ? BST_UNCHECKED : BST_CHECKED);
}
void TypePeriod(HWND dialog, const char* text) { SetWindowTextA(GetDlgItem(dialog, IDC_BLINK_DURATION), text); }
void ChooseDisk(HWND dialog, int item) { SendMessageA(GetDlgItem(dialog, IDC_DISK), CB_SETCURSEL, item, 0); }
// OK or Cancel ends the dialog; the dialog manager then destroys it.
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
    // The program as the tray menu finds it: the monitor set up from what is stored.
    void StartMonitor() {
        RunMonitorSetup();
        monitorStarted = true;
    }
    // Opens the dialog as the tray command does: the template's controls, then WM_INITDIALOG.
    HWND Open() {
        if (!monitorStarted) StartMonitor();
        HWND dialog = substitute::MakeDialog(MainWindow, SettingsDialogProc,
                                             {{IDC_AUTOSTART, "BUTTON"}, {IDC_BLINK_DURATION, "EDIT"}, {IDC_DISK, "COMBOBOX"},
                                              {IDC_ACTIVE_PREVIEW, "STATIC"}, {IDC_INACTIVE_PREVIEW, "STATIC"}});
        EXPECT_TRUE(SettingsDialogProc(dialog, WM_INITDIALOG, 0, 0));  // the manager focuses the first control
        EXPECT_EQ(SettingsDialogOpen, 1);
        return dialog;
    }
    bool monitorStarted = false;
};

// --- Opening, and OK as a whole ---

struct OpenCase {
    const char* name;
    std::function<void()> store;
    bool checked;
    std::string blinkText;
    int item;
};
void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class DialogOpenTest : public SettingsDialogTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(DialogOpenTest, ShowsTheStoreAndTheRunningIconsAndCancelWritesNothing) {
    GetParam().store();
    StoreIcon(Active, DiskIcons, 1);
    HWND dialog = Open();
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_AUTOSTART), GetParam().checked ? 1u : 0u);
    EXPECT_EQ(substitute::DescribeWindow(GetDlgItem(dialog, IDC_BLINK_DURATION))->text, GetParam().blinkText);
    auto list = substitute::DescribeWindow(GetDlgItem(dialog, IDC_DISK));
    std::vector<std::string> items;
    for (auto& item : list->items) items.push_back(std::string(item.text.begin(), item.text.end()) + " " + std::to_string(item.data));
    EXPECT_THAT(items, ElementsAre("LogicalDisk(C:) 0", "LogicalDisk(D:) 1", "LogicalDisk(_Total) 2", "PhysicalDisk(0 C:) 3",
                                   "PhysicalDisk(1 D:) 4"));
    EXPECT_EQ(list->selection, GetParam().item);
    EXPECT_EQ(Preview(dialog, Active), IconPair.Active.Icon);  // the tray's own icons
    EXPECT_EQ(Preview(dialog, Inactive), IconPair.Inactive.Icon);
    End(dialog, IDCANCEL);
    EXPECT_THAT(StoreWrites(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DialogOpenTest,
    ::testing::Values(OpenCase{"NothingStored", [] {}, false, "100", 0},
                      OpenCase{"EverythingStored",
                               [] {
                                   Store(StartUpValue, REG_DWORD, DwordBytes(7));
                                   Store(BlinkDurationValue, REG_DWORD, DwordBytes(3000));
                                   Store(SelectedDiskCounterValue, REG_BINARY, Name(u"physicaldisk(1 d:)").data);
                               },
                               true, "2000", 4},
                      // The set-up watches an entry containing a part of a name; the list needs it whole.
                      OpenCase{"PartOfANameAndAShortPeriod",
                               [] {
                                   Store(StartUpValue, REG_DWORD, DwordBytes(0));
                                   Store(BlinkDurationValue, REG_DWORD, DwordBytes(20));
                                   Store(SelectedDiskCounterValue, REG_BINARY, Name(u"LogicalDisk(D").data);
                               },
                               false, "100", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A stored period above the range is saved as its top, after the old sampler stopped.
TEST_F(SettingsDialogTest, OkWithoutChangesRewritesTheStoreInOrderAndLeavesTheRunKeyAlone) {
    StoreIcon(Active, DiskIcons, 2);
    Store(InactiveIconIndexValue, REG_DWORD, DwordBytes(5));  // an index without its file
    Store(BlinkDurationValue, REG_DWORD, DwordBytes(3000));
    StartMonitor();
    ASSERT_TRUE(substitute::WaitForCollects(2));
    End(Open(), IDOK);
    EXPECT_THAT(StoreWrites(), ElementsAre("set StartUp", "set BlinkDuration", "set SelectedDiskCounter",
                                           "set ExternalActiveIconFile", "set ExternalActiveIconIndex",
                                           "delete ExternalInactiveIconFile", "delete ExternalInactiveIconIndex"));
    EXPECT_EQ(Stored(StartUpValue), Number(0));
    EXPECT_EQ(BlinkDuration, 2000u);
    EXPECT_EQ(Stored(BlinkDurationValue), Number(2000));
    EXPECT_EQ(Stored(ActiveIconFileValue), (RegistryValue{REG_SZ, TextBytes(DiskIcons)}));
    EXPECT_EQ(Stored(ActiveIconIndexValue), Number(2));
    EXPECT_FALSE(RunKeyTouched());
    // The list opened on its first item, not on the watched _Total entry: OK watches that item.
    EXPECT_EQ(Stored(SelectedDiskCounterValue), Name(u"LogicalDisk(C:)"));
    EXPECT_EQ(SelectedCounterPath, FirstPath);
    EXPECT_EQ(TooltipText, "LogicalDisk(C:)");
    ASSERT_EQ(substitute::WaitLog().size(), 1u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout, 6000u);  // twice the period in force before OK
    EXPECT_TRUE(Eventually([] { return substitute::AddedCounterPaths().size() == 2; }));
    EXPECT_EQ(substitute::AddedCounterPaths(), (std::vector<WideString>{TotalPath, FirstPath}));
}

// The edit box's text is read as a number (as the C library's atol would, but never wrapped
// round) and held within 100..2000.
TEST(BlinkDurationFromTextTest, IsReadAsANumberAndHeldWithinTheRange) {
    const std::pair<const char*, DWORD> table[] = {
        {"150ms", 150}, {" 300", 300}, {"\t+1999x", 1999}, {"\r500", 500}, {"", 100}, {"fast", 100}, {"50", 100},
        {"2500", 2000}, {"-5", 2000}, {"-0", 100}, {"- 5", 100}, {"4294967396", 2000}, {"-4294967295", 2000}};
    for (auto [text, period] : table) EXPECT_EQ(BlinkDurationFromText(text), period) << '"' << text << '"';
}

struct AutoStartCase {
    const char* name;
    bool checkedAtOpen;
    bool runEntry;
    int clicks;
    bool runEntryAfter;
    bool runKeyTouched;
};
void PrintTo(const AutoStartCase& c, std::ostream* os) { *os << c.name; }

class DialogAutoStartTest : public SettingsDialogTest, public ::testing::WithParamInterface<AutoStartCase> {};

TEST_P(DialogAutoStartTest, RunEntryChangesOnlyWithTheCheckBox) {
    const AutoStartCase c = GetParam();
    Store(StartUpValue, REG_DWORD, DwordBytes(c.checkedAtOpen));
    if (c.runEntry) substitute::SetRegistryValue(RunKeyPath, AutoStartValueName, REG_SZ, TextBytes("old.exe"));
    HWND dialog = Open();
    for (int i = 0; i < c.clicks; ++i) ClickAutoStart(dialog);
    End(dialog, IDOK);
    EXPECT_EQ(substitute::GetRegistryValue(RunKeyPath, AutoStartValueName).has_value(), c.runEntryAfter);
    EXPECT_EQ(RunKeyTouched(), c.runKeyTouched);
    EXPECT_EQ(Stored(StartUpValue), Number(c.checkedAtOpen != (c.clicks % 2 == 1)));
}

INSTANTIATE_TEST_SUITE_P(Table, DialogAutoStartTest,
                         ::testing::Values(AutoStartCase{"LeftUnchecked", false, false, 0, false, false},
                                           AutoStartCase{"Checked", false, false, 1, true, true},
                                           AutoStartCase{"CheckedAndUncheckedAgain", false, false, 2, false, false},
                                           // Removed by other means while the box stays checked: not recreated.
                                           AutoStartCase{"LeftCheckedWithoutItsEntry", true, false, 0, false, false},
                                           AutoStartCase{"Unchecked", true, true, 1, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

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
    EXPECT_EQ(BlinkDuration, 100u);
    EXPECT_EQ(SelectedCounterPath, TotalPath);
    EXPECT_EQ(TooltipText, "LogicalDisk(_Total)");
    EXPECT_EQ(Describe(IconPair.Inactive.Icon), "shared 114");
    EXPECT_EQ(GuiNotifies().size(), 1u);  // the set-up's add only
    EXPECT_TRUE(substitute::GetRegistryValue(RunKeyPath, AutoStartValueName));
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
    EXPECT_TRUE(SamplerRecorded());
}

// --- The selection and the period ---

// Only the first 15 characters of the period count.
TEST_F(SettingsDialogTest, NewSelectionShowsInTheTrayAtOnceAndNewIconsFromTheNextChange) {
    // The new sampler's first collect only primes the counter.
    substitute::ScriptCounter(PhysicalPath, {substitute::Sample{0}, substitute::Sample{150}, substitute::Sample{0}});
    HWND dialog = Open();
    ChooseDisk(dialog, 3);
    TypePeriod(dialog, "000000000000150");
    Browse(dialog, Inactive, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    End(dialog, IDOK);
    EXPECT_EQ(BlinkDuration, 150u);
    EXPECT_EQ(Stored(BlinkDurationValue), Number(150));
    EXPECT_EQ(SelectedCounterPath, PhysicalPath);
    EXPECT_EQ(Stored(SelectedDiskCounterValue), Name(u"PhysicalDisk(0 C:)"));
    auto gui = GuiNotifies();
    ASSERT_EQ(gui.size(), 2u);
    EXPECT_EQ(gui[1].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_STREQ(gui[1].record.szTip, "PhysicalDisk(0 C:)");
    EXPECT_EQ(Describe(gui[1].record.hIcon), "shared 114");  // the inactive icon before OK
    // The set-up's add, OK's modify, then the new sampler's two changes.
    ASSERT_TRUE(Eventually([] { return substitute::NotifyLog().size() >= 4; }));
    EXPECT_EQ(Describe(substitute::NotifyLog()[2].record.hIcon), "shared 113");
    EXPECT_EQ(Describe(substitute::NotifyLog()[3].record.hIcon), "C:\\Icons\\disk.ico#1");
}

// With an empty list, or an entry the catalogue lost when the shell restarted while the dialog was
// open, OK leaves the selection and the tray alone.
TEST_F(SettingsDialogTest, OkWithoutAnEntryLeavesTheSelectionAndTheTrayAlone) {
    for (bool empty : {true, false}) {
        SCOPED_TRACE(empty ? "empty list" : "entry gone");
        substitute::SeedDiskObjects(empty ? std::vector<WideString>{} : std::vector<WideString>{u"C:", u"_Total"}, {});
        StartMonitor();
        WideString watched = SelectedCounterPath;
        HWND dialog = Open();
        if (!empty) {
            ChooseDisk(dialog, 1);
            substitute::SeedDiskObjects({u"_Total"}, {});
            RunMonitorSetup();
        }
        End(dialog, IDOK);
        EXPECT_EQ(SelectedCounterPath, watched);
        EXPECT_FALSE(Stored(SelectedDiskCounterValue));
        for (auto& call : GuiNotifies()) EXPECT_NE(call.message, static_cast<DWORD>(NIM_MODIFY));
    }
}

// --- Icons ---

struct BrowseCase {
    const char* name;
    void (*arrange)();
    std::optional<IconPickAnswer> answer;
    std::string icon;  // shown by the preview, and the active icon after OK
    std::optional<std::string> storedFile;
};
void PrintTo(const BrowseCase& c, std::ostream* os) { *os << c.name; }

class BrowseTest : public SettingsDialogTest, public ::testing::WithParamInterface<BrowseCase> {};

// The active role starts from icon 1 of the icon file.
TEST_P(BrowseTest, ChangesTheRolesChoiceOnlyForAnIconTheStoreCanKeep) {
    const BrowseCase& c = GetParam();
    StoreIcon(Active, DiskIcons, 1);
    c.arrange();
    HWND dialog = Open();
    if (c.answer) substitute::ScriptIconPick(*c.answer);
    EXPECT_FALSE(Command(dialog, IDC_BROWSE_ACTIVE));
    EXPECT_EQ(Describe(Preview(dialog, Active)), c.icon);
    EXPECT_EQ(Describe(Preview(dialog, Inactive)), "shared 114");
    End(dialog, IDOK);
    EXPECT_EQ(Describe(IconPair.Active.Icon), c.icon);
    EXPECT_EQ(IconPair.Active.File, c.storedFile.value_or(""));
    EXPECT_EQ(Stored(ActiveIconFileValue),
              c.storedFile ? std::optional(RegistryValue{REG_SZ, TextBytes(*c.storedFile)}) : std::nullopt);
    EXPECT_EQ(Stored(ActiveIconIndexValue).has_value(), c.storedFile.has_value());
    EXPECT_FALSE(Stored(InactiveIconFileValue));
    if (!c.answer) return;
    // The picker opens over the dialog on an empty path and the role's index.
    auto picks = substitute::IconPickLog();
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks[0].owner, dialog);
    EXPECT_EQ(picks[0].path + " " + std::to_string(picks[0].capacity) + " " + std::to_string(picks[0].index), " 260 1");
}

const std::string Path199 = "C:\\" + std::string(192, 'p') + ".ico";
const std::string Path200 = Path199 + "x";
WideString WidePath(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

INSTANTIATE_TEST_SUITE_P(
    Table, BrowseTest,
    ::testing::Values(
        BrowseCase{"Picked", [] {}, PickedIcon(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico#2", DiskIcons},
        // A picker that writes its buffers even though the user cancelled.
        BrowseCase{"PickerCancelled", [] {}, IconPickAnswer{false, u"C:\\other.ico", 7, true}, "C:\\Icons\\disk.ico#1",
                   DiskIcons},
        BrowseCase{"FileWithoutIcons", [] {}, PickedIcon(u"C:\\readme.txt", 0), "shared 113", std::nullopt},
        BrowseCase{"FileGone", [] {}, PickedIcon(u"C:\\gone.ico", 0), "shared 113", std::nullopt},
        BrowseCase{"IndexPastTheLastIcon", [] {}, PickedIcon(u"C:\\Icons\\disk.ico", 3), "shared 113", std::nullopt},
        BrowseCase{"LongestPathTheStoreKeeps", [] { substitute::AddIconFile(Path199, 1); },
                   PickedIcon(WidePath(Path199), 0), Path199 + "#0", Path199},
        BrowseCase{"PathTooLongForTheStore", [] { substitute::AddIconFile(Path200, 1); },
                   PickedIcon(WidePath(Path200), 0), "C:\\Icons\\disk.ico#1", DiskIcons},
        BrowseCase{"NoShellLibrary", [] { substitute::FailNext("LoadLibraryA", ERROR_MOD_NOT_FOUND); }, std::nullopt,
                   "C:\\Icons\\disk.ico#1", DiskIcons}),
    [](const auto& info) { return std::string(info.param.name); });

class DefaultIconsTest : public SettingsDialogTest, public ::testing::WithParamInterface<WORD> {};

TEST_P(DefaultIconsTest, AreCommittedByOkAndDroppedByCancel) {
    StoreIcon(Active, DiskIcons, 1);
    StoreIcon(Inactive, DiskIcons, 2);
    const bool ok = GetParam() == IDOK;
    HWND dialog = Open();
    EXPECT_FALSE(Command(dialog, IDC_DEFAULT_ICONS));
    EXPECT_EQ(Describe(Preview(dialog, Active)), "shared 113");
    EXPECT_EQ(Describe(Preview(dialog, Inactive)), "shared 114");
    End(dialog, GetParam());
    EXPECT_EQ(Describe(IconPair.Active.Icon), ok ? "shared 113" : "C:\\Icons\\disk.ico#1");
    EXPECT_EQ(Describe(IconPair.Inactive.Icon), ok ? "shared 114" : "C:\\Icons\\disk.ico#2");
    EXPECT_EQ(IconPair.Active.Index, ok ? 0 : 1);
    EXPECT_EQ(IconPair.Inactive.File, ok ? "" : DiskIcons);
    const std::vector<std::string> values =
        ok ? std::vector<std::string>{"BlinkDuration", "SelectedDiskCounter", "StartUp"}
           : std::vector<std::string>{"ExternalActiveIconFile", "ExternalActiveIconIndex", "ExternalInactiveIconFile",
                                      "ExternalInactiveIconIndex"};
    EXPECT_EQ(substitute::RegistryValueNames(SettingsKeyPath), values);
}

INSTANTIATE_TEST_SUITE_P(OkOrCancel, DefaultIconsTest, ::testing::Values(IDOK, IDCANCEL));

class PreviewTest : public SettingsDialogTest, public ::testing::WithParamInterface<int> {};

// Every extracted preview is destroyed once it is replaced or the dialog goes, however it goes
// (OK, Cancel, or destroyed with the main window while open); shared and running icons never are
// (the substitute fails the test on that). Without OK the next opening starts again from the
// running icons.
TEST_P(PreviewTest, ExtractedPreviewsAreDestroyedAndNothingElse) {
    const int end = GetParam();
    StoreIcon(Active, DiskIcons, 0);
    StartMonitor();
    HICON running = IconPair.Active.Icon;
    std::vector<HICON> previews;
    HWND dialog = Open();
    Browse(dialog, Active, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    previews.push_back(Preview(dialog, Active));
    Browse(dialog, Active, PickedIcon(u"C:\\Icons\\disk.ico", 2));
    EXPECT_TRUE(Destroyed(previews.back()));
    previews.push_back(Preview(dialog, Active));
    Browse(dialog, Inactive, PickedIcon(u"C:\\Icons\\disk.ico", 0));
    previews.push_back(Preview(dialog, Inactive));
    EXPECT_FALSE(Command(dialog, IDC_DEFAULT_ICONS));
    EXPECT_TRUE(Destroyed(previews[1]) && Destroyed(previews[2]));
    Browse(dialog, Inactive, PickedIcon(u"C:\\readme.txt", 0));
    Browse(dialog, Active, PickedIcon(u"C:\\Icons\\disk.ico", 1));
    previews.push_back(Preview(dialog, Active));
    EXPECT_FALSE(Destroyed(previews.back()));
    if (end == 0)
        DestroyWindow(dialog);
    else
        End(dialog, static_cast<WORD>(end));
    EXPECT_TRUE(Destroyed(previews.back()));
    EXPECT_FALSE(Destroyed(IconPair.Active.Icon));
    EXPECT_EQ(Stored(ActiveIconIndexValue), Number(end == IDOK ? 1 : 0));
    if (end == IDOK) return;
    EXPECT_EQ(IconPair.Active.Icon, running);
    dialog = Open();
    EXPECT_EQ(Preview(dialog, Active), running);
    End(dialog, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(OkCancelOrDestroyed, PreviewTest, ::testing::Values(IDOK, IDCANCEL, 0));

// --- The chooser ---

struct ChooseCase {
    const char* name;
    void (*arrange)();
    std::optional<IconPickAnswer> answer;
    std::string path;  // empty: refused, and the path and index stay as they were
    int index;
};
void PrintTo(const ChooseCase& c, std::ostream* os) { *os << c.name; }

class ChooseIconTest : public SettingsDialogTest, public ::testing::WithParamInterface<ChooseCase> {};

TEST_P(ChooseIconTest, GivesBackOnlyAWholePathInTheAnsiCodePage) {
    const ChooseCase& c = GetParam();
    c.arrange();
    if (c.answer) substitute::ScriptIconPick(*c.answer);
    char path[MAX_PATH + 4];
    std::memset(path, 0xCC, sizeof path);
    std::strcpy(path, "C:\\old.ico");
    int index = 4;
    EXPECT_EQ(ChooseIcon(FakeMainWindow(), path, MAX_PATH, &index), c.path.empty() ? FALSE : TRUE);
    EXPECT_EQ(std::string(path), c.path.empty() ? "C:\\old.ico" : c.path);
    EXPECT_EQ(index, c.path.empty() ? 4 : c.index);
    EXPECT_EQ(static_cast<unsigned char>(path[MAX_PATH]), 0xCCu);
    std::vector<std::string> picks;
    for (auto& pick : substitute::IconPickLog()) picks.push_back(pick.path + " " + std::to_string(pick.index));
    EXPECT_EQ(picks, c.answer ? std::vector<std::string>{"C:\\old.ico 4"} : std::vector<std::string>{});
}

void NotNt() { substitute::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS); }
void DoubleByte() { substitute::UseCodePage(932); }
void Nothing() {}

INSTANTIATE_TEST_SUITE_P(
    Table, ChooseIconTest,
    ::testing::Values(
        ChooseCase{"Nt", Nothing, PickedIcon(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico", 2},
        ChooseCase{"NotNt", NotNt, PickedIcon(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico", 2},
        ChooseCase{"CancelledAfterWritingBoth", Nothing, IconPickAnswer{false, u"C:\\x.ico", 9, true}, "", 0},
        ChooseCase{"EmptyPath", Nothing, PickedIcon(u"", 1), "", 0},
        ChooseCase{"UnterminatedOnNt", Nothing, IconPickAnswer{true, u"C:\\x.ico", 1, false}, "", 0},
        ChooseCase{"UnterminatedOutsideNt", NotNt, IconPickAnswer{true, u"C:\\x.ico", 1, false}, "", 0},
        // Replaced by '?', the name would be of no file.
        ChooseCase{"NameOutsideTheCodePage", Nothing, PickedIcon(u"C:\\\u0418\u043a\u043e\u043d\u043a\u0438.ico", 1), "",
                   0},
        ChooseCase{"DoubleByteName", DoubleByte, PickedIcon(u"C:\\\u4e00\u4e01.ico", 1), "C:\\\x81\x40\x81\x41.ico", 1},
        // 200 units that need 400 bytes cannot come back in 260.
        ChooseCase{"DoubleByteNameTooLong", DoubleByte, PickedIcon(WideString(200, u'\u4e00'), 1), "", 0},
        ChooseCase{"NoVersion", [] { substitute::FailNext("GetVersionExA", ERROR_INVALID_PARAMETER); }, std::nullopt,
                   "", 0},
        ChooseCase{"NoLibrary", [] { substitute::FailNext("LoadLibraryA", ERROR_MOD_NOT_FOUND); }, std::nullopt, "", 0},
        ChooseCase{"NoEntry", [] { substitute::FailNext("GetProcAddress", ERROR_PROC_NOT_FOUND); }, std::nullopt, "",
                   0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
