// Threads, waits, sleeps and critical sections, on real host threads so that the sanitizers see
// the program's own synchronisation.
#include "platform/substitute/Internal.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace substitute::detail {
namespace {

// The threads started and those not returned yet; a host thread is detached and does nothing after
// saying it returned. Guarded by EndMutex rather than the model mutex, so that threads ending never
// wait for a test holding that one.
size_t Started;
std::set<HANDLE> Running;
std::mutex EndMutex;
std::condition_variable EndSignal;

// Guarded by Mutex().
std::set<DWORD> Sleeps;
std::vector<substitute::WaitCall> Waits;

std::atomic<double> TimeScale;
std::atomic<DWORD> NextThreadId{1000};
thread_local DWORD ThreadId = 0;

// Reset runs after every thread has ended.
const bool Registered = RegisterModel(Model{[] {
    Sleeps.clear();
    Waits.clear();
    TimeScale = 1.0;
    std::lock_guard endLock(EndMutex);
    Started = 0;
    Running.clear();
}});

}  // namespace

double ScaledMilliseconds(DWORD milliseconds) {
    return milliseconds * TimeScale.load();
}

}  // namespace substitute::detail

using namespace substitute::detail;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->Implementation = new std::recursive_mutex;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
    static_cast<std::recursive_mutex*>(section->Implementation)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
    static_cast<std::recursive_mutex*>(section->Implementation)->unlock();
}

DWORD WINAPI GetCurrentThreadId() {
    if (ThreadId == 0) ThreadId = NextThreadId++;
    return ThreadId;
}

uintptr_t _beginthreadex(void*, unsigned, unsigned(WINAPI* start)(void*), void* argument, unsigned initflag,
                         unsigned* threadAddress) {
    if (initflag != 0) Problem("_beginthreadex: only flag 0 is modelled");
    DWORD id = NextThreadId++;
    HANDLE handle = OpenHandle("thread");
    if (threadAddress) *threadAddress = id;
    std::lock_guard endLock(EndMutex);
    ++Started;
    Running.insert(handle);
    std::thread([start, argument, id, handle] {
        ThreadId = id;
        start(argument);
        std::lock_guard endLock(EndMutex);
        Running.erase(handle);
        EndSignal.notify_all();
    }).detach();
    return reinterpret_cast<uintptr_t>(handle);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    DWORD result = WAIT_FAILED;
    if (!IsOpen(handle, "thread")) {
        Problem("WaitForSingleObject on a handle that is not an open thread handle");
    } else {
        std::unique_lock endLock(EndMutex);
        auto timeout = std::chrono::duration<double, std::milli>(ScaledMilliseconds(milliseconds));
        result =
            EndSignal.wait_for(endLock, timeout, [&] { return !Running.count(handle); }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    UnderLock([&] { Waits.push_back(substitute::WaitCall{milliseconds, result}); });
    return result;
}

void WINAPI Sleep(DWORD milliseconds) {
    UnderLock([&] { Sleeps.insert(milliseconds); });
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ScaledMilliseconds(milliseconds)));
}

void substitute::SetTimeScale(double scale) {
    TimeScale = scale;
}

std::set<DWORD> substitute::SleepPeriods() {
    return Copied(Sleeps);
}

std::vector<substitute::WaitCall> substitute::WaitLog() {
    return Copied(Waits);
}

size_t substitute::ThreadsStarted() {
    std::lock_guard endLock(EndMutex);
    return Started;
}

bool substitute::JoinThreads(unsigned milliseconds, size_t running) {
    std::unique_lock endLock(EndMutex);
    return EndSignal.wait_for(endLock, std::chrono::milliseconds(milliseconds),
                              [&] { return Running.size() <= running; });
}
