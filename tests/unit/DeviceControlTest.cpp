// The substitute's storage devices behave as the probes rely on Windows to behave.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr DWORD Sentinel = 0xDEADBEEF;
const char Drive0[] = "\\\\.\\PhysicalDrive0";

HANDLE Open(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

class DeviceControlTest : public MachineTest {};

TEST_F(DeviceControlTest, EachPathOpensByItsRule) {
    using substitute::DeviceAccess;
    const struct {
        DeviceAccess rule;
        DWORD access;
        DWORD error;  // 0: opens
    } cases[] = {{DeviceAccess::Any, GENERIC_READ | GENERIC_WRITE, 0}, {DeviceAccess::NoReadWrite, GENERIC_READ, 0x5},
                 {DeviceAccess::NoReadWrite, 0, 0}, {DeviceAccess::None, 0, 0x5}, {DeviceAccess::Absent, 0, 0x2}};
    for (const auto& c : cases) {
        substitute::Reset();
        substitute::AddDevice(Drive0, c.rule);
        SetLastError(Sentinel);
        HANDLE device = Open("\\\\.\\PHYSICALDRIVE0", c.access);  // paths are compared without regard to case
        EXPECT_EQ(GetLastError(), c.error) << static_cast<int>(c.rule) << " " << std::hex << c.access;
        EXPECT_EQ(device == INVALID_HANDLE_VALUE, c.error != 0);
        if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
    }
    EXPECT_EQ(Open("\\\\.\\PhysicalDrive1", 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0x2u);
}

TEST_F(DeviceControlTest, AnswersAreCutToTheOutputBufferAndFailuresWriteNothing) {
    substitute::SetDeviceAnswer(Drive0, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, {true, {1, 2, 3, 4, 5, 6}});
    substitute::SetDeviceAnswer(Drive0, IOCTL_STORAGE_QUERY_PROPERTY, {false, {9, 9}});
    substitute::SetDeviceAnswer(Drive0, SMART_GET_VERSION, {true, {1}});
    HANDLE device = Open(Drive0, 0);
    BYTE out[8];
    std::memset(out, 0xEE, sizeof out);
    DWORD returned = Sentinel;
    EXPECT_TRUE(DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out, 4, &returned, nullptr));
    EXPECT_EQ(returned, 4u);
    EXPECT_THAT(out, ElementsAre(1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE));

    // A failing request, one nobody answers, and one that needs data access on a handle opened
    // without it: nothing written, the count 0.
    for (auto [code, error] : {std::pair<DWORD, DWORD>{IOCTL_STORAGE_QUERY_PROPERTY, 0x1}, {0x12345, 0x1},
                               {SMART_GET_VERSION, 0x5}}) {
        BYTE query[12] = {};
        returned = Sentinel;
        EXPECT_FALSE(DeviceIoControl(device, code, query, sizeof query, out + 4, 4, &returned, nullptr));
        EXPECT_EQ(GetLastError(), error) << std::hex << code;
        EXPECT_EQ(returned, 0u);
    }
    EXPECT_THAT(out, ElementsAre(1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE));
    EXPECT_TRUE(CloseHandle(device));
}

TEST_F(DeviceControlTest, LeftoversAndMisuseAreProblems) {
    BYTE* zeroed = static_cast<BYTE*>(GlobalAlloc(GPTR, 3));
    BYTE* raw = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 3));
    EXPECT_THAT(std::vector<BYTE>(zeroed, zeroed + 3), ElementsAre(0, 0, 0));
    EXPECT_NE(raw[0], 0);  // never zero by chance
    substitute::AddDevice(Drive0);
    HANDLE device = Open(Drive0, 0);
    EXPECT_THAT(substitute::Problems(), ElementsAre(HasSubstr("device handle was never closed"),
                                                    HasSubstr("3 bytes was never freed"),
                                                    HasSubstr("3 bytes was never freed")));
    EXPECT_EQ(GlobalFree(zeroed), nullptr);
    EXPECT_EQ(GlobalFree(raw), nullptr);
    EXPECT_TRUE(CloseHandle(device));

    EXPECT_EQ(GlobalFree(raw), raw);
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(TakeProblems().size(), 2u);
}

}  // namespace
