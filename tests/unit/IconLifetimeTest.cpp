// Icons taken from files: which index yields one and how long each lives; tooltips on a UTF-8
// ANSI code page.
#include "app/MonitorSetup.h"
#include "monitor/ActivitySampler.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"
#include "tray/TrayPresenter.h"

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
        EXPECT_EQ(Describe(icon.Icon).starts_with("shared"), !GetParam().extracted);
        EXPECT_EQ(icon.Extracted, GetParam().extracted);
        EXPECT_EQ(icon.File, GetParam().file) << "the stored choice stays the role's";
        EXPECT_EQ(role == Active || substitute::TrayIcon()->icon == icon.Icon, true);
        StopSampler();
    }
}

INSTANTIATE_TEST_SUITE_P(Indexes, StoredIndexTest,
                         ::testing::Values(IndexCase{Several, -1, false}, IndexCase{One, -1, false},
                                           IndexCase{NoIcons, -1, false}, IndexCase{NoIcons, 0, false},
                                           IndexCase{Several, 2, true}, IndexCase{Several, 3, false},
                                           IndexCase{Several, -2, true}, IndexCase{Several, -4, false},
                                           IndexCase{One, 0, true}));

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

}  // namespace
