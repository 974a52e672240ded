#include "tests/unit/Machine.h"

using substitute::Sample;

namespace {

class MonitorSetupTest : public MachineTest {};

// What the last run left: the icon and tip it added (+) or had refused (-), the period, the
// watched path, the catalogue's size and each role's file#index=icon.
std::string Monitor() {
    auto added = substitute::NotifyLog().back();
    std::string out = (added.result ? "+" : "-") + substitute::DescribeIcon(added.record.hIcon) + " [" +
                      added.record.szTip + "] " + std::to_string(BlinkDuration) + " " +
                      std::string(SelectedCounterPath.begin(), SelectedCounterPath.end()) + " " +
                      std::to_string(CounterCatalogue.size());
    for (IconRole* role : {&IconPair.Active, &IconPair.Inactive})
        out += " " + role->File + "#" + std::to_string(role->Index) + "=" + substitute::DescribeIcon(role->Icon);
    return out;
}

// A rerun (the shell restarted) stops the sampler, waiting twice the period, and starts another,
// which runs only because the set-up sets RunFlag again; when the shell kept its icon, the add is
// refused and a modify brings the icon up to date.
TEST_F(MonitorSetupTest, EachRunAddsTheInactiveIconAndStartsASamplerOnTotalAtTheStartPeriod) {
    const std::string first =
        "+shared 114 [LogicalDisk(_Total)] 100 \\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer 3"
        " #0=shared 113 #0=shared 114";
    RunMonitorSetup();
    EXPECT_EQ(Monitor(), first);
    ASSERT_TRUE(substitute::WaitForCollects(3));
    RunMonitorSetup();
    EXPECT_EQ(Monitor(), first);
    EXPECT_EQ(substitute::NotifyLog()[1].message, NIM_ADD);
    EXPECT_EQ(substitute::NotifyLog()[1].result, FALSE);
    substitute::ScriptCounter(u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer", {Sample{150}});
    ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + 3));
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(113));
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
}

// A rerun starts again from the defaults and the store of that moment; only the period in force
// is kept when the store has none. With no disks at all the tooltip says the counters are missing.
TEST_F(MonitorSetupTest, EachRunStartsFromTheDefaultsLeavingNothingOfTheLastRun) {
    Store(SelectedDiskCounterValue, REG_BINARY, substitute::WideTextBytes(u"PhysicalDisk(0 C:)"));
    StoreIcon(Active, DiskIcons, 1);
    StoreIcon(Inactive, DiskIcons, 2);
    Store(BlinkDurationValue, REG_DWORD, substitute::DwordBytes(20));
    RunMonitorSetup();
    EXPECT_EQ(Monitor(),
              "+C:\\Icons\\disk.ico#2 [PhysicalDisk(0 C:)] 50 \\PhysicalDisk(0 C:)\\Avg. Disk Bytes/Transfer 3"
              " C:\\Icons\\disk.ico#1=C:\\Icons\\disk.ico#1 C:\\Icons\\disk.ico#2=C:\\Icons\\disk.ico#2");
    // The shell restarts while the settings key cannot be read and the disks are gone.
    substitute::SeedDiskObjects({}, {});
    substitute::RestartShell();
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    RunMonitorSetup();
    EXPECT_EQ(Monitor(), "+shared 114 [Disk counters unavailable (see README.txt)] 50  0 #0=shared 113 #0=shared 114");
    ASSERT_TRUE(substitute::JoinThreads());  // with nothing to watch the sampler ends by itself
    EXPECT_FALSE(SamplerRecorded());
}

// At logon the notification area may not be there yet: the refused add is retried from the main
// window's timer, every second for a minute and then every ten seconds, until the shell takes it.
// Meanwhile the sampler's changes are refused too and its state stays, so the icon that appears
// shows the state as it is; a tick queued before the retries ended adds nothing.
TEST_F(MonitorSetupTest, ARefusedAddIsRetriedFromTheTimerUntilTheShellTakesIt) {
    auto period = [] {
        return substitute::TimerPeriod(MainWindow, TrayAddRetryTimer).value_or(0);
    };
    substitute::SetShellRunning(false);
    substitute::ScriptCounter(u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer", {Sample{0}, Sample{150}});
    RunMonitorSetup();
    ASSERT_TRUE(substitute::WaitForCollects(4));  // the busy disk's change is refused, again and again
    EXPECT_EQ(ActivityState, Inactive);
    for (int tick = 1; tick <= 60; ++tick, RetryActivityIconAdd()) EXPECT_EQ(period(), 1000u);
    EXPECT_EQ(period(), 10000u);
    substitute::SetShellRunning(true);
    RetryActivityIconAdd();
    RetryActivityIconAdd();
    EXPECT_EQ(period(), 0u);
    EXPECT_EQ(substitute::NotifyLog().back().message, NIM_ADD);
    EXPECT_EQ(substitute::NotifyLog().back().result, TRUE);
    EXPECT_EQ(substitute::TrayIcon()->tip, "LogicalDisk(_Total)");
    ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + 3));  // now the sampler's change shows
    EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(113));
}

}  // namespace
