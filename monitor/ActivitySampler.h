// The worker thread that samples the selected disk counter and flips the tray icon, and the
// values through which the GUI thread starts and stops it.
#pragma once

#include "platform/Lock.h"
#include "platform/Win32.h"
#include "tray/TrayPresenter.h"

#include <atomic>

// A sample above this is a busy disk.
constexpr LONG ActivityThreshold = 100;

// The sampler goes on while this is non-zero.
extern std::atomic<LONG> RunFlag;
// The sampling period in milliseconds, and half the time StopSampler waits.
extern std::atomic<DWORD> BlinkDuration;

// Guards the sampler record and ActivityState. A sampler acts only while it is the recorded
// one, and checks that under this lock, so a sampler that outlived StopSampler's wait can
// neither notify, nor sample on beside a newer one, nor clear the newer one's record.
// Lock order: SamplerLock, then the tray presenter's own lock, never the other way round. A
// sampler notifies and selects its entry (which sets the tooltip) with SamplerLock held, and so
// does the retry of a refused add; the presenter takes its lock inside each of its calls and calls
// nothing that takes SamplerLock.
extern ProcessLock SamplerLock;
// The recorded sampler's thread handle and id, or null and 0.
extern HANDLE SamplerThread;
extern DWORD SamplerThreadId;
// The state the samplers last reported; outlives every sampler.
extern TrayIconRole ActivityState;

void StartSampler();
void StopSampler();
bool SamplerRecorded();
// The retry timer's tick: a refused add tried again with the icon of the state the samplers
// last reported, which cannot change meanwhile.
void RetryActivityIconAdd();

// One pass of the sampling loop: collect, compare, notify on a change, sleep.
void SamplePass(PDH_HQUERY query, PDH_HCOUNTER counter, PDH_FMT_COUNTERVALUE& value);
