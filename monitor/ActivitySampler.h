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
extern ProcessLock SamplerLock;
// The recorded sampler's thread handle and id, or null and 0.
extern HANDLE SamplerThread;
extern DWORD SamplerThreadId;
// The state the samplers last reported; outlives every sampler.
extern TrayIconRole ActivityState;

void StartSampler();
void StopSampler();
bool SamplerRecorded();
// The tray icon in the role of ActivityState: retried after a refused add, or shown at once
// after the role icons changed (only while the icon is shown).
void RetryActivityIconAdd();
void RefreshActivityIcon();

// One pass of the sampling loop: collect, compare, notify on a change, sleep.
void SamplePass(PDH_HQUERY query, PDH_HCOUNTER counter, PDH_FMT_COUNTERVALUE& value);
