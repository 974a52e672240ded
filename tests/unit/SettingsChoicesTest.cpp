#include "settings/SettingsChoices.h"

#include "app/MonitorSetup.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "tests/unit/Machine.h"

namespace {

class SettingsChoicesTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(FakeMainWindow());
        substitute::SetTimeScale(0.05);  // a 100 ms period lasts 5 ms
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:", u"1 D:"});
        substitute::AddIconFile("C:\\Icons\\disk.ico", 3);
    }
};

// OK without a change keeps watching the disk being watched, even one the set-up found by part of
// its stored name, and stores its whole name.
TEST_F(SettingsChoicesTest, OkWithoutAChangeKeepsWatchingTheSameDisk) {
    for (const char16_t* stored : {static_cast<const char16_t*>(nullptr), u"(1 D"}) {
        substitute::RemoveRegistryValue(SettingsKeyPath, SelectedDiskCounterValue);
        if (stored) Store(SelectedDiskCounterValue, REG_BINARY, substitute::WideTextBytes(stored));
        RunMonitorSetup();
        const WideString watched = SelectedCounterPath;
        SettingsChoices choices = CurrentSettingsChoices();
        ASSERT_TRUE(choices.Disk);
        EXPECT_EQ(AsciiText(*choices.Disk), stored ? "PhysicalDisk(1 D:)" : "LogicalDisk(_Total)");
        ApplySettingsChoices(choices);
        EXPECT_EQ(SelectedCounterPath, watched);
        EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, substitute::WideTextBytes(*choices.Disk));
    }
    substitute::SeedDiskObjects({}, {});
    RunMonitorSetup();
    EXPECT_FALSE(CurrentSettingsChoices().Disk);
}

// New icons show at once, in one modify with the icon of the state last reported; while the shell
// refuses the icon OK sends nothing, and the icon that finally appears is the new one.
TEST_F(SettingsChoicesTest, OkShowsTheNewIconAtOnceOnlyWhileTheIconIsShown) {
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown);
        substitute::SetShellRunning(shown);
        RunMonitorSetup();
        const size_t before = substitute::NotifyLog().size();
        SettingsChoices choices = CurrentSettingsChoices();
        choices.Icons[Inactive] = {"C:\\Icons\\disk.ico", 2};
        choices.Disk = u"PhysicalDisk(0 C:)";
        ApplySettingsChoices(choices);
        auto calls = substitute::NotifyLog();
        ASSERT_EQ(calls.size(), before + (shown ? 1 : 0));
        if (!shown) {
            substitute::SetShellRunning(true);
            RetryActivityIconAdd();
        }
        EXPECT_EQ(Describe(substitute::TrayIcon()->icon), "C:\\Icons\\disk.ico#2");
        EXPECT_EQ(substitute::TrayIcon()->tip, "PhysicalDisk(0 C:)");
        StopSampler();
    }
}

// The object names are translated on a localized system, so the watched disk's name, its stored
// bytes and its tooltip carry text of the system's code page through a choice, a restart and the
// reselection that follows.
TEST_F(SettingsChoicesTest, TranslatedDiskNamesSurviveAChoiceAndARestart) {
    const struct {
        UINT codePage;
        WideString first, second, counter;
        std::string tip;  // of the chosen second object's "0 C:" entry, in the code page
    } cases[] = {
        {1252, u"Logischer Datentr\u00E4ger", u"Physischer Datentr\u00E4ger", u"Mittlere Bytes/\u00DCbertragung",
         "Physischer Datentr\xE4ger(0 C:)"},
        {1251, u"\u041B\u043E\u0433\u0438\u0447\u0435\u0441\u043A\u0438\u0439 \u0434\u0438\u0441\u043A",
         u"\u0424\u0438\u0437\u0438\u0447\u0435\u0441\u043A\u0438\u0439 \u0434\u0438\u0441\u043A",
         u"\u0421\u0440\u0435\u0434\u043D\u0435\u0435", "\xD4\xE8\xE7\xE8\xF7\xE5\xF1\xEA\xE8\xE9 \xE4\xE8\xF1\xEA(0 C:)"},
        // Ideographs of the substitute's double-byte table, two bytes each on the page.
        {932, u"\u4E0A\u4F4D", u"\u4E0B\u4F4D", u"\u5E73\u5747", "\x81\x4B\x82\xD2(0 C:)"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        substitute::Reset();
        ResetProgramState();
        InitTrayRecord(FakeMainWindow());
        substitute::UseCodePage(c.codePage);
        substitute::SetPerfName(236, c.first);
        substitute::SetPerfName(234, c.second);
        substitute::SetPerfName(224, c.counter);
        substitute::AddPerfObject(c.first, {u"C:", u"_Total"}, {c.counter});
        substitute::AddPerfObject(c.second, {u"0 C:", u"1 D:"}, {c.counter});
        const WideString chosen = c.second + u"(0 C:)";
        RunMonitorSetup();
        EXPECT_EQ(*CurrentSettingsChoices().Disk, c.first + u"(_Total)");

        SettingsChoices choices = CurrentSettingsChoices();
        choices.Disk = chosen;
        ApplySettingsChoices(choices);
        std::vector<BYTE> bytes;
        for (WCHAR unit : chosen) bytes.insert(bytes.end(), {static_cast<BYTE>(unit), static_cast<BYTE>(unit >> 8)});
        EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, bytes);

        substitute::RestartShell();
        RunMonitorSetup();
        EXPECT_EQ(SelectedCounterPath, u"\\" + chosen + u"\\" + c.counter);
        EXPECT_EQ(*CurrentSettingsChoices().Disk, chosen);
        ASSERT_TRUE(substitute::TrayIcon());
        EXPECT_EQ(substitute::TrayIcon()->tip, c.tip);
        StopSampler();
    }
}

// The edit box's text is read as a number (as the C library's atol would, but never wrapped
// round) and held within 100..2000.
TEST(BlinkDurationFromTextTest, IsReadAsANumberAndHeldWithinTheRange) {
    const std::pair<const char*, DWORD> table[] = {
        {"150ms", 150}, {" 300", 300}, {"\t+1999x", 1999}, {"\r500", 500}, {"", 100}, {"fast", 100}, {"50", 100},
        {"2500", 2000}, {"-5", 2000}, {"-0", 100}, {"- 5", 100}, {"4294967396", 2000}, {"-4294967295", 2000}};
    for (auto [text, period] : table) EXPECT_EQ(BlinkDurationFromText(text), period) << '"' << text << '"';
}

}  // namespace
