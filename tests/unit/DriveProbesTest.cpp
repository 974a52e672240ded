// The drive probes: what the drivers are sent, field by field, what a probe does without memory,
// and descriptor strings read from their answer alone. The recorded machines' reports are checked
// by the replay tool's tests (tools/replay).
#include "driveinfo/DriveProbes.h"
#include "driveinfo/DriveReport.h"
#include "tests/unit/Machine.h"
#include "tools/replay/DeviceRecording.h"

#include <cstdio>
#include <fstream>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// Each request's fields as its driver reads them (little-endian numbers, the signature as text),
// after a row of width 0 that names the request. The replay tool's recordings answer a storage
// query only when every field of it is right.
struct Field {
    DWORD code;
    const char* name;
    size_t at, width;
};
const Field Fields[] = {
    {SMART_GET_VERSION, "SMART_GET_VERSION", 0, 0},
    {IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, "GEOMETRY", 0, 0},
    {IOCTL_STORAGE_QUERY_PROPERTY, "QUERY_PROPERTY", 0, 0},
    {SMART_RCV_DRIVE_DATA, "SMART_RCV_DRIVE_DATA", 0, 0},
    {SMART_RCV_DRIVE_DATA, "cBufferSize", 0, 4},
    {SMART_RCV_DRIVE_DATA, "bSectorCountReg", 5, 1},
    {SMART_RCV_DRIVE_DATA, "bDriveHeadReg", 9, 1},
    {SMART_RCV_DRIVE_DATA, "bCommandReg", 10, 1},
    {SMART_RCV_DRIVE_DATA, "bDriveNumber", 12, 1},
    {IOCTL_SCSI_MINIPORT, "IOCTL_SCSI_MINIPORT", 0, 0},
    {IOCTL_SCSI_MINIPORT, "HeaderLength", 0, 4},
    {IOCTL_SCSI_MINIPORT, "Signature", 4, 8},
    {IOCTL_SCSI_MINIPORT, "Timeout", 12, 4},
    {IOCTL_SCSI_MINIPORT, "ControlCode", 16, 4},
    {IOCTL_SCSI_MINIPORT, "Length", 24, 4},
    {IOCTL_SCSI_MINIPORT, "bCommandReg", 38, 1},
    {IOCTL_SCSI_MINIPORT, "bDriveNumber", 40, 1},
};

// "NAME in>out field=value ...": the signature and the numbers that are not zero.
std::string Describe(DWORD code, const std::vector<uint8_t>& input, DWORD outputSize) {
    std::string text;
    for (const Field& field : Fields) {
        if (field.code != code || field.at + field.width > input.size()) continue;
        const uint8_t* bytes = input.data() + field.at;
        unsigned number = 0;
        for (size_t i = 0; i < field.width && i < 4; ++i) number |= unsigned{bytes[i]} << (8 * i);
        if (field.width == 0)
            text = std::string(field.name) + " " + std::to_string(input.size()) + ">" + std::to_string(outputSize);
        else if (field.width == 8)
            text += " " + std::string(field.name) + "=" + std::string(bytes, bytes + 8);
        else if (number != 0)
            text += " " + std::string(field.name) + "=" + Hex(number);
    }
    return text;
}

class DriveProbesTest : public MachineTest {};

// Drives 2, 3 and 5 and SCSI port 0 are there, and their drivers take every request: the SMART
// version answers with the device map (drive 2 a packet device, 3 a packet slave, 5 past the map).
TEST_F(DriveProbesTest, EachProbeOpensItsDevicesAndSendsItsRequests) {
    std::vector<std::string> opens;
    std::vector<std::string> requests;
    substitute::SetDeviceDriver(
        {[&](const std::string& path, DWORD access, DWORD share) {
             opens.push_back(path + " " + Hex(access) + " " + Hex(share));
             bool there = path.ends_with("e2") || path.ends_with("e3") || path.ends_with("e5") || path.ends_with("i0:");
             return DWORD(there ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
         },
         [&](const std::string& path, DWORD code, const std::vector<uint8_t>& input, DWORD size) {
             requests.push_back(Describe(code, input, size));
             BYTE map = path.back() == '2' ? 0x40 : path.back() == '3' ? 0x80 : 0xFF;
             return std::optional(code == SMART_GET_VERSION ? std::vector<uint8_t>{1, 1, 0, map}
                                                            : std::vector<uint8_t>{});
         }});
    BuildDriveReport();
    const std::string version = "SMART_GET_VERSION 0>24", geometry = "GEOMETRY 0>512";
    const std::string ata = "SMART_RCV_DRIVE_DATA 32>528 cBufferSize=200 bSectorCountReg=1 bDriveHeadReg=";
    const std::string bare = "SMART_RCV_DRIVE_DATA 33>545 bCommandReg=EC";
    const std::string srb =
        "IOCTL_SCSI_MINIPORT 60>557 HeaderLength=1C Signature=SCSIDISK Timeout=2710 "
        "ControlCode=1B0501 Length=211 bCommandReg=EC";
    const std::string user = "QUERY_PROPERTY 12>512";
    const std::string nvme = "QUERY_PROPERTY 4144>4144";
    EXPECT_THAT(requests, ::testing::ElementsAre(version, ata + "A0 bCommandReg=A1 bDriveNumber=2", version,
                                                 ata + "B0 bCommandReg=A1 bDriveNumber=3", version,
                                                 ata + "B0 bCommandReg=EC bDriveNumber=5", srb, srb + " bDriveNumber=1",
                                                 user, geometry, user, geometry, user, geometry, version, bare, version,
                                                 bare, version, bare, nvme, nvme, nvme));
    // Sixteen opens a probe: PhysicalDrive0..15 for data, Scsi0:..15: for data, PhysicalDrive0..15
    // without data access, then again for data with deleting shared, and once more without.
    const DWORD data = GENERIC_READ | GENERIC_WRITE, shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    std::vector<std::string> expected;
    for (auto [device, access, share] : {std::tuple{"PhysicalDrive", data, shared},
                                         {"Scsi", data, shared},
                                         {"PhysicalDrive", 0u, shared},
                                         {"PhysicalDrive", data, shared | FILE_SHARE_DELETE},
                                         {"PhysicalDrive", 0u, shared}})
        for (unsigned number = 0; number < 16; ++number)
            expected.push_back("\\\\.\\" + std::string(device) + std::to_string(number) +
                               (device[0] == 'S' ? ": " : " ") + Hex(access) + " " + Hex(share));
    EXPECT_EQ(opens, expected);
}

// A probe that cannot have its buffer reports nothing and leaves nothing behind; on the same
// drives with memory it reports them.
TEST_F(DriveProbesTest, AProbeWithoutMemoryReportsNothingAndLeaksNothing) {
    const std::pair<DriveProbe, const char*> probes[] = {{ProbePhysicalAdmin, "nvme-desktop"},
                                                         {ProbeScsi, "every-probe"},
                                                         {ProbeSmart, "nvme-desktop"},
                                                         {ProbeNvmeUser, "nvme-desktop"}};
    for (auto [probe, recording] : probes) {
        SCOPED_TRACE("probe " + std::to_string(probe));
        for (bool memory : {true, false}) {
            substitute::Reset();
            ClearDriveReport();
            ASSERT_EQ(replay::LoadDeviceRecording(ReadFile(LUMENHOP_RECORDINGS "/" + std::string(recording) + ".rec")),
                      "");
            for (int i = 0; !memory && i < 32; ++i) substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
            RunDriveProbe(probe);
            EXPECT_EQ(DriveReport.empty(), !memory);
            EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
        }
    }
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
