// The drive report: the recorded machines kept with the replay tool give their reports byte for
// byte; beside them, what the reports cannot show: the opens and requests, scripted failures and
// what the report held before.
#include "driveinfo/DriveProbes.h"
#include "driveinfo/DriveReport.h"
#include "tests/unit/Machine.h"
#include "tools/replay/DeviceRecording.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string PhysicalDrive(int i) { return "\\\\.\\PhysicalDrive" + std::to_string(i); }

// A drive both SMART probes report, with IDENTIFY data all zero.
void SmartDrive(int i, BYTE deviceMap) {
    substitute::SetDeviceAnswer(PhysicalDrive(i), SMART_GET_VERSION, {true, {1, 1, 0, deviceMap}});
    substitute::SetDeviceAnswer(PhysicalDrive(i), SMART_RCV_DRIVE_DATA, {true, {}});
}

// The numbers of the drives the report lists, in order.
std::string ListedDrives() {
    std::string listed;
    const std::string entry = "Descriptor for drive #";
    for (size_t at = DriveReport.find(entry); at != std::string::npos; at = DriveReport.find(entry, at + 1)) {
        size_t number = at + entry.size();
        listed += (listed.empty() ? "" : " ") + DriveReport.substr(number, DriveReport.find(':', number) - number);
    }
    return listed;
}

std::string Hex(unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// "code in>out", then each byte the request sets as offset:value, and the returned-byte count
// when it was not 0 before the call.
std::string Describe(const substitute::DeviceIoCall& call) {
    std::string text = Hex(call.code) + " " + std::to_string(call.input.size()) + ">" + std::to_string(call.outputSize);
    for (size_t i = 0; i < call.input.size(); ++i)
        if (call.input[i] != 0) text += " " + std::to_string(i) + ":" + Hex(call.input[i]);
    if (call.returnedBefore != 0) text += " returned " + std::to_string(call.returnedBefore);
    return text;
}

class DriveProbesTest : public MachineTest {};

TEST_F(DriveProbesTest, EveryRecordedMachineGivesItsReport) {
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(LUMENHOP_RECORDINGS)) {
        std::filesystem::path report = file.path();
        if (report.extension() != ".rec" || !std::filesystem::exists(report.replace_extension(".report"))) continue;
        SCOPED_TRACE(file.path().filename().string());
        substitute::Reset();
        ASSERT_EQ(replay::LoadDeviceRecording(ReadFile(file.path())), "");
        EXPECT_EQ(std::string(BuildDriveReport()), ReadFile(report));
        ClearDriveReport();
        EXPECT_THAT(substitute::Problems(), IsEmpty());
        ++replayed;
    }
    EXPECT_GE(replayed, 10);
}

TEST_F(DriveProbesTest, EachProbeOpensItsDevicesAndSendsItsRequests) {
    SmartDrive(2, 0x40);  // bit 2 + 4: a packet device
    SmartDrive(3, 0x80);  // bit 3 + 4: a packet device, slave
    SmartDrive(5, 0xFF);  // past the map: always IDENTIFY DEVICE
    substitute::SetDeviceAnswer(PhysicalDrive(2), IOCTL_STORAGE_QUERY_PROPERTY, {true, {}});
    substitute::AddDevice("\\\\.\\Scsi0:");
    BuildDriveReport();

    std::vector<std::string> calls;
    for (const auto& call : substitute::DeviceIoLog()) calls.push_back(Describe(call));
    const std::string srb = "4D008 60>557 0:1C 4:53 5:43 6:53 7:49 8:44 9:49 10:53 11:4B 12:10 13:27 16:1 17:5 18:1B "
                            "24:11 25:2 38:EC";
    EXPECT_THAT(calls, ElementsAre("74080 0>24", "7C088 32>528 1:2 5:1 9:A0 10:A1 12:2",  //
                                   "74080 0>24", "7C088 32>528 1:2 5:1 9:B0 10:A1 12:3",  //
                                   "74080 0>24", "7C088 32>528 1:2 5:1 9:B0 10:EC 12:5",  //
                                   srb, srb + " 40:1",                                    //
                                   "2D1400 12>512", "700A0 0>512", "2D1400 12>512", "2D1400 12>512",
                                   "74080 0>24", "7C088 33>545 10:EC", "74080 0>24", "7C088 33>545 10:EC",
                                   "74080 0>24", "7C088 33>545 10:EC"));

    // Sixteen opens a probe, the first and last of each shown.
    auto opens = substitute::DeviceOpenLog();
    ASSERT_EQ(opens.size(), 64u);
    std::vector<std::string> shown;
    for (size_t k : {0, 15, 16, 31, 32, 47, 48, 63})
        shown.push_back(opens[k].path + " " + Hex(opens[k].access) + " " + Hex(opens[k].share) + " " + Hex(opens[k].flags));
    EXPECT_THAT(shown, ElementsAre("\\\\.\\PhysicalDrive0 C0000000 3 0", "\\\\.\\PhysicalDrive15 C0000000 3 0",
                                   "\\\\.\\Scsi0: C0000000 3 0", "\\\\.\\Scsi15: C0000000 3 0",
                                   "\\\\.\\PhysicalDrive0 0 3 0", "\\\\.\\PhysicalDrive15 0 3 0",
                                   "\\\\.\\PhysicalDrive0 C0000000 7 0", "\\\\.\\PhysicalDrive15 C0000000 7 0"));
}

TEST_F(DriveProbesTest, AFailureSkipsOnlyTheDeviceItHappensOn) {
    for (int i = 0; i < 3; ++i) SmartDrive(i, 0x07);
    substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);         // drive 0's buffer
    substitute::FailNext("DeviceIoControl", ERROR_INVALID_FUNCTION, 2);  // drive 1's IDENTIFY
    substitute::FailNext("CreateFileA", ERROR_ACCESS_DENIED, 2);         // drive 2's open
    RunDriveProbe(ProbePhysicalAdmin);
    EXPECT_THAT(DriveReport, IsEmpty());
    RunDriveProbe(ProbePhysicalAdmin);
    EXPECT_EQ(ListedDrives(), "0 1 2");

    // The SCSI probe takes a buffer per target: losing one loses only that target.
    ClearDriveReport();
    substitute::SetDeviceAnswer("\\\\.\\Scsi0:", IOCTL_SCSI_MINIPORT, {true, std::vector<uint8_t>(99, 1)});
    substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    RunDriveProbe(ProbeScsi);
    EXPECT_EQ(ListedDrives(), "1");
    substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    RunDriveProbe(ProbeSmart);
    EXPECT_EQ(ListedDrives(), "1 1 2");
}

TEST_F(DriveProbesTest, ABuildAddsToTheReportAndOnlyTheMessageReplacesIt) {
    const std::string message = "\r\nThis utility does allow to get disk internals from NT systems only";
    SmartDrive(0, 0x01);
    DriveReport = "left over";
    BuildDriveReport();
    EXPECT_EQ(DriveReport.substr(0, 11), "left over\r\n");
    EXPECT_EQ(ListedDrives(), "0 0");

    // A system that does not say what it is gets the message without a drive asked.
    substitute::Reset();
    SmartDrive(0, 0x01);
    substitute::FailNext("GetVersionExA", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(std::string(BuildDriveReport()), message);
    EXPECT_THAT(substitute::DeviceOpenLog(), IsEmpty());
}

// A guard byte after the answer: a string that ran past the answer's end would take it in.
TEST_F(DriveProbesTest, ADescriptorStringIsReadFromTheAnswerAlone) {
    std::vector<BYTE> answer(DescriptorAnswerSize + 1, 'Q');
    char out[DescriptorTextAreaSize];
    for (DWORD offset : {0u, 512u, 513u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_STREQ(DecodeDescriptorString(answer.data(), offset, false, out), "") << offset;
    EXPECT_EQ(DecodeDescriptorString(answer.data(), 1, false, out), std::string(511, 'Q'));
    EXPECT_STREQ(DecodeDescriptorString(answer.data(), 511, true, out), "Q");
    std::fill(answer.begin(), answer.end(), '5');  // 511 digits: the lone last one is dropped
    EXPECT_EQ(DecodeDescriptorString(answer.data(), 1, false, out), std::string(255, 'U'));
}

}  // namespace
