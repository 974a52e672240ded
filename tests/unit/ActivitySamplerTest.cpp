#include "tests/unit/Machine.h"

#include <chrono>
#include <thread>

using substitute::Sample;

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";

// The catalogue built, the inactive icon shown.
class ActivitySamplerTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        substitute::SetTimeScale(1);
        BuildCounterCatalogue();
        BlinkDuration = 1;
        TrayNotify(NIM_ADD, IconPair.Inactive.Icon);
    }

    // Runs one sampler until it has begun `collects` more collects, then stops it and waits for it.
    static void RunSampler(size_t collects) {
        size_t target = substitute::CollectCount() + collects;
        StartSampler();
        ASSERT_TRUE(substitute::WaitForCollects(target));
        StopSampler();
        ASSERT_TRUE(substitute::JoinThreads());
    }

    // The icons the tray was sent after the add, as "A" and "I"; lower case when the shell refused.
    static std::string Notified() {
        std::string out;
        for (auto& call : substitute::NotifyLog())
            if (call.message == NIM_MODIFY)
                out += (call.record.hIcon == IconPair.Active.Icon ? "Aa" : "Ii")[!call.result];
        return out;
    }
};

// With nothing selected the sampler watches _Total; a second start while one runs starts none.
TEST_F(ActivitySamplerTest, NotifiesOncePerChangeOfStateSleepsThePeriodAndStopWaitsTwiceIt) {
    substitute::ScriptCounter(TotalPath, {
        Sample{500},                                     // the first collect is never compared
        Sample{100}, Sample{101}, Sample{150},           // above 100 is busy
        Sample{0, PDH_NO_DATA}, Sample{0, PDH_NO_DATA},  // no data: no read, the state stays
        Sample{50, 0, PDH_INVALID_DATA},                 // a failed read keeps the last value
        Sample{-5}, Sample{-2147483647 - 1},
        Sample{2147483647, PDH_INVALID_DATA},            // other collect statuses still compare
        Sample{20, PDH_CSTATUS_NO_INSTANCE}, Sample{300},
    });
    BlinkDuration = 2;
    StartSampler();
    RunSampler(15);  // the last sample repeats and changes nothing
    EXPECT_EQ(Notified(), "AIAIA");
    EXPECT_EQ(substitute::SleepPeriods(), std::set<DWORD>{2});
    ASSERT_EQ(substitute::WaitLog().size(), 1u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout * 10 + substitute::WaitLog()[0].result, 40u + WAIT_OBJECT_0);
    EXPECT_EQ(RunFlag + substitute::ThreadsStarted(), 1u);
    // The state outlives the sampler: the next one reports only a change from it, on the selection.
    SelectCounterEntry(0);
    substitute::ScriptCounter(u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer", {Sample{0}, Sample{150}, Sample{50}});
    RunSampler(4);
    EXPECT_EQ(Notified(), "AIAIAI");
    EXPECT_EQ(substitute::AddedCounterPaths(), (std::vector<WideString>{TotalPath, SelectedCounterPath}));
}

// The state moves only when the shell takes the icon: a refused change is tried again at each
// pass until it shows, and a change back that was never shown is no change.
TEST_F(ActivitySamplerTest, AChangeTheShellRefusedIsTriedAgainAtTheNextPass) {
    substitute::ScriptCounter(TotalPath,
                              {Sample{0}, Sample{150}, Sample{150}, Sample{150}, Sample{20}, Sample{150}, Sample{20}});
    for (unsigned skip : {0, 1, 3}) substitute::FailNext("Shell_NotifyIconA", ERROR_ACCESS_DENIED, skip);
    RunSampler(8);
    EXPECT_EQ(Notified(), "aaAiI");
}

// The GUI thread's notifications (the delete at exit among them) and the sampler's never
// overlap: the shell reports any overlap as a problem, which fails the test.
TEST_F(ActivitySamplerTest, GuiAndSamplerNotificationsNeverOverlap) {
    std::vector<Sample> flipping = {Sample{0}};
    for (int i = 0; i < 100; ++i) flipping.push_back(Sample{i % 2 ? 50 : 150});
    substitute::ScriptCounter(TotalPath, flipping);
    substitute::SetNotifyDelay(1);
    BlinkDuration = 0;
    StartSampler();
    for (int i = 0; i < 50; ++i) TrayNotify(i % 2 ? NIM_ADD : NIM_DELETE, IconPair.Inactive.Icon);
    ASSERT_TRUE(substitute::WaitForCollects(80));
    StopSampler();
    EXPECT_GT(Notified().size(), 40u);  // both threads really notified
}

// Samplers stopped in a collect that outlasts StopSampler's wait outlive their stop, yet none of
// them notifies after it, samples on beside its successor or clears its successor's record.
TEST_F(ActivitySamplerTest, LateSamplersNeverActBesideTheirSuccessors) {
    std::vector<Sample> flipping = {Sample{0}};
    for (int i = 0; i < 400; ++i) flipping.push_back(Sample{i % 2 ? 50 : 150});
    substitute::ScriptCounter(TotalPath, flipping);
    substitute::SetCollectDelay(10);  // five times StopSampler's wait
    size_t lateStops = 0;
    for (int cycle = 0; cycle < 60; ++cycle) {
        StartSampler();
        // Stopped at once, in its first collect, or in the collect of its first pass.
        ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + cycle % 3));
        ASSERT_TRUE(SamplerRecorded()) << "cycle " << cycle;
        StopSampler();
        lateStops += substitute::WaitLog().back().result == WAIT_TIMEOUT;
        size_t notified = substitute::NotifyLog().size();
        if (cycle % 5 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(12));
        ASSERT_EQ(substitute::NotifyLog().size(), notified) << "a stopped sampler notified, cycle " << cycle;
    }
    EXPECT_GT(lateStops, 20u) << "the wait never ran out: no sampler outlived its stop";
    // One that outlived its stop ends after its collect rather than sampling on beside the next.
    StartSampler();
    ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + 1));
    StopSampler();
    StartSampler();
    ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + 6));
    EXPECT_EQ(substitute::ThreadsRunning(), 1u);
}

// A watched disk that goes away collects no data and its counter says the instance is gone: the
// icon goes idle at the next pass, not on the last value, and follows the disk once it is back.
TEST_F(ActivitySamplerTest, ADiskThatGoesAwayShowsIdleUntilItIsBack) {
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}});
    StartSampler();
    ASSERT_TRUE(substitute::WaitForCollects(3));
    for (auto [logical, shown] : {std::pair{std::vector<WideString>{u"C:"}, "AI"}, {{u"C:", u"_Total"}, "AIA"}}) {
        substitute::SeedDiskObjects(logical, {u"0 C:"});
        // The collect after the one under way sees the change, and its pass ends before the next begins.
        ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + 2));
        EXPECT_EQ(Notified(), shown);
    }
}

}  // namespace
