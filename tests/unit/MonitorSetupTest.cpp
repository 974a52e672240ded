#include "app/MonitorSetup.h"

#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"
#include "tray/AppHandles.h"

using substitute::DwordBytes;
using substitute::Sample;
using substitute::TextBytes;
using substitute::WideTextBytes;
using ::testing::Each;
using ::testing::ElementsAre;

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";

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

    // What the last run left: the icon and tip it added, the period, the watched path, the catalogue
    // and each role's file#index=icon.
    static std::string Monitor() {
        auto added = substitute::NotifyLog().back();
        std::string out = (added.message == NIM_ADD ? "add " : "? ") + Describe(added.record.hIcon) + " [" +
                          added.record.szTip + "] " + std::to_string(BlinkDuration) + " " +
                          AsciiText(SelectedCounterPath) + " " +
                          std::to_string(CounterCatalogue.size());
        for (IconRole* role : {&IconPair.Active, &IconPair.Inactive})
            out += " " + role->File + "#" + std::to_string(role->Index) + "=" + Describe(role->Icon);
        return out;
    }
};

TEST_F(MonitorSetupTest, FirstRunAddsTheInactiveIconAndSamplesTotalAtTheStartPeriod) {
    RunMonitorSetup();
    EXPECT_EQ(Monitor(), "add shared 114 [LogicalDisk(_Total)] 100 \\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer 3"
                         " #0=shared 113 #0=shared 114");
    ASSERT_TRUE(substitute::WaitForCollects(3));
    StopSampler();
    EXPECT_EQ(substitute::WaitLog().size(), 1u);  // only this stop waited
    EXPECT_THAT(substitute::AddedCounterPaths(), ElementsAre(TotalPath));
    std::vector<DWORD> periods;
    for (auto& sleep : substitute::SleepLog()) periods.push_back(sleep.milliseconds);
    EXPECT_THAT(periods, Each(100u));
}

// A rerun starts again from the defaults and the store of that moment; only the period in force
// is kept when the store has none.
TEST_F(MonitorSetupTest, EachRunStartsFromTheDefaultsLeavingNothingOfTheLastRun) {
    Store(SelectedDiskCounterValue, REG_BINARY, WideTextBytes(u"PhysicalDisk(0 C:)"));
    Store(ActiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    Store(ActiveIconIndexValue, REG_DWORD, DwordBytes(1));
    Store(InactiveIconFileValue, REG_SZ, TextBytes("C:\\Icons\\disk.ico"));
    Store(InactiveIconIndexValue, REG_DWORD, DwordBytes(2));
    Store(BlinkDurationValue, REG_DWORD, DwordBytes(20));
    RunMonitorSetup();
    EXPECT_EQ(Monitor(), "add C:\\Icons\\disk.ico#2 [PhysicalDisk(0 C:)] 50 "
                         "\\PhysicalDisk(0 C:)\\Avg. Disk Bytes/Transfer 3"
                         " C:\\Icons\\disk.ico#1=C:\\Icons\\disk.ico#1 C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2");

    // The shell restarts while the settings key cannot be read and the disks are gone.
    substitute::AddPerfObject(u"LogicalDisk", {}, {});
    substitute::AddPerfObject(u"PhysicalDisk", {}, {});
    substitute::RestartShell();
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    RunMonitorSetup();
    EXPECT_EQ(Monitor(), "add shared 114 [] 50  0 #0=shared 113 #0=shared 114");
    ASSERT_TRUE(substitute::JoinThreads());  // with nothing to watch the sampler ends by itself
    EXPECT_FALSE(SamplerRecorded());
}

TEST_F(MonitorSetupTest, RerunWhileASamplerRunsStopsItAndStartsAnotherThatReports) {
    RunMonitorSetup();
    ASSERT_TRUE(substitute::WaitForCollects(3));
    substitute::RestartShell();
    RunMonitorSetup();
    ASSERT_EQ(substitute::WaitLog().size(), 1u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout, 200u);
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
    EXPECT_EQ(Monitor(), "add shared 114 [LogicalDisk(_Total)] 100 \\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer 3"
                         " #0=shared 113 #0=shared 114");
    // The stop cleared RunFlag; the new sampler runs only because the set-up set it again.
    substitute::ScriptCounter(TotalPath, {Sample{150}});
    ASSERT_TRUE(Eventually([] { return substitute::NotifyLog().size() == 3; }));
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(113));
}

// At logon the notification area may not be there yet: the refused add is retried from the main
// window's timer, every second for a minute and then every ten seconds, until the shell takes it.
// Meanwhile the sampler's changes are refused too and its state stays, so the icon that appears
// shows the state as it is, with the tooltip; the retries end with the one add that succeeds.
TEST_F(MonitorSetupTest, ARefusedAddIsRetriedFromTheTimerUntilTheShellTakesIt) {
    auto period = [] { return substitute::TimerPeriod(MainWindow, TrayAddRetryTimer); };
    auto adds = [] {
        std::string out;
        for (auto& call : substitute::NotifyLog())
            if (call.message == NIM_ADD) out += call.result ? "+" : "-";
        return out;
    };
    substitute::SetShellRunning(false);
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}});
    RunMonitorSetup();
    EXPECT_EQ(period(), 1000u);
    // The sampler's state, read as the sampler writes it.
    auto reported = [] {
        LockHolder hold(SamplerLock);
        return ActivityState;
    };
    ASSERT_TRUE(substitute::WaitForCollects(4));  // the busy disk's change is refused, again and again
    EXPECT_EQ(reported(), Inactive);
    for (int tick = 1; tick <= 60; ++tick) {
        RetryActivityIconAdd();
        EXPECT_EQ(period(), tick < 60 ? 1000u : 10000u) << tick;
    }
    EXPECT_FALSE(substitute::TrayIcon());
    substitute::SetShellRunning(true);
    RetryActivityIconAdd();
    EXPECT_FALSE(period());
    EXPECT_EQ(adds(), std::string(61, '-') + "+");
    ASSERT_TRUE(substitute::TrayIcon());
    EXPECT_EQ(substitute::TrayIcon()->tip, "LogicalDisk(_Total)");
    // Now the sampler's change shows.
    ASSERT_TRUE(Eventually([&] { return reported() == Active; }));
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(113));
    // A tick already queued when the retries ended adds nothing.
    StopSampler();
    RetryActivityIconAdd();
    EXPECT_EQ(adds(), std::string(61, '-') + "+");
    // The retry shows the state the sampler last reported, here the active icon.
    substitute::RestartShell();
    substitute::SetShellRunning(false);
    RunMonitorSetup();
    StopSampler();
    substitute::SetShellRunning(true);
    RetryActivityIconAdd();
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(113));
    EXPECT_FALSE(period());
}

// A restart broadcast the shell did not need finds the icon there: the refused add is followed by
// a modify that brings it up to date, and nothing is retried. One that comes while the retries run
// ends them when its own add succeeds.
TEST_F(MonitorSetupTest, ARerunEndsTheRetriesAndAnIconStillShownIsModified) {
    RunMonitorSetup();
    RunMonitorSetup();
    auto calls = substitute::NotifyLog();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[1].message == NIM_ADD && !calls[1].result && calls[2].message == NIM_MODIFY && calls[2].result);
    EXPECT_FALSE(substitute::TimerPeriod(MainWindow, TrayAddRetryTimer));

    substitute::SetShellRunning(false);
    RunMonitorSetup();
    EXPECT_TRUE(substitute::TimerPeriod(MainWindow, TrayAddRetryTimer));
    substitute::SetShellRunning(true);
    RunMonitorSetup();
    EXPECT_FALSE(substitute::TimerPeriod(MainWindow, TrayAddRetryTimer));
    EXPECT_TRUE(substitute::TrayIcon());
    StopTrayAddRetry();
}

}  // namespace
