// The sampler's thread as the program starts, waits for and releases it.
#include "tests/contract/Contract.h"

#include <atomic>

static std::atomic<DWORD> SeenId{0};

static unsigned WINAPI WaitForStep(void* go) {
    while (!*static_cast<std::atomic<bool>*>(go)) Sleep(1);
    SeenId = GetCurrentThreadId();
    return 0;
}

TEST(ThreadsContract, ABoundedWaitTimesOutThenSeesTheThreadEndWithTheIdItWasStartedWith) {
    std::atomic<bool> go{false};
    unsigned threadId = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WaitForStep, &go, 0, &threadId));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), 0x102u);  // WAIT_TIMEOUT
    go = true;
    EXPECT_EQ(WaitForSingleObject(thread, 10000), 0x0u);  // WAIT_OBJECT_0
    EXPECT_EQ(SeenId, threadId);
    EXPECT_NE(threadId, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(thread));
}
