#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "tests/unit/Machine.h"

#include <cctype>
#include <chrono>
#include <thread>

using substitute::Sample;
using ::testing::Each;
using ::testing::ElementsAre;

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";

class ActivitySamplerTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(FakeMainWindow());
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
        BuildCounterCatalogue();
        IconPair.Active.Icon = LoadDefaultIcon(DefaultIconId(Active));
        IconPair.Inactive.Icon = LoadDefaultIcon(DefaultIconId(Inactive));
        BlinkDuration = 1;
        TrayNotify(NIM_ADD, IconPair.Inactive.Icon);
    }

    // Runs one sampler until it has begun `collects` more collects, then stops it and waits for
    // its thread.
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
        auto calls = substitute::NotifyLog();
        for (size_t i = 1; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].message, static_cast<DWORD>(NIM_MODIFY));
            HICON icon = calls[i].record.hIcon;
            char role = icon == IconPair.Active.Icon ? 'A' : icon == IconPair.Inactive.Icon ? 'I' : '?';
            out += calls[i].result ? role : static_cast<char>(std::tolower(role));
        }
        return out;
    }
};

TEST_F(ActivitySamplerTest, NotifiesOncePerChangeOfStateAndSleepsThePeriodEveryPass) {
    substitute::ScriptCounter(TotalPath, {
        Sample{500},                                   // the first collect is never compared
        Sample{100}, Sample{101}, Sample{150},         // above 100 is busy
        Sample{0, PDH_NO_DATA}, Sample{0, PDH_NO_DATA}, // no data: no read, the state stays
        Sample{50, 0, PDH_INVALID_DATA},               // a failed read keeps the last value
        Sample{-5}, Sample{-2147483647 - 1},
        Sample{2147483647, PDH_INVALID_DATA},          // other collect statuses still compare
        Sample{20, PDH_CSTATUS_NO_INSTANCE}, Sample{300},
    });
    BlinkDuration = 2;
    RunSampler(15);  // the last sample repeats and changes nothing
    EXPECT_EQ(Notified(), "AIAIA");
    auto sleeps = substitute::SleepLog();
    EXPECT_GE(sleeps.size(), 13u);
    for (auto& sleep : sleeps) EXPECT_EQ(sleep.milliseconds, 2u);

    // The state outlives the sampler: the next one reports only a change from it.
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}, Sample{50}});
    RunSampler(4);
    EXPECT_EQ(Notified(), "AIAIAI");
}

TEST_F(ActivitySamplerTest, WithNothingSelectedItWatchesTotalElseTheSelection) {
    StartSampler();
    StartSampler();  // one is recorded already: no second
    ASSERT_TRUE(substitute::WaitForCollects(2));
    StopSampler();
    SelectCounterEntry(0);
    RunSampler(2);
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
    EXPECT_THAT(substitute::AddedCounterPaths(),
                ElementsAre(TotalPath, u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer"));
}

// The state moves only when the shell takes the icon: a refused change is tried again at each
// pass until it shows, and a change back that was never shown is no change.
TEST_F(ActivitySamplerTest, AChangeTheShellRefusedIsTriedAgainAtTheNextPass) {
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}, Sample{150}, Sample{150}});
    substitute::FailNext("Shell_NotifyIconA", ERROR_ACCESS_DENIED);
    substitute::FailNext("Shell_NotifyIconA", ERROR_ACCESS_DENIED);
    RunSampler(5);
    EXPECT_EQ(Notified(), "aaA");
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{20}, Sample{150}, Sample{20}});
    substitute::FailNext("Shell_NotifyIconA", ERROR_ACCESS_DENIED);
    RunSampler(5);
    EXPECT_EQ(Notified(), "aaAiI");
    EXPECT_EQ(substitute::TrayIcon()->icon, IconPair.Inactive.Icon);
}

// A sampler whose start-up fails ends by itself and clears its record; the next start samples.
class EndsByItselfTest : public ActivitySamplerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EndsByItselfTest, ClearsItsRecordAndTheNextStartSamples) {
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}});
    substitute::FailNext(GetParam(), PDH_INVALID_DATA);
    StartSampler();
    ASSERT_TRUE(substitute::JoinThreads());
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_LE(substitute::CollectCount(), 1u);
    EXPECT_EQ(Notified(), "");
    RunSampler(3);
    EXPECT_EQ(Notified(), "A");
}

INSTANTIATE_TEST_SUITE_P(Failing, EndsByItselfTest,
                         ::testing::Values("PdhOpenQueryA", "PdhAddCounterW", "PdhCollectQueryData"));

TEST_F(ActivitySamplerTest, StopWaitsTwiceThePeriodAndClearsTheRunFlag) {
    StopSampler();
    EXPECT_EQ(RunFlag, 0);
    EXPECT_TRUE(substitute::WaitLog().empty());
    BlinkDuration = 200;
    StartSampler();
    ASSERT_TRUE(substitute::WaitForCollects(2));  // past the first pass: asleep
    StopSampler();
    ASSERT_EQ(substitute::WaitLog().size(), 1u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout, 400u);
    EXPECT_EQ(substitute::WaitLog()[0].result, static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_EQ(RunFlag, 0);
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
    size_t fromSampler = 0;
    for (auto& call : substitute::NotifyLog()) fromSampler += call.message == NIM_MODIFY;
    EXPECT_GT(fromSampler, 40u);  // both threads really notified
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
        // Stop it at once, in its first collect, or in the collect of its first pass.
        size_t begun = cycle % 3;
        if (begun > 0) {
            ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + begun));
        }
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

}  // namespace
