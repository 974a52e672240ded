#include "tests/unit/Machine.h"

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
    void TearDown() override {
        substitute::HoldCollectsFrom(SIZE_MAX);
        MachineTest::TearDown();
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
    substitute::ScriptCounter(TotalPath,
                              {
                                  Sample{500},  // the first collect is never compared
                                  Sample{100},
                                  Sample{101},  // above 100 is busy
                                  Sample{100},
                                  Sample{150},
                                  Sample{0, PDH_NO_DATA},
                                  Sample{0, PDH_NO_DATA},           // no data: no read, the state stays
                                  Sample{50, 0, PDH_INVALID_DATA},  // a failed read keeps the last value
                                  Sample{150},                      // and so no change
                                  Sample{-5},
                                  Sample{-2147483647 - 1},
                                  Sample{2147483647, PDH_INVALID_DATA},  // other collect statuses still compare
                                  Sample{20, PDH_CSTATUS_NO_INSTANCE},
                                  Sample{300},
                              });
    BlinkDuration = 2;
    StartSampler();
    RunSampler(15);  // the last sample repeats and changes nothing
    EXPECT_EQ(Notified(), "AIAIAIA");
    EXPECT_EQ(substitute::SleepPeriods(), std::set<DWORD>{2});
    ASSERT_EQ(substitute::WaitLog().size(), 1u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout, 4u);
    EXPECT_EQ(RunFlag, 0);
    EXPECT_EQ(substitute::ThreadsStarted(), 1u);
    // The state outlives the sampler: the next one reports only a change from it, on the selection.
    SelectCounterEntry(0);
    substitute::ScriptCounter(u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer", {Sample{0}, Sample{150}, Sample{50}});
    RunSampler(4);
    EXPECT_EQ(Notified(), "AIAIAIAI");
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
// them notifies after it, samples on beside its successor or clears its successor's record. Each
// is stopped while held in its first collect or in the collect of its first pass (which would
// notify, the disk being busy), then let go once its successor is held in one of those.
TEST_F(ActivitySamplerTest, LateSamplersNeverActBesideTheirSuccessors) {
    substitute::ScriptCounter(TotalPath, {Sample{150}});
    substitute::HoldCollectsFrom(1);
    StartSampler();
    ASSERT_TRUE(substitute::WaitForCollects(1));
    for (size_t cycle = 0; cycle < 4; ++cycle) {
        SCOPED_TRACE(cycle);
        StopSampler();
        ASSERT_EQ(substitute::WaitLog().back().result, WAIT_TIMEOUT);
        const size_t notified = substitute::NotifyLog().size(), late = substitute::CollectCount();
        StartSampler();
        substitute::HoldCollectsFrom(late + 1 + cycle % 2);
        ASSERT_TRUE(substitute::JoinThreads(20000, 1)) << "a stopped sampler sampled on";
        EXPECT_TRUE(SamplerRecorded());
        EXPECT_EQ(substitute::NotifyLog().size(), notified);
        ASSERT_TRUE(substitute::WaitForCollects(late + 1 + cycle % 2));
    }
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
