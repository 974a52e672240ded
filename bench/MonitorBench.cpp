// One sampler pass and one catalogue build, each beside a baseline that makes only the
// performance-counter calls the step cannot avoid, so the ratio is the program's own cost.
// Heap allocations are counted per pass and per build.
#include "tray/AppHandles.h"
#include "tray/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "platform/substitute/Substitute.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> Allocations{0};
}

// Counts every allocation of the process. GCC takes the free() in the replaced delete for a
// mismatch with the replaced new once both are inlined; they do match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    ++Allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

const WideString TotalPath = u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer";

void PrepareMachine(size_t instancesPerObject) {
    substitute::Reset();
    substitute::SetTimeScale(0);
    std::vector<WideString> logical, physical;
    for (size_t i = 0; i + 1 < instancesPerObject; ++i) {
        logical.push_back(u"HarddiskVolume" + WideString(1, static_cast<WCHAR>(u'A' + i % 26)) + u"0" +
                          WideString(1, static_cast<WCHAR>(u'0' + i / 26)));
        physical.push_back(WideString(1, static_cast<WCHAR>(u'0' + i % 10)) + u" C: D:" +
                           WideString(1, static_cast<WCHAR>(u'a' + i / 10)));
    }
    logical.push_back(u"_Total");
    physical.push_back(u"_Total");
    substitute::SeedDiskObjects(logical, physical);
    AppInstance = substitute::ModuleInstance();
    CounterCatalogue.clear();
    SelectedCounterPath.clear();
    TooltipText.clear();
    InitTrayRecord(reinterpret_cast<HWND>(uintptr_t{0x10010}));
    BlinkDuration = 100;
}

struct OpenCounter {
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
    OpenCounter() {
        PdhOpenQueryA(nullptr, 0, &query);
        PdhAddCounterW(query, TotalPath.c_str(), 0, &counter);
        PdhCollectQueryData(query);
    }
    ~OpenCounter() { PdhCloseQuery(query); }
};

// Baseline: the collect, the formatted read and the sleep that every pass makes.
void BM_PassServiceCallsOnly(benchmark::State& state) {
    PrepareMachine(2);
    OpenCounter open;
    PDH_FMT_COUNTERVALUE value = {};
    size_t before = Allocations;
    for (auto _ : state) {
        PdhCollectQueryData(open.query);
        PdhGetFormattedCounterValue(open.counter, PDH_FMT_LONG, nullptr, &value);
        Sleep(BlinkDuration);
        benchmark::DoNotOptimize(value);
    }
    state.counters["allocs/pass"] =
        benchmark::Counter(static_cast<double>(Allocations - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PassServiceCallsOnly);

// One pass of the sampler's loop as the sampler runs it, without a change of state.
void BM_SamplerPass(benchmark::State& state) {
    PrepareMachine(2);
    OpenCounter open;
    PDH_FMT_COUNTERVALUE value = {};
    size_t before = Allocations;
    for (auto _ : state) SamplePass(open.query, open.counter, value);
    state.counters["allocs/pass"] =
        benchmark::Counter(static_cast<double>(Allocations - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SamplerPass);

// The real sampler thread: passes per second while its disk flips state on every sample, so
// every pass also notifies the tray.
void BM_SamplerThreadFlipping(benchmark::State& state) {
    PrepareMachine(2);
    BuildCounterCatalogue();
    SelectDefaultEntry();
    std::vector<substitute::Sample> flipping(1 << 16);
    for (size_t i = 0; i < flipping.size(); ++i) flipping[i].value = i % 2 ? 50 : 150;
    substitute::ScriptCounter(TotalPath, flipping);
    IconPair.Active.Icon = LoadDefaultIcon(113);
    IconPair.Inactive.Icon = LoadDefaultIcon(114);
    TrayNotify(NIM_ADD, IconPair.Inactive.Icon);
    StartSampler();
    substitute::WaitForCollects(100);
    size_t passes = 0;
    for (auto _ : state) {
        size_t start = substitute::CollectCount();
        substitute::WaitForCollects(start + 1000);
        passes += 1000;
    }
    StopSampler();
    substitute::JoinThreads();
    state.counters["passes"] = static_cast<double>(passes);
    state.counters["time/pass"] =
        benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SamplerThreadFlipping)->UseRealTime()->Unit(benchmark::kMillisecond);

// Baseline: the three name lookups and the sizing and filling enumerations of both objects.
void BM_CatalogueServiceCallsOnly(benchmark::State& state) {
    PrepareMachine(64);
    size_t before = Allocations;
    for (auto _ : state) {
        PDH_HQUERY query = nullptr;
        PdhOpenQueryA(nullptr, 0, &query);
        WCHAR names[3][PerfNameCapacity];
        const DWORD indexes[] = {236, 234, 224};
        for (int i = 0; i < 3; ++i) {
            DWORD size = 0;
            PdhLookupPerfNameByIndexW(nullptr, indexes[i], nullptr, &size);
            PdhLookupPerfNameByIndexW(nullptr, indexes[i], names[i], &size);
        }
        for (int i = 0; i < 2; ++i) {
            DWORD counters = 0, instances = 0;
            PdhEnumObjectItemsW(nullptr, nullptr, names[i], nullptr, &counters, nullptr, &instances, PERF_DETAIL_WIZARD,
                                0);
            std::vector<WCHAR> counterList(counters), instanceList(instances);
            PdhEnumObjectItemsW(nullptr, nullptr, names[i], counterList.data(), &counters, instanceList.data(),
                                &instances, PERF_DETAIL_WIZARD, 0);
            benchmark::DoNotOptimize(instanceList.data());
        }
        PdhCloseQuery(query);
    }
    state.counters["allocs/build"] =
        benchmark::Counter(static_cast<double>(Allocations - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CatalogueServiceCallsOnly);

// A whole catalogue build of 2 x 64 instances.
void BM_BuildCounterCatalogue(benchmark::State& state) {
    PrepareMachine(64);
    size_t before = Allocations;
    for (auto _ : state) {
        CounterCatalogue.clear();
        BuildCounterCatalogue();
    }
    if (CounterCatalogue.size() != 128) state.SkipWithError("the catalogue does not hold 128 entries");
    state.counters["allocs/build"] =
        benchmark::Counter(static_cast<double>(Allocations - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BuildCounterCatalogue);

}  // namespace

BENCHMARK_MAIN();
