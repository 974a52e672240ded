// The drive report: the recorded machines kept with the replay tool give their reports byte for
// byte; beside them, what the reports cannot show: the opens and requests the drivers see.
#include "driveinfo/DriveProbes.h"
#include "driveinfo/DriveReport.h"
#include "tests/unit/Machine.h"
#include "tools/replay/DeviceRecording.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Printed(const char* format, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
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
        EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
        ++replayed;
    }
    EXPECT_GE(replayed, 10);
}

// Drives 2, 3 and 5 and SCSI port 0 are there, and their drivers take every request: the SMART
// version answers with the device map (drive 2 a packet device, 3 a packet slave, 5 past the map).
TEST_F(DriveProbesTest, EachProbeOpensItsDevicesAndSendsItsRequests) {
    std::string opens;
    std::vector<std::string> requests;
    substitute::SetDeviceDriver(
        {[&](const std::string& path, DWORD access, DWORD share) {
             opens += path + " " + Printed("%X", access) + " " + Printed("%X", share) + ", ";
             bool there = path.ends_with("e2") || path.ends_with("e3") || path.ends_with("e5") || path.ends_with("i0:");
             return DWORD(there ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
         },
         [&](const std::string& path, DWORD code, const std::vector<uint8_t>& input, DWORD size) {
             requests.push_back(Printed("%X", code) + " " + std::to_string(input.size()) + ">" + std::to_string(size));
             for (size_t i = 0; i < input.size(); ++i)
                 if (input[i] != 0) requests.back() += " " + std::to_string(i) + ":" + Printed("%X", input[i]);
             BYTE map = path.back() == '2' ? 0x40 : path.back() == '3' ? 0x80 : 0xFF;
             return std::optional(code == SMART_GET_VERSION ? std::vector<uint8_t>{1, 1, 0, map}
                                                            : std::vector<uint8_t>{});
         }});
    BuildDriveReport();
    const std::string srb =
        "4D008 60>557 0:1C 4:53 5:43 6:53 7:49 8:44 9:49 10:53 11:4B 12:10 13:27 16:1 17:5 18:1B 24:11 25:2 38:EC";
    const std::string user = "2D1400 12>512", geometry = "700A0 0>512", version = "74080 0>24",
                      bare = "7C088 33>545 10:EC", nvme = "2D1400 4144>4144 0:31 8:3 12:1 16:1 24:28 29:10";
    EXPECT_THAT(requests, ::testing::ElementsAre(version, "7C088 32>528 1:2 5:1 9:A0 10:A1 12:2", version,
                                                 "7C088 32>528 1:2 5:1 9:B0 10:A1 12:3", version,
                                                 "7C088 32>528 1:2 5:1 9:B0 10:EC 12:5", srb, srb + " 40:1", user,
                                                 geometry, user, geometry, user, geometry, version, bare, version, bare,
                                                 version, bare, nvme, nvme, nvme));
    // Sixteen opens a probe: PhysicalDrive0..15 for data, Scsi0:..15: for data, PhysicalDrive0..15
    // without data access, then again for data with deleting shared, and once more without.
    std::string expected;
    for (auto [format, rights] : {std::pair{"\\\\.\\PhysicalDrive%u ", "C0000000 3, "},
                                  {"\\\\.\\Scsi%u: ", "C0000000 3, "},
                                  {"\\\\.\\PhysicalDrive%u ", "0 3, "},
                                  {"\\\\.\\PhysicalDrive%u ", "C0000000 7, "},
                                  {"\\\\.\\PhysicalDrive%u ", "0 3, "}})
        for (unsigned number = 0; number < 16; ++number) expected += Printed(format, number) + rights;
    EXPECT_EQ(opens, expected);
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
