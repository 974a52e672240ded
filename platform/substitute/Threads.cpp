// Threads, waits, sleeps and critical sections, on real host threads so that the sanitizers see
// the program's own synchronisation.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <thread>

namespace substitute::detail {
namespace {

struct ThreadRecord {
    std::thread thread;
    bool ended = false;
};

struct ThreadsState {
    std::map<uintptr_t, ThreadRecord> threads;
    uintptr_t nextThread = 1;
    size_t started = 0;
    std::vector<SleepCall> sleeps;
    bool logSleeps = true;
    std::vector<WaitCall> waits;
};

ThreadsState& State() {
    static ThreadsState state;
    return state;
}

// Separate from the model mutex so that threads ending never wait for a test holding it.
std::mutex EndMutex;
std::condition_variable EndSignal;

std::atomic<double> TimeScale{1.0};
std::atomic<DWORD> NextThreadId{1000};
thread_local DWORD ThreadId = 0;

// Finished threads whose handles are closed can be reaped at any time.
void ReapEndedThreads() {
    std::vector<std::thread> finished;
    {
        std::lock_guard endLock(EndMutex);
        auto& threads = State().threads;
        for (auto it = threads.begin(); it != threads.end();) {
            if (it->second.ended) {
                finished.push_back(std::move(it->second.thread));
                it = threads.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& thread : finished) thread.join();
}

void SleepReal(double milliseconds) {
    if (milliseconds <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds));
}

const bool Registered = RegisterModel(Model{
    [] {
        auto& state = State();
        state.sleeps.clear();
        state.logSleeps = true;
        state.waits.clear();
        state.started = 0;
        TimeScale = 1.0;
    },
    [](std::vector<std::string>&) {},
});

}  // namespace

double ScaledMilliseconds(DWORD milliseconds) { return milliseconds * TimeScale.load(); }

}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::SleepCall;
using substitute::WaitCall;

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

uintptr_t _beginthreadex(void*, unsigned, unsigned(__stdcall* start)(void*), void* argument,
                         unsigned initflag, unsigned* threadAddress) {
    if (auto failure = TakeFailure("_beginthreadex")) {
        SetLastError(*failure);
        return 0;
    }
    if (initflag != 0) {
        Problem("_beginthreadex: only flag 0 is modelled");
        return 0;
    }
    ReapEndedThreads();
    DWORD id = NextThreadId++;
    uintptr_t object;
    {
        std::lock_guard lock(Mutex());
        object = State().nextThread++;
        ++State().started;
    }
    HANDLE handle = OpenKernelHandle(HandleKind::Thread, object, nullptr);
    if (threadAddress) *threadAddress = id;
    std::lock_guard endLock(EndMutex);
    ThreadRecord& record = State().threads[object];
    record.thread = std::thread([start, argument, id, object] {
        ThreadId = id;
        start(argument);
        std::lock_guard endLock(EndMutex);
        State().threads[object].ended = true;
        EndSignal.notify_all();
    });
    return reinterpret_cast<uintptr_t>(handle);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = KernelObject(handle, HandleKind::Thread);
    DWORD result;
    if (!object) {
        Problem("WaitForSingleObject on a handle that is not an open thread handle");
        result = WAIT_FAILED;
    } else {
        std::unique_lock endLock(EndMutex);
        auto ended = [&] {
            auto it = State().threads.find(*object);
            return it == State().threads.end() || it->second.ended;
        };
        if (milliseconds == INFINITE) {
            EndSignal.wait(endLock, ended);
            result = WAIT_OBJECT_0;
        } else {
            auto timeout = std::chrono::duration<double, std::milli>(ScaledMilliseconds(milliseconds));
            result = EndSignal.wait_for(endLock, timeout, ended) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
    }
    std::lock_guard lock(Mutex());
    State().waits.push_back(WaitCall{handle, milliseconds, result});
    return result;
}

void WINAPI Sleep(DWORD milliseconds) {
    {
        std::lock_guard lock(Mutex());
        if (State().logSleeps) State().sleeps.push_back(SleepCall{GetCurrentThreadId(), milliseconds});
    }
    SleepReal(ScaledMilliseconds(milliseconds));
}

namespace substitute {

void SetTimeScale(double scale) { TimeScale = scale; }

std::vector<SleepCall> SleepLog() {
    std::lock_guard lock(Mutex());
    return detail::State().sleeps;
}

void SetSleepLogging(bool on) {
    std::lock_guard lock(Mutex());
    detail::State().logSleeps = on;
}

std::vector<WaitCall> WaitLog() {
    std::lock_guard lock(Mutex());
    return detail::State().waits;
}

size_t ThreadsStarted() {
    std::lock_guard lock(Mutex());
    return detail::State().started;
}

size_t ThreadsRunning() {
    std::lock_guard endLock(EndMutex);
    size_t running = 0;
    for (auto& [object, record] : detail::State().threads) running += record.ended ? 0 : 1;
    return running;
}

bool JoinThreads(unsigned milliseconds) {
    {
        std::unique_lock endLock(EndMutex);
        bool allEnded = EndSignal.wait_for(endLock, std::chrono::milliseconds(milliseconds), [] {
            for (auto& [object, record] : detail::State().threads)
                if (!record.ended) return false;
            return true;
        });
        if (!allEnded) return false;
    }
    ReapEndedThreads();
    return true;
}

}  // namespace substitute
