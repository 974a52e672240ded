// A critical section that is ready before WinMain and never deleted, so that a worker which is
// still running while the process ends can take it safely; and a holder for one scope.
#pragma once

#include "platform/Win32.h"

struct ProcessLock {
    CRITICAL_SECTION Section;

    ProcessLock() { InitializeCriticalSection(&Section); }
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;
};

class LockHolder {
public:
    explicit LockHolder(ProcessLock& lock) : section_(&lock.Section) { EnterCriticalSection(section_); }
    ~LockHolder() { LeaveCriticalSection(section_); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    CRITICAL_SECTION* section_;
};
