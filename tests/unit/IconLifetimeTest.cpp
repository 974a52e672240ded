// Icons taken from files: which index yields one, how long each lives, and the conversions of
// picked paths and tooltips on a UTF-8 ANSI code page.
#include "app/MonitorSetup.h"
#include "monitor/ActivitySampler.h"
#include "res/resource.h"
#include "settings/IconChooser.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"
#include "tray/TrayPresenter.h"

#include <cstring>

using substitute::DwordBytes;
using substitute::TextBytes;

namespace {

const char Several[] = "C:\\Icons\\several.ico";  // three icons, resource IDs 1 to 3
const char One[] = "C:\\Icons\\one.ico";
const char NoIcons[] = "C:\\readme.txt";

class IconLifetimeTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        substitute::SetTimeScale(0.05);
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
        substitute::AddIconFile(Several, 3);
        substitute::AddIconFile(One, 1);
        substitute::AddIconFile(NoIcons, 0);
        InitTrayRecord(FakeMainWindow());
    }
    void StoreIcon(TrayIconRole role, const char* file, DWORD index) {
        Store(role == Active ? ActiveIconFileValue : InactiveIconFileValue, REG_SZ, TextBytes(file));
        Store(role == Active ? ActiveIconIndexValue : InactiveIconIndexValue, REG_DWORD, DwordBytes(index));
    }
};

struct IndexCase {
    const char* file;
    LONG index;
    bool extracted;  // else the role's built-in icon
};

class StoredIndexTest : public IconLifetimeTest, public ::testing::WithParamInterface<IndexCase> {};

// -1 would make ExtractIconA count the icons; other negative indexes are resource IDs.
TEST_P(StoredIndexTest, OnlyARealIconReachesTheTrayForEitherRole) {
    for (TrayIconRole role : {Active, Inactive}) {
        substitute::Reset();
        SetUp();
        StoreIcon(role, GetParam().file, static_cast<DWORD>(GetParam().index));
        RunMonitorSetup();
        const IconRole& icon = RoleIcon(role);
        EXPECT_EQ(Describe(icon.Icon), GetParam().extracted ? std::string(GetParam().file) + "#" +
                                                                  std::to_string(static_cast<UINT>(GetParam().index))
                                                            : "shared " + std::to_string(DefaultIconId(role)));
        EXPECT_EQ(icon.Extracted, GetParam().extracted);
        EXPECT_EQ(icon.File, GetParam().file) << "the stored choice stays the role's";
        if (role == Inactive) {
            EXPECT_EQ(substitute::TrayIcon()->icon, icon.Icon);
        }
        StopSampler();
    }
}

INSTANTIATE_TEST_SUITE_P(Indexes, StoredIndexTest,
                         ::testing::Values(IndexCase{Several, -1, false}, IndexCase{One, -1, false},
                                           IndexCase{NoIcons, -1, false}, IndexCase{NoIcons, 0, false},
                                           IndexCase{Several, 2, true}, IndexCase{Several, 3, false},
                                           IndexCase{Several, -2, true}, IndexCase{Several, -4, false},
                                           IndexCase{One, -1, false}, IndexCase{One, 0, true}));

// Each shell restart replaces both file icons; the replaced ones are destroyed once the shell
// shows their successors, never while it shows them (the substitute reports either misuse).
TEST_F(IconLifetimeTest, ShellRestartsKeepTheLiveFileIconsConstant) {
    StoreIcon(Active, Several, 0);
    StoreIcon(Inactive, Several, 1);
    RunMonitorSetup();
    for (int restart = 0; restart < 1000; ++restart) {
        if (restart % 2) substitute::RestartShell();  // and sometimes the shell kept its icon
        RunMonitorSetup();
        ASSERT_LE(substitute::LiveFileIcons(), 3u) << "after restart " << restart;
    }
    EXPECT_EQ(Describe(substitute::TrayIcon()->icon), std::string(Several) + "#1");
}

TEST_F(IconLifetimeTest, AHeldReplacementWaitsUntilReleased) {
    StoreIcon(Inactive, Several, 1);
    RunMonitorSetup();
    HICON first = IconPair.Inactive.Icon;
    HoldReplacedIcons(true);
    substitute::RestartShell();
    RunMonitorSetup();
    EXPECT_FALSE(substitute::DescribeIcon(first)->destroyed) << "a dialog may still show it";
    HoldReplacedIcons(false);
    EXPECT_TRUE(substitute::DescribeIcon(first)->destroyed);
    EXPECT_EQ(substitute::LiveFileIcons(), 1u);
}

HICON PreviewOf(HWND dialog, int control) {
    return reinterpret_cast<HICON>(SendMessageA(GetDlgItem(dialog, control), STM_GETICON, 0, 0));
}

// OKs with new file icons, Cancels, Default Icons and shell restarts while the dialog is open:
// every replaced file icon is destroyed once, none while the tray or a preview still shows it.
TEST_F(IconLifetimeTest, SettingsRoundsKeepTheLiveFileIconsConstant) {
    substitute::CreateRegistryKey(RunKeyPath);
    StoreIcon(Inactive, Several, 0);
    RunMonitorSetup();
    for (int round = 0; round < 1000; ++round) {
        HWND dialog = substitute::MakeDialog(FakeMainWindow(), SettingsDialogProc,
                                             {IDC_AUTOSTART, IDC_BLINK_DURATION, IDC_DISK, IDC_ACTIVE_PREVIEW, IDC_INACTIVE_PREVIEW});
        SettingsDialogProc(dialog, WM_INITDIALOG, 0, 0);
        int browse = round % 2 ? IDC_BROWSE_ACTIVE : IDC_BROWSE_INACTIVE;
        substitute::ScriptIconPick(substitute::PickedIcon(u"C:\\Icons\\several.ico", round % 3));
        SettingsDialogProc(dialog, WM_COMMAND, browse, 0);
        if (round % 4 == 3) SettingsDialogProc(dialog, WM_COMMAND, IDC_DEFAULT_ICONS, 0);
        if (round % 5 == 0) {
            substitute::RestartShell();
            RunMonitorSetup();
        }
        for (int control : {IDC_ACTIVE_PREVIEW, IDC_INACTIVE_PREVIEW}) {
            auto shown = substitute::DescribeIcon(PreviewOf(dialog, control));
            ASSERT_FALSE(shown && shown->destroyed) << "a preview shows a destroyed icon in round " << round;
        }
        SettingsDialogProc(dialog, WM_COMMAND, round % 4 == 2 ? IDCANCEL : IDOK, 0);
        DestroyWindow(dialog);
        ASSERT_LE(substitute::LiveFileIcons(), 3u) << "after round " << round;
    }
}

struct TooltipCase {
    size_t asciiBytes;     // "LogicalDisk(" and as many "a" as it takes
    const char* ending;    // one character of two, three or four bytes in UTF-8, then more
    size_t expectedBytes;  // what reaches szTip
};

class Utf8TooltipTest : public IconLifetimeTest, public ::testing::WithParamInterface<TooltipCase> {};

TEST_P(Utf8TooltipTest, IsCutAtAWholeCharacter) {
    substitute::UseCodePage(CP_UTF8);
    std::string name = "LogicalDisk(" + std::string(GetParam().asciiBytes - 12, 'a') + GetParam().ending;
    SetTooltipText(Wide(name));
    TrayNotify(NIM_ADD, nullptr);
    std::string tip = substitute::TrayIcon()->tip;
    EXPECT_EQ(tip, name.substr(0, GetParam().expectedBytes));
}

INSTANTIATE_TEST_SUITE_P(Widths, Utf8TooltipTest,
                         ::testing::Values(TooltipCase{61, "\xD0\x96z", 63}, TooltipCase{62, "\xD0\x96", 62},
                                           TooltipCase{61, "\xE2\x82\xAC", 61}, TooltipCase{60, "\xE2\x82\xAC", 63},
                                           TooltipCase{60, "\xF0\x9F\x98\x80", 60},
                                           TooltipCase{59, "\xF0\x9F\x98\x80)", 63}));

struct PickCase {
    UINT codePage;
    std::basic_string<WCHAR> picked;
    const char* expected;  // null: the pick is refused
};

class ChooserPageTest : public IconLifetimeTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(ChooserPageTest, TakesAPathOnlyWhenItConvertsExactly) {
    substitute::UseCodePage(GetParam().codePage);
    substitute::ScriptIconPick(substitute::PickedIcon(GetParam().picked, 2));
    char path[MAX_PATH] = "C:\\old.ico";
    int index = 0;
    BOOL picked = ChooseIcon(FakeMainWindow(), path, sizeof path, &index);
    EXPECT_EQ(picked != FALSE, GetParam().expected != nullptr);
    EXPECT_STREQ(path, GetParam().expected ? GetParam().expected : "C:\\old.ico");
    EXPECT_EQ(index, GetParam().expected ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ChooserPageTest,
    ::testing::Values(PickCase{CP_UTF8, u"C:\\\u0418\u043A\u043E\u043D\u043A\u0438\\\u76EE.ico",
                               "C:\\\xD0\x98\xD0\xBA\xD0\xBE\xD0\xBD\xD0\xBA\xD0\xB8\\\xE7\x9B\xAE.ico"},
                      PickCase{CP_UTF8, u"C:\\\xD83D\xDE00.ico", "C:\\\xF0\x9F\x98\x80.ico"},
                      PickCase{CP_UTF8, std::basic_string<WCHAR>(u"C:\\a") + WCHAR{0xD800} + u".ico", nullptr},
                      PickCase{1252, u"C:\\\u0418.ico", nullptr}, PickCase{1252, u"C:\\\u00E9.ico", "C:\\\xE9.ico"}));

}  // namespace
