#include "monitor/ActivitySampler.h"

#include "monitor/CounterCatalogue.h"
#include "tray/AppHandles.h"

std::atomic<LONG> RunFlag{1};
std::atomic<DWORD> BlinkDuration{100};
ProcessLock SamplerLock;
HANDLE SamplerThread = nullptr;
DWORD SamplerThreadId = 0;
TrayIconRole ActivityState = Inactive;

namespace {

// Call with SamplerLock held.
bool IsRecordedSampler() {
    return SamplerThreadId != 0 && SamplerThreadId == GetCurrentThreadId();
}

bool SamplerShouldRun() {
    LockHolder hold(SamplerLock);
    return RunFlag != 0 && IsRecordedSampler();
}

// The state moves only when the shell took the icon, so a refused change is tried again at the
// next pass instead of leaving the wrong icon up for good.
void ReportActivity(TrayIconRole state) {
    LockHolder hold(SamplerLock);
    if (!IsRecordedSampler() || state == ActivityState) return;
    if (TrayNotify(NIM_MODIFY, RoleIcon(state).Icon)) ActivityState = state;
}

// The sampler's last act: a sampler that is still recorded ended by itself, so it clears the
// record and releases its own handle, which nobody else will wait for.
void EndSampler() {
    LockHolder hold(SamplerLock);
    if (!IsRecordedSampler()) return;
    CloseHandle(SamplerThread);
    SamplerThread = nullptr;
    SamplerThreadId = 0;
}

// The sampler thread: watches the selected counter path until it is stopped.
unsigned WINAPI ActivitySampler(void*) {
    WideString path;
    {
        LockHolder hold(SamplerLock);
        // Stopped before it ever ran.
        if (!IsRecordedSampler()) return 0;
        if (SelectedCounterPath.empty()) {
            int index = FindEntryContaining(WIDE("_Total"));
            if (index != NoEntry) SelectCounterEntry(index);
        }
        path = SelectedCounterPath;
    }

    PDH_HQUERY query = nullptr;
    if (PdhOpenQueryA(nullptr, 0, &query) == 0) {
        PDH_HCOUNTER counter = nullptr;
        if (PdhAddCounterW(query, path.c_str(), 0, &counter) == 0 && PdhCollectQueryData(query) == 0) {
            PDH_FMT_COUNTERVALUE value = {};
            while (SamplerShouldRun()) SamplePass(query, counter, value);
        }
        PdhCloseQuery(query);
    }
    EndSampler();
    return 0;
}

}  // namespace

// Starts a sampler thread unless one is recorded already.
void StartSampler() {
    LockHolder hold(SamplerLock);
    RunFlag = 1;
    if (SamplerThread != nullptr) return;
    unsigned threadId = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, ActivitySampler, MainWindow, 0, &threadId);
    if (thread == 0) return;
    SamplerThread = reinterpret_cast<HANDLE>(thread);
    SamplerThreadId = threadId;
}

// Stops the recorded sampler, waiting for it at most twice the blink duration.
void StopSampler() {
    HANDLE thread;
    DWORD timeout;
    {
        LockHolder hold(SamplerLock);
        RunFlag = 0;
        // Taking the handle out of the record here makes this call its only owner.
        thread = SamplerThread;
        SamplerThread = nullptr;
        SamplerThreadId = 0;
        timeout = 2 * BlinkDuration;
    }
    if (thread == nullptr) return;
    WaitForSingleObject(thread, timeout);
    CloseHandle(thread);
}

// The retry timer's tick: the icon of the state the samplers last reported.
void RetryActivityIconAdd() {
    LockHolder hold(SamplerLock);
    RetryTrayAdd(RoleIcon(ActivityState).Icon);
}

bool SamplerRecorded() {
    LockHolder hold(SamplerLock);
    return SamplerThread != nullptr;
}

void SamplePass(PDH_HQUERY query, PDH_HCOUNTER counter, PDH_FMT_COUNTERVALUE& value) {
    const bool noData = static_cast<DWORD>(PdhCollectQueryData(query)) == PDH_NO_DATA;
    // Read even after no data, which is also what a collect answers once the disk is gone: its
    // counter then says so, and a disk that is not there is not busy. Any other failed read
    // leaves the last value in place.
    if (PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value) != 0 &&
        value.CStatus == PDH_CSTATUS_NO_INSTANCE)
        ReportActivity(Inactive);
    else if (!noData)
        ReportActivity(value.longValue > ActivityThreshold ? Active : Inactive);
    Sleep(BlinkDuration);
}
