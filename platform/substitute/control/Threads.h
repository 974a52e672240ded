// Threads, sleeps and waits.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <cstddef>
#include <vector>

namespace substitute {

// Real milliseconds that one requested millisecond of Sleep or of a wait's time-out lasts.
// 1 by default; 0 makes every sleep and time-out return at once.
void SetTimeScale(double scale);

struct SleepCall {
    DWORD threadId;
    DWORD milliseconds;
};
// Sleep calls in order; kept only while the log is on (it is after Reset).
std::vector<SleepCall> SleepLog();
void SetSleepLogging(bool on);

struct WaitCall {
    HANDLE handle;
    DWORD timeout;
    DWORD result;
};
std::vector<WaitCall> WaitLog();

// Threads started through _beginthreadex since Reset, and those of them still running.
size_t ThreadsStarted();
size_t ThreadsRunning();

// Waits until every thread started through _beginthreadex has returned. False when some
// thread is still running after `milliseconds` of real time.
bool JoinThreads(unsigned milliseconds = 20000);

}  // namespace substitute
