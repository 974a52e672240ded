#include "tray/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "tests/unit/Machine.h"

#include <chrono>
#include <map>
#include <thread>

using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::IsEmpty;
using substitute::Sample;

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";

class ActivitySamplerTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(FakeMainWindow());
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
        BuildCounterCatalogue();
        SelectDefaultEntry();
        IconPair.Active.Icon = LoadDefaultIcon(113);
        IconPair.Inactive.Icon = LoadDefaultIcon(114);
        TrayNotify(NIM_ADD, IconPair.Inactive.Icon);
        BlinkDuration = 1;
    }

    // Runs one sampler until it has taken `collects` more collects, then stops it and waits for
    // its thread.
    void RunSampler(size_t collects) {
        size_t target = substitute::CollectCount() + collects;
        StartSampler();
        ASSERT_TRUE(substitute::WaitForCollects(target));
        StopSampler();
        ASSERT_TRUE(substitute::JoinThreads());
    }

    // The icons of the modifies sent after the set-up's add, as "A" and "I".
    static std::string Notified() {
        std::string out;
        for (auto& call : substitute::NotifyLog()) {
            if (call.message == NIM_ADD) continue;
            EXPECT_EQ(call.message, static_cast<DWORD>(NIM_MODIFY));
            out += call.record.hIcon == IconPair.Active.Icon ? "A" : call.record.hIcon == IconPair.Inactive.Icon ? "I" : "?";
        }
        return out;
    }
};

// Samples after the first, unevaluated collect, and the icons the tray is sent for them.
struct PassCase {
    const char* name;
    std::vector<Sample> samples;
    std::string notified;
};
void PrintTo(const PassCase& row, std::ostream* out) { *out << row.name; }


class PassTest : public ActivitySamplerTest, public ::testing::WithParamInterface<PassCase> {};

TEST_P(PassTest, NotifiesOncePerChangeOfState) {
    std::vector<Sample> script = {Sample{500}};  // the first collect is never compared
    for (auto& sample : GetParam().samples) script.push_back(sample);
    substitute::ScriptCounter(TotalPath, script);
    // Two more collects than scripted: the last sample repeats and must change nothing.
    RunSampler(script.size() + 2);
    EXPECT_EQ(Notified(), GetParam().notified);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PassTest,
    ::testing::Values(
        PassCase{"HundredIsInactive", {Sample{100}}, ""},
        PassCase{"HundredAndOneIsActive", {Sample{101}}, "A"},
        PassCase{"NegativeIsInactive", {Sample{-5}, Sample{-2147483647 - 1}}, ""},
        PassCase{"LargestIsActive", {Sample{2147483647}}, "A"},
        PassCase{"RunsOfStatesNotifyAtTheirFirstSample",
                 {Sample{150}, Sample{150}, Sample{150}, Sample{50}, Sample{100}, Sample{101}, Sample{101}}, "AIA"},
        PassCase{"NoDataPassesKeepTheState",
                 {Sample{150}, Sample{0, PDH_NO_DATA}, Sample{0, PDH_NO_DATA}, Sample{150}}, "A"},
        PassCase{"OtherCollectFailureStillCompares", {Sample{150, PDH_INVALID_DATA}, Sample{20, PDH_CSTATUS_NO_INSTANCE}}, "AI"},
        PassCase{"FailedReadKeepsTheLastValue", {Sample{150}, Sample{50, 0, PDH_INVALID_DATA}}, "A"},
        PassCase{"FailedReadBeforeAnyValueReadsAsZero", {Sample{150, 0, PDH_INVALID_DATA}}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ActivitySamplerTest, NoDataPassesNeitherReadNorNotifyButSleep) {
    ActivityState = Active;  // a compare of any value would notify the inactive icon
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{0, PDH_NO_DATA}});
    BlinkDuration = 2;
    RunSampler(12);
    EXPECT_EQ(substitute::FormattedReadCount(), 0u);
    EXPECT_EQ(Notified(), "");
    auto sleeps = substitute::SleepLog();
    EXPECT_GE(sleeps.size(), 10u);
    for (auto& sleep : sleeps) EXPECT_EQ(sleep.milliseconds, 2u);
}

TEST_F(ActivitySamplerTest, ActivityStateCarriesOverToTheNextSampler) {
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}});
    RunSampler(3);
    EXPECT_EQ(Notified(), "A");

    // The disk stays busy: the next sampler has nothing to report.
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}});
    RunSampler(3);
    EXPECT_EQ(Notified(), "A");

    // Idle for a pass, then busy again.
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{50}, Sample{150}});
    RunSampler(4);
    EXPECT_EQ(Notified(), "AIA");
    EXPECT_EQ(ActivityState, Active);
}

// How a sampler starts on each kind of selection and catalogue.
struct StartCase {
    const char* name;
    std::vector<WideString> logical;
    bool selectDefault;
    std::vector<WideString> addedPaths;
    std::string tooltip;
    bool samples;
};
void PrintTo(const StartCase& row, std::ostream* out) { *out << row.name; }


class StartTest : public MachineTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTest, SelectsTotalItselfOnlyWhenNothingIsSelected) {
    const StartCase& c = GetParam();
    InitTrayRecord(FakeMainWindow());
    substitute::SeedDiskObjects(c.logical, {});
    BuildCounterCatalogue();
    if (c.selectDefault) SelectDefaultEntry();
    BlinkDuration = 1;

    StartSampler();
    if (c.samples) {
        ASSERT_TRUE(substitute::WaitForCollects(3));
        EXPECT_TRUE(SamplerRecorded());
        StopSampler();
    }
    ASSERT_TRUE(substitute::JoinThreads());
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_EQ(substitute::AddedCounterPaths(), c.addedPaths);
    EXPECT_EQ(TooltipText, c.tooltip);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartTest,
    ::testing::Values(
        StartCase{"EmptyPathPicksTotal", {u"C:", u"_Total"}, false, {TotalPath}, "LogicalDisk(_Total)", true},
        StartCase{"EmptyPathWithoutTotalStaysEmpty", {u"C:"}, false, {u""}, "", false},
        StartCase{"EmptyCatalogueEndsAtOnce", {}, false, {u""}, "", false},
        StartCase{"SelectedPathIsKept", {u"C:"}, true, {u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer"}, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

// A sampler whose start-up fails ends by itself, clears its record and leaves nothing open; the
// next start tries again.
struct EndCase {
    const char* name;
    std::function<void()> arrange;
};
void PrintTo(const EndCase& row, std::ostream* out) { *out << row.name; }


class EndsByItselfTest : public ActivitySamplerTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndsByItselfTest, ClearsItsRecordAndTheNextStartSamples) {
    substitute::ScriptCounter(TotalPath, {Sample{0}, Sample{150}});
    GetParam().arrange();
    StartSampler();
    ASSERT_TRUE(substitute::JoinThreads());
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_EQ(substitute::OpenQueries(), 0u);
    EXPECT_LE(substitute::CollectCount(), 1u);
    EXPECT_EQ(Notified(), "");

    RunSampler(3);
    EXPECT_EQ(Notified(), "A");
}

INSTANTIATE_TEST_SUITE_P(
    Table, EndsByItselfTest,
    ::testing::Values(
        EndCase{"QueryCannotOpen", [] { substitute::FailNext("PdhOpenQueryA", PDH_INVALID_DATA); }},
        EndCase{"CounterCannotBeAdded", [] { substitute::FailNext("PdhAddCounterW", PDH_CSTATUS_NO_COUNTER); }},
        EndCase{"FirstCollectFails", [] { substitute::FailNext("PdhCollectQueryData", PDH_INVALID_HANDLE); }},
        EndCase{"FirstCollectHasNoData", [] { substitute::FailNext("PdhCollectQueryData", PDH_NO_DATA); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ActivitySamplerTest, StopReturnsWhenTheSleepingSamplerWakes) {
    BlinkDuration = 200;
    StartSampler();
    ASSERT_TRUE(substitute::WaitForCollects(2));  // past the first pass: asleep
    StopSampler();
    auto waits = substitute::WaitLog();
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(waits[0].timeout, 400u);
    // It ended within one period and one pass, well inside the wait.
    EXPECT_EQ(waits[0].result, static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_EQ(RunFlag, 0);
}

TEST_F(ActivitySamplerTest, StopWithoutASamplerOnlyClearsTheRunFlag) {
    StopSampler();
    EXPECT_EQ(RunFlag, 0);
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_THAT(substitute::WaitLog(), IsEmpty());
}

TEST_F(ActivitySamplerTest, APeriodChangedBetweenStopAndStartIsTheNewSamplers) {
    BlinkDuration = 3;
    RunSampler(4);
    BlinkDuration = 7;
    RunSampler(4);
    std::map<DWORD, std::vector<DWORD>> byThread;
    for (auto& sleep : substitute::SleepLog()) byThread[sleep.threadId].push_back(sleep.milliseconds);
    ASSERT_EQ(byThread.size(), 2u);
    EXPECT_THAT(byThread.begin()->second, Each(3u));
    EXPECT_THAT(byThread.rbegin()->second, Each(7u));
}

TEST_F(ActivitySamplerTest, AFailedThreadStartRecordsNothingAndTheNextStartWorks) {
    substitute::FailNext("_beginthreadex", ERROR_NOT_ENOUGH_MEMORY);
    StartSampler();
    EXPECT_FALSE(SamplerRecorded());
    EXPECT_EQ(RunFlag, 1);
    StartSampler();
    EXPECT_TRUE(SamplerRecorded());
    EXPECT_EQ(substitute::ThreadsStarted(), 1u);
}

TEST_F(ActivitySamplerTest, StartingWhileOneIsRecordedStartsNoSecond) {
    StartSampler();
    StartSampler();
    EXPECT_EQ(substitute::ThreadsStarted(), 1u);
}

// The GUI thread's notifications (the delete at exit among them) and the sampler's never
// overlap: the shell reports any overlap as a problem, which fails the test.
TEST_F(ActivitySamplerTest, GuiAndSamplerNotificationsNeverOverlap) {
    std::vector<Sample> flipping = {Sample{0}};
    for (int i = 0; i < 200; ++i) flipping.push_back(Sample{i % 2 ? 50 : 150});
    substitute::ScriptCounter(TotalPath, flipping);
    substitute::SetNotifyDelay(1);
    BlinkDuration = 0;
    StartSampler();
    for (int i = 0; i < 100; ++i) TrayNotify(i % 2 ? NIM_ADD : NIM_DELETE, IconPair.Inactive.Icon);
    ASSERT_TRUE(substitute::WaitForCollects(150));
    StopSampler();
    ASSERT_TRUE(substitute::JoinThreads());
    size_t fromSampler = 0;
    for (auto& call : substitute::NotifyLog()) fromSampler += call.message == NIM_MODIFY;
    EXPECT_GT(fromSampler, 100u);  // both threads really notified
}

// Thousands of start/stop cycles against a service whose collect outlasts StopSampler's wait:
// samplers outlive their stop again and again, yet none of them notifies after its stop,
// none clears its successor's record, and nothing is left open.
TEST_F(ActivitySamplerTest, LateSamplersNeverActBesideTheirSuccessors) {
    std::vector<Sample> flipping = {Sample{0}};
    for (int i = 0; i < 20000; ++i) flipping.push_back(Sample{i % 2 ? 50 : 150});
    substitute::ScriptCounter(TotalPath, flipping);
    // A pass is mostly its collect, which lasts five times StopSampler's wait.
    substitute::SetCollectDelay(10);
    BlinkDuration = 1;

    size_t lateStops = 0;
    for (int cycle = 0; cycle < 2000; ++cycle) {
        StartSampler();
        // Stop it at once, in its first collect, or in the collect of its first pass.
        size_t begun = cycle % 3 == 0 ? 0 : cycle % 10 == 1 ? 2 : 1;
        if (begun > 0) {
            ASSERT_TRUE(substitute::WaitForCollects(substitute::CollectCount() + begun));
        }
        // A late sampler ending now must not clear this record.
        ASSERT_TRUE(SamplerRecorded()) << "cycle " << cycle;
        StopSampler();
        if (substitute::WaitLog().back().result == WAIT_TIMEOUT) ++lateStops;

        size_t notified = substitute::NotifyLog().size();
        // Give late samplers time to finish their slow collect and try to notify.
        if (cycle % 25 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(12));
        ASSERT_EQ(substitute::NotifyLog().size(), notified) << "a stopped sampler notified, cycle " << cycle;
    }
    ASSERT_TRUE(substitute::JoinThreads());
    EXPECT_GT(lateStops, 100u) << "the wait never ran out: the test did not exercise late samplers";
    EXPECT_EQ(substitute::ThreadsStarted(), 2000u);
    EXPECT_EQ(substitute::OpenQueries(), 0u);
}

}  // namespace
