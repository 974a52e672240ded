// The substitute's storage devices behave as the probes rely on Windows to behave.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

constexpr DWORD Sentinel = 0xDEADBEEF;
const char Drive0[] = "\\\\.\\PhysicalDrive0";

HANDLE Open(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

class DeviceControlTest : public MachineTest {};

struct OpenCase {
    substitute::DeviceAccess rule;
    DWORD access;
    DWORD error;  // 0: opens
};

TEST_F(DeviceControlTest, EachPathOpensByItsRule) {
    using substitute::DeviceAccess;
    const OpenCase cases[] = {
        {DeviceAccess::Any, GENERIC_READ | GENERIC_WRITE, 0},
        {DeviceAccess::Any, 0, 0},
        {DeviceAccess::NoReadWrite, GENERIC_READ, ERROR_ACCESS_DENIED},
        {DeviceAccess::NoReadWrite, 0, 0},
        {DeviceAccess::None, 0, ERROR_ACCESS_DENIED},
        {DeviceAccess::Absent, 0, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        substitute::Reset();
        substitute::AddDevice(Drive0, c.rule);
        SetLastError(Sentinel);
        // Paths are compared without regard to case.
        HANDLE device = Open("\\\\.\\PHYSICALDRIVE0", c.access);
        EXPECT_EQ(device == INVALID_HANDLE_VALUE, c.error != 0) << static_cast<int>(c.rule) << " " << c.access;
        EXPECT_EQ(GetLastError(), c.error) << static_cast<int>(c.rule) << " " << std::hex << c.access;
        if (device != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(device));
        }
    }
    EXPECT_EQ(Open("\\\\.\\PhysicalDrive1", 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(DeviceControlTest, AnswersAreCutToTheOutputBufferAndFailuresWriteNothing) {
    substitute::SetDeviceAnswer(Drive0, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, {true, {1, 2, 3, 4, 5, 6}});
    substitute::SetDeviceAnswer(Drive0, IOCTL_STORAGE_QUERY_PROPERTY, {false, {9, 9}});
    HANDLE device = Open(Drive0, 0);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);

    BYTE out[8];
    std::memset(out, 0xEE, sizeof out);
    DWORD returned = Sentinel;
    ASSERT_TRUE(DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out, 4, &returned, nullptr));
    EXPECT_EQ(returned, 4u);
    EXPECT_THAT(out, ElementsAre(1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE));

    std::memset(out, 0xEE, sizeof out);
    BYTE query[12] = {};
    returned = Sentinel;
    EXPECT_FALSE(DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, query, 12, out, 8, &returned, nullptr));
    EXPECT_EQ(returned, 0u);
    EXPECT_THAT(out, ElementsAre(0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE));

    // Unanswered codes fail; codes that need data access fail on a handle opened without it.
    EXPECT_FALSE(DeviceIoControl(device, 0x12345, nullptr, 0, out, 8, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    substitute::SetDeviceAnswer(Drive0, SMART_GET_VERSION, {true, {1}});
    EXPECT_FALSE(DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, out, 8, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(device));

    auto log = substitute::DeviceIoLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].returnedBefore, Sentinel);
    EXPECT_EQ(log[1].input, std::vector<uint8_t>(12, 0));
    EXPECT_EQ(log[1].outputSize, 8u);
    EXPECT_FALSE(log[1].result);
}

TEST_F(DeviceControlTest, ScsiAnswersFollowTheTargetTheRequestNames) {
    const char port[] = "\\\\.\\Scsi2:";
    substitute::SetDeviceAnswer(port, IOCTL_SCSI_MINIPORT, {true, {0xA0}});
    substitute::SetDeviceAnswer(port, IOCTL_SCSI_MINIPORT, {true, {0xA1}}, 1);
    substitute::SetDeviceAnswer(port, IOCTL_SCSI_MINIPORT, {false, {}}, 2);
    HANDLE device = Open(port, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    for (BYTE target : {0, 1, 2, 3}) {
        BYTE buffer[60] = {};
        buffer[40] = target;
        DWORD returned = 0;
        BOOL ok = DeviceIoControl(device, IOCTL_SCSI_MINIPORT, buffer, 60, buffer, 60, &returned, nullptr);
        EXPECT_EQ(ok, target != 2) << int{target};
        EXPECT_EQ(buffer[0], target == 2 ? 0 : target == 1 ? 0xA1 : 0xA0) << int{target};
    }
    EXPECT_TRUE(CloseHandle(device));
}

TEST_F(DeviceControlTest, LeftoversAndMisuseAreProblems) {
    BYTE* zeroed = static_cast<BYTE*>(GlobalAlloc(GPTR, 3));
    BYTE* raw = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 3));
    ASSERT_TRUE(zeroed && raw);
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
    EXPECT_THAT(substitute::Problems(), IsEmpty());

    EXPECT_EQ(GlobalFree(raw), raw);
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(substitute::Problems().size(), 2u);
    substitute::Reset();
}

TEST_F(DeviceControlTest, ARecordingSeedsDevicesAnswersAndThePlatform) {
    std::string error = substitute::LoadDeviceRecording(
        "# two drives\r\n"
        "platform 9x\r\n"
        "device \\\\.\\PhysicalDrive1 no-read-write\r\n"
        "answer \\\\.\\PhysicalDrive0 SMART_GET_VERSION ok 0102 00\r\n"
        "   03 04\r\n"
        "\r\n"
        "answer \\\\.\\PhysicalDrive1 0x2D1400 fail\n"
        "answer \\\\.\\Scsi0: IOCTL_SCSI_MINIPORT target 1 ok ff\n"
        "answer \\\\\\\\.\\\\Scsi0: 315400 ok EE");  // backslashes doubled as in C
    ASSERT_EQ(error, "");

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));

    EXPECT_EQ(Open("\\\\.\\PhysicalDrive1", GENERIC_READ), INVALID_HANDLE_VALUE);
    HANDLE drive0 = Open(Drive0, GENERIC_READ | GENERIC_WRITE);
    HANDLE drive1 = Open("\\\\.\\PhysicalDrive1", 0);
    HANDLE port = Open("\\\\.\\Scsi0:", GENERIC_READ | GENERIC_WRITE);
    BYTE out[8] = {};
    BYTE request[60] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(drive0, SMART_GET_VERSION, nullptr, 0, out, 8, &returned, nullptr));
    EXPECT_EQ(returned, 5u);
    EXPECT_THAT(out, ElementsAre(1, 2, 0, 3, 4, 0, 0, 0));
    EXPECT_FALSE(DeviceIoControl(drive1, IOCTL_STORAGE_QUERY_PROPERTY, request, 12, out, 8, &returned, nullptr));
    request[40] = 1;
    EXPECT_TRUE(DeviceIoControl(port, IOCTL_SCSI_MINIPORT, request, 60, out, 1, &returned, nullptr));
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_TRUE(DeviceIoControl(port, 315400, nullptr, 0, out, 1, &returned, nullptr));
    EXPECT_EQ(out[0], 0xEE);
    for (HANDLE h : {drive0, drive1, port}) EXPECT_TRUE(CloseHandle(h));
}

TEST_F(DeviceControlTest, ABadRecordingNamesItsLineAndSeedsNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"answer \\\\.\\PhysicalDrive0 SMART_GET_VERSION ok 0", "line 1: an odd number"},
        {"device \\\\.\\PhysicalDrive0 open\nanswer \\\\.\\PhysicalDrive0 SMART_GET_VERSION ok zz", "line 2: 'zz'"},
        {"answer \\\\.\\PhysicalDrive0 NO_SUCH_CODE ok", "line 1: unknown control code"},
        {"answer \\\\.\\PhysicalDrive0 0x100000000 ok", "line 1: unknown control code"},
        {"answer \\\\.\\PhysicalDrive0 1 maybe", "line 1: answer needs ok or fail"},
        {"answer \\\\.\\Scsi0: 1 target 256 ok", "line 1: target takes"},
        {"answer \\\\.\\Scsi0: 1 target", "line 1: target takes"},
        {"answer x 1 ok\nanswer X 1 fail", "line 2: this request is answered twice"},
        {"  01 02", "line 1: a continued line"},
        {"device x open\n  01", "line 2: a continued line"},
        {"device x sometimes", "line 1: unknown device rule"},
        {"platform", "line 1: platform takes"},
        {"platform os2", "line 1: unknown platform"},
        {"drive x", "line 1: unknown keyword"},
        {"device x open\n\nanswer x 1 ok \x01\x02", "line 3: '\x01\x02' is not hexadecimal"},
    };
    for (auto [text, error] : cases) {
        SCOPED_TRACE(text);
        EXPECT_THAT(substitute::LoadDeviceRecording(text), HasSubstr(error));
    }
    EXPECT_THAT(substitute::LoadDeviceRecording(std::string_view("device x open\nanswer x 1 ok\0", 28)),
                HasSubstr("line 2: a zero byte"));
    std::string tooLong = "answer x 1 ok " + std::string(2 * 65537, 'a');
    EXPECT_THAT(substitute::LoadDeviceRecording(tooLong), HasSubstr("more than 65536 bytes"));
    std::string longPath = "device \\\\.\\" + std::string(300, 'p') + " open";
    EXPECT_THAT(substitute::LoadDeviceRecording(longPath), HasSubstr("longer than 259"));
    for (const char* path : {"x", Drive0}) {
        EXPECT_EQ(Open(path, 0), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

}  // namespace
