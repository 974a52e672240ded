// The counter service, threads, the shell and the code page answer as Windows does wherever the
// program relies on them: sizes in and out, the "more data" statuses, no write past what the
// caller said it has, shared icons, and misuse caught.
#include "tests/unit/Machine.h"

#include <atomic>
#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr WCHAR Sentinel = 0xCCCC;

class SubstituteContractTest : public MachineTest {};

TEST_F(SubstituteContractTest, CounterNamesAndListsAreSizedThenFilledAndCountersSampled) {
    substitute::SeedDiskObjects({u"C:"}, {});
    DWORD size = 0;
    EXPECT_EQ(static_cast<DWORD>(PdhLookupPerfNameByIndexW(nullptr, 236, nullptr, &size)), 0x800007D2u);
    ASSERT_GT(size, 1u);
    WCHAR name[64];
    std::fill(std::begin(name), std::end(name), Sentinel);
    EXPECT_EQ(PdhLookupPerfNameByIndexW(nullptr, 236, name, &size), 0x0);
    EXPECT_EQ(name[size - 1], 0);
    EXPECT_EQ(name[size], Sentinel);

    DWORD counters = 0, instances = 0;
    EXPECT_EQ(static_cast<DWORD>(PdhEnumObjectItemsW(nullptr, nullptr, name, nullptr, &counters, nullptr, &instances,
                                                     PERF_DETAIL_WIZARD, 0)), 0x800007D2u);
    std::vector<WCHAR> counterList(counters + 1, Sentinel), instanceList(instances + 1, Sentinel);
    EXPECT_EQ(PdhEnumObjectItemsW(nullptr, nullptr, name, counterList.data(), &counters, instanceList.data(),
                                  &instances, PERF_DETAIL_WIZARD, 0),
              0x0);
    // Each list is names, each ended by a zero, then one more zero.
    EXPECT_EQ(WideString(instanceList.data(), instances), WideString(u"C:\0\0", 4));
    EXPECT_EQ(counterList[counters - 1], 0);
    EXPECT_EQ(counterList[counters], Sentinel);

    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
    ASSERT_EQ(PdhOpenQueryA(nullptr, 0, &query), 0x0);
    ASSERT_EQ(PdhAddCounterW(query, u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer", 0, &counter), 0x0);
    PDH_FMT_COUNTERVALUE value = {};
    EXPECT_EQ(PdhCollectQueryData(query), 0x0);
    EXPECT_EQ(PdhCollectQueryData(query), 0x0);
    EXPECT_EQ(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value), 0x0);
    EXPECT_GE(value.longValue, 0);
    EXPECT_EQ(PdhCloseQuery(query), 0x0);
}

// The id _beginthreadex gives is the one the thread sees; a wait times out while it runs.
TEST_F(SubstituteContractTest, ThreadsEndWaitsAndHandlesAsOnWindows) {
    static std::atomic<bool> release;
    static std::atomic<DWORD> seen;
    release = false;
    unsigned id = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0,
        [](void*) -> unsigned {
            seen = GetCurrentThreadId();
            while (!release) Sleep(1);
            return 0;
        },
        nullptr, 0, &id));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 5), static_cast<DWORD>(WAIT_TIMEOUT));
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(seen, id);
    EXPECT_NE(seen, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_THAT(TakeProblems(), ElementsAre(HasSubstr("CloseHandle on a handle that is not open")));
}

TEST_F(SubstituteContractTest, TheShellShowsOneIconAndIconsAreSharedOrOwned) {
    NOTIFYICONDATAA record = {};
    record.cbSize = 88;
    auto load = [] {
        return LoadImageA(substitute::ModuleInstance(), MAKEINTRESOURCEA(114), IMAGE_ICON, 16, 16, LR_SHARED);
    };
    record.hIcon = static_cast<HICON>(load());
    EXPECT_EQ(record.hIcon, load());
    std::vector<BOOL> results;
    for (DWORD message : {NIM_MODIFY, NIM_ADD, NIM_ADD, NIM_MODIFY, NIM_DELETE, NIM_DELETE})
        results.push_back(Shell_NotifyIconA(message, &record));
    EXPECT_THAT(results, ElementsAre(FALSE, TRUE, FALSE, TRUE, TRUE, FALSE));

    // An extracted icon is the caller's; a file without icons answers 1, an index past them null.
    substitute::AddIconFile("C:\\Icons\\disk.ico", 2);
    substitute::AddIconFile("C:\\notes.txt", 0);
    HICON extracted = ExtractIconA(substitute::ModuleInstance(), "C:\\Icons\\disk.ico", 1);
    ASSERT_NE(extracted, nullptr);
    EXPECT_EQ(ExtractIconA(substitute::ModuleInstance(), "C:\\Icons\\disk.ico", 2), nullptr);
    EXPECT_EQ(ExtractIconA(substitute::ModuleInstance(), "C:\\notes.txt", 0), reinterpret_cast<HICON>(uintptr_t{1}));
    EXPECT_TRUE(DestroyIcon(extracted));
    DestroyIcon(record.hIcon);
    record.cbSize = sizeof record;
    Shell_NotifyIconA(NIM_ADD, &record);
    EXPECT_THAT(TakeProblems(), ElementsAre(HasSubstr("shared icon"), HasSubstr("cbSize")));
}

// Conversions count the terminator when asked to, refuse a short buffer, and know the page's
// lead bytes.
TEST_F(SubstituteContractTest, ConversionsCountCutAndRoundTripAsOnWindows) {
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, nullptr, 0, nullptr, nullptr), 3);
    char bytes[16];
    std::memset(bytes, 0x55, sizeof bytes);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abcdef", -1, bytes, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(bytes[4], 0x55);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20AC\U0001F600", -1, bytes, 8, nullptr, nullptr), 3);
    EXPECT_STREQ(bytes, "\x80?");
    EXPECT_FALSE(IsDBCSLeadByte(0x81));

    substitute::UseCodePage(932);
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_TRUE(IsDBCSLeadByte(0xFC));
    EXPECT_FALSE(IsDBCSLeadByte(0xA0));
    const WideString text = u"a\u4E00\uFF71";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr), 5);
    WCHAR back[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes, -1, back, 8), 4);
    EXPECT_EQ(WideString(back), text);
}

}  // namespace
