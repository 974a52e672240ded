// The sampler's thread as the program starts, waits for and releases it.
#include "tests/contract/Contract.h"

#include <atomic>

namespace {

std::atomic<int> Step{0};

unsigned WINAPI WaitForStep(void* argument) {
    while (Step.load() == 0) Sleep(1);
    *static_cast<DWORD*>(argument) = GetCurrentThreadId();
    return 0;
}

TEST(ThreadsContract, ABoundedWaitTimesOutThenSeesTheThreadEnd) {
    Step = 0;
    DWORD seenId = 0;
    unsigned threadId = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, WaitForStep, &seenId, 0, &threadId);
    ASSERT_NE(thread, 0u);
    HANDLE handle = reinterpret_cast<HANDLE>(thread);
    EXPECT_EQ(WaitForSingleObject(handle, 20), 0x102u);  // WAIT_TIMEOUT
    Step = 1;
    EXPECT_EQ(WaitForSingleObject(handle, 10000), 0x0u);  // WAIT_OBJECT_0
    EXPECT_EQ(seenId, threadId);
    EXPECT_NE(threadId, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(ThreadsContract, ACriticalSectionCanBeEnteredAgainByItsOwner) {
    // Never deleted, as the program's own locks are not.
    static CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
}

}  // namespace
