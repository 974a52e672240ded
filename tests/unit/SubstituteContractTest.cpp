// The substitute behaves like Windows wherever the program relies on it: sizes in and out, the
// "more data" statuses, no write past what the caller said it has, shared icons, misuse caught.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

constexpr WCHAR Sentinel = 0xCCCC;

class SubstituteContractTest : public MachineTest {
protected:
};

TEST_F(SubstituteContractTest, PdhNameLookupSizesThenFillsWithinTheGivenSize) {
    substitute::SetPerfName(236, u"LogicalDisk");
    DWORD size = 0;
    EXPECT_EQ(static_cast<DWORD>(PdhLookupPerfNameByIndexW(nullptr, 236, nullptr, &size)), 0x800007D2u);
    EXPECT_EQ(size, 12u);

    WCHAR buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), Sentinel);
    size = 11;  // one short: nothing is written
    EXPECT_EQ(static_cast<DWORD>(PdhLookupPerfNameByIndexW(nullptr, 236, buffer, &size)), 0x800007D2u);
    EXPECT_EQ(buffer[0], Sentinel);

    size = 12;
    EXPECT_EQ(PdhLookupPerfNameByIndexW(nullptr, 236, buffer, &size), 0);
    EXPECT_EQ(WideString(buffer), u"LogicalDisk");
    EXPECT_EQ(buffer[12], Sentinel);

    size = 0;
    EXPECT_NE(PdhLookupPerfNameByIndexW(nullptr, 999, nullptr, &size), 0);
}

TEST_F(SubstituteContractTest, PdhEnumObjectItemsSizesThenFillsBothLists) {
    substitute::AddPerfObject(u"Disk", {u"A", u"BC"}, {u"x"});
    DWORD counters = 0, instances = 0;
    EXPECT_EQ(static_cast<DWORD>(PdhEnumObjectItemsW(nullptr, nullptr, u"Disk", nullptr, &counters, nullptr,
                                                     &instances, PERF_DETAIL_WIZARD, 0)),
              0x800007D2u);
    EXPECT_EQ(counters, 3u);   // "x\0\0"
    EXPECT_EQ(instances, 6u);  // "A\0BC\0\0"

    WCHAR counterList[4], instanceList[8];
    std::fill(std::begin(counterList), std::end(counterList), Sentinel);
    std::fill(std::begin(instanceList), std::end(instanceList), Sentinel);
    EXPECT_EQ(PdhEnumObjectItemsW(nullptr, nullptr, u"Disk", counterList, &counters, instanceList, &instances,
                                  PERF_DETAIL_WIZARD, 0),
              0);
    EXPECT_EQ(WideString(instanceList, 6), WideString(u"A\0BC\0\0", 6));
    EXPECT_EQ(instanceList[6], Sentinel);
    EXPECT_EQ(counterList[3], Sentinel);

    EXPECT_EQ(static_cast<DWORD>(PdhEnumObjectItemsW(nullptr, nullptr, u"Other", nullptr, &counters, nullptr,
                                                     &instances, PERF_DETAIL_WIZARD, 0)),
              0xC0000BB8u);
}

TEST_F(SubstituteContractTest, PdhQueriesAddOnlyExistingPathsAndPlayTheirScripts) {
    substitute::SeedDiskObjects({u"C:"}, {});
    const WideString path = u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer";
    substitute::ScriptCounter(path, {{7}, {0, PDH_NO_DATA}, {9, PDH_INVALID_DATA, 0}, {11, 0, PDH_INVALID_DATA}});

    PDH_HQUERY query = nullptr;
    ASSERT_EQ(PdhOpenQueryA(nullptr, 0, &query), 0);
    PDH_HCOUNTER counter = nullptr;
    EXPECT_EQ(static_cast<DWORD>(PdhAddCounterW(query, u"", 0, &counter)), 0xC0000BC0u);
    EXPECT_NE(PdhAddCounterW(query, u"\\LogicalDisk(D:)\\Avg. Disk Bytes/Transfer", 0, &counter), 0);
    ASSERT_EQ(PdhAddCounterW(query, path.c_str(), 0, &counter), 0);

    PDH_FMT_COUNTERVALUE value = {};
    auto read = [&] { return static_cast<DWORD>(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value)); };
    EXPECT_EQ(read(), 0x800007D5u);  // nothing collected yet
    EXPECT_EQ(PdhCollectQueryData(query), 0);
    EXPECT_EQ(read(), 0u);
    EXPECT_EQ(value.longValue, 7);
    EXPECT_EQ(static_cast<DWORD>(PdhCollectQueryData(query)), 0x800007D5u);
    EXPECT_EQ(read(), 0u);
    EXPECT_EQ(value.longValue, 7);  // no data: the value stays
    EXPECT_EQ(static_cast<DWORD>(PdhCollectQueryData(query)), 0xC0000BC6u);
    EXPECT_EQ(read(), 0u);
    EXPECT_EQ(value.longValue, 9);
    EXPECT_EQ(PdhCollectQueryData(query), 0);
    value.longValue = -1;
    EXPECT_EQ(read(), 0xC0000BC6u);
    EXPECT_EQ(value.longValue, -1);  // a failed read writes nothing
    EXPECT_EQ(PdhCollectQueryData(query), 0);  // the last sample repeats
    EXPECT_EQ(substitute::CollectCount(), 5u);
    EXPECT_EQ(PdhCloseQuery(query), 0);
    EXPECT_EQ(static_cast<DWORD>(PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value)), 0xC0000BBCu);
}

TEST_F(SubstituteContractTest, ScriptedFailuresHitTheCountedCall) {
    substitute::FailNext("PdhOpenQueryA", PDH_INVALID_DATA, 1);
    substitute::FailNext("PdhOpenQueryA", PDH_NO_DATA, 1);
    PDH_HQUERY queries[4] = {};
    std::vector<DWORD> statuses;
    for (auto& query : queries) statuses.push_back(static_cast<DWORD>(PdhOpenQueryA(nullptr, 0, &query)));
    EXPECT_THAT(statuses, ElementsAre(0u, 0xC0000BC6u, 0x800007D5u, 0u));
    EXPECT_FALSE(substitute::FailurePending("PdhOpenQueryA"));
    PdhCloseQuery(queries[0]);
    PdhCloseQuery(queries[3]);
}

TEST_F(SubstituteContractTest, LeaksAndMisuseAreReported) {
    PDH_HQUERY query = nullptr;
    PdhOpenQueryA(nullptr, 0, &query);
    HICON shared = substitute::SharedIcon(113);
    DestroyIcon(shared);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0, [](void*) -> unsigned { return 0; }, nullptr, 0, nullptr));
    ASSERT_TRUE(substitute::JoinThreads());
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    CloseHandle(thread);
    auto problems = TakeProblems();
    EXPECT_THAT(problems, ElementsAre(HasSubstr("shared icon"), HasSubstr("not open"), HasSubstr("query")));
}

TEST_F(SubstituteContractTest, WaitsTimeOutOnRunningThreadsAndSucceedOnEndedOnes) {
    static std::atomic<bool> release{false};
    release = false;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0,
        [](void*) -> unsigned {
            while (!release) Sleep(1);
            return 0;
        },
        nullptr, 0, nullptr));
    EXPECT_EQ(WaitForSingleObject(thread, 5), static_cast<DWORD>(WAIT_TIMEOUT));
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    ASSERT_EQ(substitute::WaitLog().size(), 2u);
    EXPECT_EQ(substitute::WaitLog()[0].timeout, 5u);
}

TEST_F(SubstituteContractTest, ShellRejectsRecordsItCannotRead) {
    NOTIFYICONDATAA record = {};
    record.cbSize = sizeof record;  // not the first-version size
    Shell_NotifyIconA(NIM_ADD, &record);
    record.cbSize = 88;
    std::memset(record.szTip, 'x', 64);  // no terminator
    Shell_NotifyIconA(NIM_ADD, &record);
    EXPECT_FALSE(substitute::TrayIcon());
    EXPECT_THAT(TakeProblems(), ElementsAre(HasSubstr("cbSize"), HasSubstr("szTip")));
}

TEST_F(SubstituteContractTest, ShellAddsOnceModifiesWhilePresentAndRestarts) {
    NOTIFYICONDATAA record = {};
    record.cbSize = 88;
    record.hIcon = substitute::SharedIcon(114);
    std::vector<BOOL> results;
    results.push_back(Shell_NotifyIconA(NIM_MODIFY, &record));
    results.push_back(Shell_NotifyIconA(NIM_ADD, &record));
    results.push_back(Shell_NotifyIconA(NIM_ADD, &record));
    substitute::RestartShell();
    results.push_back(Shell_NotifyIconA(NIM_DELETE, &record));
    results.push_back(Shell_NotifyIconA(NIM_ADD, &record));
    EXPECT_THAT(results, ElementsAre(FALSE, TRUE, FALSE, FALSE, TRUE));
}

// Conversions count, cut and fill as Windows does.
TEST_F(SubstituteContractTest, WideCharToMultiByteCountsTheTerminatorAndRefusesShortBuffers) {
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, nullptr, 0, nullptr, nullptr), 3);
    char buffer[8];
    std::memset(buffer, 0x55, sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abcdef", -1, buffer, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[4], 0x55);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20AC\U0001F600", -1, buffer, 8, nullptr, nullptr), 3);
    EXPECT_STREQ(buffer, "\x80?");
}

TEST_F(SubstituteContractTest, DoubleBytePageRoundTripsAndKnowsItsLeadBytes) {
    substitute::UseCodePage(932);
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_TRUE(IsDBCSLeadByte(0xFC));
    EXPECT_FALSE(IsDBCSLeadByte(0xA0));
    EXPECT_FALSE(IsDBCSLeadByte('a'));
    const WideString text = u"a\u4E00\uFF71\u7000";
    char bytes[16] = {};
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
    EXPECT_EQ(length, 7);
    WCHAR back[16] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes, -1, back, 16), 5);
    EXPECT_EQ(WideString(back), text);
    substitute::Reset();
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_FALSE(IsDBCSLeadByte(0x81));
}

TEST_F(SubstituteContractTest, ThreadsGetTheirOwnIdsAndLastErrors) {
    static DWORD seen[2];
    SetLastError(77);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0,
        [](void*) -> unsigned {
            seen[0] = GetCurrentThreadId();
            seen[1] = GetLastError();
            return 0;
        },
        nullptr, 0, nullptr));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_NE(seen[0], GetCurrentThreadId());
    EXPECT_EQ(seen[1], 0u);
    EXPECT_EQ(GetLastError(), 77u);
}

}  // namespace
