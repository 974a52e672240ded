// The recording reader: what each kind of line seeds, and that a malformed recording names its
// line and seeds nothing.
#include "tools/replay/DeviceRecording.h"

#include "platform/Win32.h"
#include "platform/substitute/Substitute.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

HANDLE Open(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

class DeviceRecordingTest : public ::testing::Test {
protected:
    void SetUp() override { substitute::Reset(); }
    void TearDown() override { EXPECT_THAT(substitute::Problems(), IsEmpty()); }
};

// What the recorded machines (recordings/) do not show: CR LF line ends, a continued answer after a
// comment and a blank line, a code given as a number.
TEST_F(DeviceRecordingTest, ARecordingWithCrLfAndANumericCodeSeedsItsAnswer) {
    ASSERT_EQ(
        replay::LoadDeviceRecording("answer \\\\.\\PhysicalDrive0 0x74080 ok 0102\r\n# a comment\r\n\r\n 03 04\r\n"),
        "");
    HANDLE drive = Open("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE);
    BYTE out[6] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(drive, SMART_GET_VERSION, nullptr, 0, out, 6, &returned, nullptr));
    EXPECT_EQ(returned, 4u);
    EXPECT_THAT(out, ElementsAre(1, 2, 3, 4, 0, 0));
    EXPECT_TRUE(CloseHandle(drive));
}

TEST_F(DeviceRecordingTest, ABadRecordingNamesItsLineAndSeedsNothing) {
    const std::pair<std::string, const char*> cases[] = {
        {"answer \\\\.\\PhysicalDrive0 SMART_GET_VERSION ok 0", "line 1: '0' is not hexadecimal"},
        {"device \\\\.\\PhysicalDrive0 open\nanswer \\\\.\\PhysicalDrive0 SMART_GET_VERSION ok zz", "line 2: 'zz'"},
        {"answer \\\\.\\PhysicalDrive0 NO_SUCH_CODE ok", "line 1: unknown control code"},
        {"answer \\\\.\\PhysicalDrive0 1 maybe", "line 1: answer needs ok or fail"},
        {"answer \\\\.\\Scsi0: 1 target 256 ok", "line 1: target takes"},
        {"answer x 1 ok\nanswer X 1 fail", "line 2: this request is answered twice"},
        {"answer x IOCTL_STORAGE_QUERY_PROPERTY ok\nanswer x 0x2D1400 query device fail", "line 2: this request is"},
        {"answer x IOCTL_STORAGE_QUERY_PROPERTY query nvme ok", "line 1: query takes"},
        {"answer x 1 ok 01*x", "line 1: '01*x' is not hexadecimal"},
        {"answer x 1 ok 02 01*65536", "line 1: an answer of more than 65536 bytes"},
        {"device x open\n  01", "line 2: a continued line"},
        {"device x sometimes", "line 1: device takes"},
        {"platform", "line 1: platform takes"},
        {"platform os2", "line 1: unknown platform"},
        {"drive x", "line 1: unknown keyword"},
        {"device x open\n\nanswer x 1 ok \x01\x02", "line 3: '\x01\x02' is not hexadecimal"},
        {std::string("device x open\nanswer x 1 ok\0", 28), "line 2: a zero byte"},
        {"device \\\\.\\" + std::string(300, 'p') + " open", "line 1: a device path longer than 259"},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        EXPECT_THAT(replay::LoadDeviceRecording(text), HasSubstr(error));
    }
    for (const char* path : {"x", "\\\\.\\PhysicalDrive0"}) {
        EXPECT_EQ(Open(path, 0), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

}  // namespace
