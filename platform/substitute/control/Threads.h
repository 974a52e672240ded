// Threads, sleeps and waits.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

// Real milliseconds that one requested millisecond of Sleep or of a wait's time-out lasts.
// 1 by default; 0 makes every sleep and time-out return at once.
void SetTimeScale(double scale);

// Every period Sleep was asked for since Reset.
std::set<DWORD> SleepPeriods();

struct WaitCall {
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
