// The performance-counter service: wine/'s entry points and CounterService, serving scripted
// counters. Calls take turns under the machine's lock, and each can be failed, counted and slowed.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"
#include "wine/PdhEntryPoints.h"

#include <chrono>
#include <condition_variable>
#include <thread>

namespace substitute::detail {
namespace {

struct PdhState {
    provider::ScriptedCounters counters;
    std::map<std::string_view, size_t> calls;  // begun so far, by entry point
    std::map<std::string_view, DWORD> delays;
    bool failing = false;  // the call under way fails as scripted
};

// Both live as long as the process: the service reads the scripted counters by reference.
PdhState State;
provider::CounterService Service(provider::ScriptedSource(State.counters));
std::condition_variable_any CallSignal;

template <typename Action>
auto Locked(Action action) {
    std::lock_guard lock(Mutex());
    return action(State);
}

const bool Registered = RegisterModel(Model{
    [] {
        State = PdhState{};
        Service = provider::CounterService(provider::ScriptedSource(State.counters));
    },
    [](std::vector<std::string>& problems) {
        problems.insert(problems.end(), Service.OpenQueries(), "a performance-counter query was never closed");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

provider::CounterService& provider::EnterService(const char* function, uint32_t& result) {
    // A call counts from the moment it begins, so a test can stop a sampler in the middle of one.
    DWORD delay = Locked([&](PdhState& state) {
        ++state.calls[function];
        CallSignal.notify_all();
        return state.delays[function];
    });
    if (delay) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ScaledMilliseconds(delay)));
    Mutex().lock();
    if (auto failure = TakeFailure(function)) result = *failure;
    State.failing = result != status::Success;
    return Service;
}

uint32_t provider::LeaveService(uint32_t result) {
    if (result == status::InvalidHandle && !State.failing) Problem("a performance-data call on a closed handle");
    Mutex().unlock();
    return result;
}

namespace substitute {

void SetPerfName(DWORD index, const WideText& name) {
    Locked([&](PdhState& state) { state.counters.names[index] = name; });
}

void SetPerfNameSize(DWORD index, DWORD size) {
    Locked([&](PdhState& state) { state.counters.nameSizes[index] = size; });
}

void AddPerfObject(const WideText& name, const std::vector<WideText>& instances,
                   const std::vector<WideText>& counters) {
    Locked([&](PdhState& state) { state.counters.objects[name] = {instances, counters, std::nullopt}; });
}

void SetRawObjectAnswer(const WideText& name, const RawObjectAnswer& answer) {
    Locked([&](PdhState& state) { state.counters.objects[name].raw = answer; });
}

void SeedDiskObjects(const std::vector<WideText>& logicalInstances, const std::vector<WideText>& physicalInstances) {
    Locked([&](PdhState& state) { state.counters.SeedDiskObjects(logicalInstances, physicalInstances); });
}

void ScriptCounter(const WideText& path, const std::vector<Sample>& samples) {
    Locked([&](PdhState& state) { *state.counters.ScriptFor(path) = {samples, 0}; });
}

void SetCollectDelay(DWORD milliseconds) {
    Locked([&](PdhState& state) { state.delays["PdhCollectQueryData"] = milliseconds; });
}

size_t CollectCount() {
    return Locked([](PdhState& state) { return state.calls["PdhCollectQueryData"]; });
}

bool WaitForCollects(size_t count, unsigned milliseconds) {
    std::unique_lock lock(Mutex());
    return CallSignal.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return CollectCount() >= count; });
}

std::vector<WideText> AddedCounterPaths() {
    return Locked([](PdhState& state) { return state.counters.addedPaths; });
}

}  // namespace substitute
