#include "app/MonitorSetup.h"

#include "tray/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"

#include <chrono>
#include <functional>
#include <thread>

using substitute::DwordBytes;
using substitute::Sample;
using substitute::TextBytes;
using substitute::WideTextBytes;
using ::testing::Each;
using ::testing::IsEmpty;

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";



// Waits until the shell has been sent `count` calls in all; false after 20 s.
bool WaitForNotifies(size_t count) {
    for (int i = 0; i < 2000; ++i) {
        if (substitute::NotifyLog().size() >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class MonitorSetupTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(FakeMainWindow());
        // A 100 ms period lasts 5 ms.
        substitute::SetTimeScale(0.05);
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
        substitute::AddIconFile("C:\\Icons\\disk.ico", 3);
    }
};

TEST_F(MonitorSetupTest, FirstRunAddsTheIconAsInactiveAndStartsSampling) {
    RunMonitorSetup();
    EXPECT_THAT(substitute::WaitLog(), IsEmpty());  // nothing was recorded, nothing stopped
    auto calls = substitute::NotifyLog();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[0].record.hIcon, substitute::SharedIcon(114));
    EXPECT_STREQ(calls[0].record.szTip, "LogicalDisk(_Total)");
    EXPECT_EQ(RunFlag, 1);
    ASSERT_TRUE(substitute::WaitForCollects(3));
    EXPECT_TRUE(SamplerRecorded());
    EXPECT_EQ(substitute::AddedCounterPaths(), std::vector<WideString>{TotalPath});
}

TEST_F(MonitorSetupTest, RerunWhileASamplerRunsStopsItReaddsTheIconAndSamplesAgain) {
    RunMonitorSetup();
    ASSERT_TRUE(substitute::WaitForCollects(3));
    substitute::RestartShell();
    RunMonitorSetup();

    auto waits = substitute::WaitLog();
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(waits[0].timeout, 200u);
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
    ASSERT_TRUE(substitute::TrayIcon());
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(114));

    // The stop cleared RunFlag; the new sampler runs only because the set-up set it again.
    substitute::ScriptCounter(TotalPath, {Sample{150}});
    ASSERT_TRUE(WaitForNotifies(3));
    auto calls = substitute::NotifyLog();
    EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[1].result, TRUE);
    EXPECT_EQ(calls[2].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(calls[2].record.hIcon, substitute::SharedIcon(113));
    EXPECT_EQ(CounterCatalogue.size(), 3u);
}

TEST_F(MonitorSetupTest, RerunAfterTheSamplerEndedByItselfStartsANewOne) {
    substitute::FailNext("PdhAddCounterW", PDH_CSTATUS_NO_COUNTER);
    RunMonitorSetup();
    ASSERT_TRUE(substitute::JoinThreads());
    ASSERT_FALSE(SamplerRecorded());

    RunMonitorSetup();
    EXPECT_THAT(substitute::WaitLog(), IsEmpty());
    ASSERT_TRUE(substitute::WaitForCollects(3));
    EXPECT_TRUE(SamplerRecorded());
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
}

// What one run makes of the counter service and the store: the icon it adds, with which
// tooltip, the path the sampler watches and the period it sleeps.
struct SetupCase {
    const char* name;
    std::function<void()> arrange;
    std::string icon;
    std::string tooltip;
    WideString watched;  // empty: the sampler has nothing to watch and ends
    DWORD blink;
};
void PrintTo(const SetupCase& c, std::ostream* os) { *os << c.name; }

class SetupTableTest : public MonitorSetupTest, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(SetupTableTest, AppliesTheStoredSettingsOverTheDefaults) {
    const SetupCase& c = GetParam();
    c.arrange();
    RunMonitorSetup();
    auto calls = substitute::NotifyLog();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(Describe(calls[0].record.hIcon), c.icon);
    EXPECT_STREQ(calls[0].record.szTip, c.tooltip.c_str());
    EXPECT_EQ(BlinkDuration, c.blink);

    if (c.watched.empty()) {
        ASSERT_TRUE(substitute::JoinThreads());
        EXPECT_FALSE(SamplerRecorded());
    } else {
        ASSERT_TRUE(substitute::WaitForCollects(3));
        StopSampler();
        EXPECT_THAT(substitute::AddedCounterPaths(), ::testing::ElementsAre(c.watched));
        std::vector<DWORD> periods;
        for (auto& sleep : substitute::SleepLog()) periods.push_back(sleep.milliseconds);
        EXPECT_THAT(periods, Each(c.blink));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SetupTableTest,
    ::testing::Values(
        SetupCase{"NoSettingsKey", [] {}, "shared 114", "LogicalDisk(_Total)", TotalPath, 100},
        SetupCase{"SavedSelectionOverridesTotal",
                  [] { Store(SelectedDiskCounterValue, REG_BINARY, WideTextBytes(u"PhysicalDisk(0 C:)")); },
                  "shared 114", "PhysicalDisk(0 C:)", u"\\PhysicalDisk(0 C:)\\Avg. Disk Bytes/Transfer", 100},
        SetupCase{"SavedSelectionMatchingNothingKeepsTotal",
                  [] { Store(SelectedDiskCounterValue, REG_BINARY, WideTextBytes(u"E:")); }, "shared 114",
                  "LogicalDisk(_Total)", TotalPath, 100},
        SetupCase{"NoTotalAndNoMatchWatchesEntryZeroWithoutTooltip",
                  [] {
                      substitute::SeedDiskObjects({u"C:", u"D:"}, {});
                      Store(SelectedDiskCounterValue, REG_BINARY, WideTextBytes(u"E:"));
                  },
                  "shared 114", "", u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer", 100},
        SetupCase{"StoredInactiveIconIsTheOneAdded",
                  [] {
                      Store(InactiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
                      Store(InactiveIconIndexValue, REG_DWORD, DwordBytes(2));
                  },
                  "C:\\Icons\\disk.ico#2", "LogicalDisk(_Total)", TotalPath, 100},
        SetupCase{"StoredBlinkDurationIsClamped",
                  [] { Store(BlinkDurationValue, REG_DWORD, DwordBytes(20)); }, "shared 114",
                  "LogicalDisk(_Total)", TotalPath, 50},
        SetupCase{"SettingsKeyThatDoesNotOpenLeavesTheDefaults",
                  [] {
                      Store(BlinkDurationValue, REG_DWORD, DwordBytes(400));
                      Store(InactiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
                      substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
                  },
                  "shared 114", "LogicalDisk(_Total)", TotalPath, 100},
        SetupCase{"CounterServiceUnusableStillAddsTheIcon",
                  [] {
                      substitute::FailNext("PdhOpenQueryA", PDH_INVALID_DATA);
                      Store(SelectedDiskCounterValue, REG_BINARY, {});
                  },
                  "shared 114", "", u"", 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorSetupTest, ABlinkDurationInForceSurvivesARunThatFindsNone) {
    Store(BlinkDurationValue, REG_DWORD, DwordBytes(2500));
    RunMonitorSetup();
    EXPECT_EQ(BlinkDuration, 2500u);

    substitute::RemoveRegistryValue(SettingsKeyPath, BlinkDurationValue);
    RunMonitorSetup();
    EXPECT_EQ(BlinkDuration, 2500u);

    // As the Settings dialog sets it, between a stop and a start.
    StopSampler();
    BlinkDuration = 700;
    StartSampler();
    substitute::RemoveRegistryKey(SettingsKeyPath);
    RunMonitorSetup();
    EXPECT_EQ(BlinkDuration, 700u);
}

TEST_F(MonitorSetupTest, ActivityStateCarriesOverSoABusyDiskStaysShownInactive) {
    // An earlier sampler saw the disk busy; it still is.
    ActivityState = Active;
    substitute::ScriptCounter(TotalPath, {Sample{150}});
    RunMonitorSetup();
    ASSERT_TRUE(substitute::WaitForCollects(5));
    StopSampler();
    EXPECT_EQ(ActivityState, Active);
    auto calls = substitute::NotifyLog();
    ASSERT_EQ(calls.size(), 1u);  // the add, and no change of state to report since
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(114));
}

TEST_F(MonitorSetupTest, EachRunStartsAgainFromTheStoreOfThatMoment) {
    Store(SelectedDiskCounterValue, REG_BINARY, WideTextBytes(u"PhysicalDisk(0 C:)"));
    Store(ActiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    Store(ActiveIconIndexValue, REG_DWORD, DwordBytes(1));
    Store(InactiveIconIndexValue, REG_DWORD, DwordBytes(2));
    RunMonitorSetup();
    EXPECT_EQ(Describe(IconPair.Active.Icon), "C:\\Icons\\disk.ico#1");
    EXPECT_EQ(IconPair.Inactive.Index, 2);
    EXPECT_EQ(TooltipText, "PhysicalDisk(0 C:)");

    substitute::RemoveRegistryKey(SettingsKeyPath);
    substitute::RestartShell();
    RunMonitorSetup();
    EXPECT_EQ(Describe(IconPair.Active.Icon), "shared 113");
    EXPECT_EQ(Describe(IconPair.Inactive.Icon), "shared 114");
    EXPECT_EQ(IconPair.Active.File, "");
    EXPECT_EQ(IconPair.Active.Index, 0);
    EXPECT_EQ(IconPair.Inactive.Index, 0);
    EXPECT_EQ(TooltipText, "LogicalDisk(_Total)");
    EXPECT_EQ(SelectedCounterPath, TotalPath);
    EXPECT_EQ(CounterCatalogue.size(), 3u);
    EXPECT_STREQ(substitute::NotifyLog().back().record.szTip, "LogicalDisk(_Total)");
}

TEST_F(MonitorSetupTest, ARunThatFindsNoEntriesEmptiesTheSelectionAndTooltip) {
    RunMonitorSetup();
    substitute::AddPerfObject(u"LogicalDisk", {}, {});
    substitute::AddPerfObject(u"PhysicalDisk", {}, {});
    substitute::RestartShell();
    RunMonitorSetup();
    EXPECT_THAT(CounterCatalogue, IsEmpty());
    EXPECT_EQ(SelectedCounterPath, u"");
    EXPECT_STREQ(substitute::NotifyLog().back().record.szTip, "");
    ASSERT_TRUE(substitute::JoinThreads());
}

}  // namespace
