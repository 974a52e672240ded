#include "driveinfo/DriveProbes.h"
#include "driveinfo/DriveReport.h"
#include "tests/unit/DriveSamples.h"
#include "tests/unit/Machine.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

const char AdminHeader[] = "\r\nReading the drive internals using physical access with admin rights\r\n";
const char ScsiHeader[] = "\r\nReading the drive internals using SCSI...\r\n";
const char UserHeader[] = "\r\nReading the drive internals using physical access with current user rights\r\n";
const char SmartHeader[] = "\r\nReading the drive internals using SMART\r\n";

std::string PhysicalDrive(int i) { return "\\\\.\\PhysicalDrive" + std::to_string(i); }
std::string ScsiPort(int p) { return "\\\\.\\Scsi" + std::to_string(p) + ":"; }

// The report text of the sample drive `MODEL-<tag>` as FormatIdentifyBlock gives it.
std::string IdentifyText(int drive, const std::string& position, const std::string& tag) {
    std::string d = std::to_string(drive);
    return "\r\nDevice Descriptor for drive #" + d + ":\r\nProduct ID: MODEL-" + tag +
           "\r\nProduct Revision: R1\r\nSerial Number: SN" + tag + "\r\nDisk Buffer Size (bytes): 8192\r\n" +
           "Drive " + d + " - " + position + "\r\n\r\nDisk Geometry for drive #" + d +
           ":\r\nDisk is fixed\r\nSectors Per Track: 69632\r\nBytes Per Sector: 512\r\n"
           "Disk Size (bytes): 35651584\r\n";
}

samples::Words Drive(const std::string& tag) { return samples::IdentifyWords("MODEL-" + tag, "R1", "SN" + tag); }

std::vector<substitute::DeviceIoCall> CallsWithCode(DWORD code) {
    std::vector<substitute::DeviceIoCall> calls;
    for (auto& call : substitute::DeviceIoLog())
        if (call.code == code) calls.push_back(call);
    return calls;
}

std::vector<uint8_t> Bytes(std::initializer_list<std::pair<size_t, uint8_t>> set, size_t size) {
    std::vector<uint8_t> bytes(size, 0);
    for (auto [at, value] : set) bytes[at] = value;
    return bytes;
}

class DriveProbesTest : public MachineTest {
protected:
    void TearDown() override {
        // Every path above freed what it took; make sure there was something to free.
        EXPECT_EQ(substitute::GlobalBlocksInUse(), 0u);
        MachineTest::TearDown();
    }

    static void SmartDrive(int i, uint8_t deviceMap, const samples::Words& words) {
        substitute::SetDeviceAnswer(PhysicalDrive(i), SMART_GET_VERSION, {true, samples::VersionAnswer(deviceMap)});
        substitute::SetDeviceAnswer(PhysicalDrive(i), SMART_RCV_DRIVE_DATA, {true, samples::SmartAnswer(words)});
    }
};

TEST_F(DriveProbesTest, TheAdminProbeAsksEachDriveWithTheCommandItsMapChooses) {
    SmartDrive(2, 0x40, Drive("2"));  // bit 2 + 4: a packet device, master
    SmartDrive(3, 0x80, Drive("3"));  // bit 3 + 4: a packet device, slave
    SmartDrive(5, 0xFF, Drive("5"));  // past the map: always IDENTIFY DEVICE
    RunDriveProbe(ProbePhysicalAdmin);

    EXPECT_EQ(DriveReport, AdminHeader + IdentifyText(2, "Secondary Controller - Master drive", "2") +
                               IdentifyText(3, "Secondary Controller - Slave drive", "3") +
                               IdentifyText(5, "Tertiary Controller - Slave drive", "5"));
    auto opens = substitute::DeviceOpenLog();
    ASSERT_EQ(opens.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(opens[i].path, PhysicalDrive(i));
        EXPECT_EQ(opens[i].access, 0xC0000000u);
        EXPECT_EQ(opens[i].share, 3u);
        EXPECT_EQ(opens[i].disposition, 3u);
        EXPECT_EQ(opens[i].flags, 0u);
        EXPECT_FALSE(opens[i].securityGiven || opens[i].templateGiven);
    }
    auto versions = CallsWithCode(SMART_GET_VERSION);
    ASSERT_EQ(versions.size(), 3u);
    EXPECT_EQ(versions[0].inputSize, 0u);
    EXPECT_EQ(versions[0].outputSize, 24u);

    auto reads = CallsWithCode(SMART_RCV_DRIVE_DATA);
    ASSERT_EQ(reads.size(), 3u);
    const std::vector<uint8_t> expected[] = {
        Bytes({{1, 2}, {5, 1}, {9, 0xA0}, {10, 0xA1}, {12, 2}}, 32),
        Bytes({{1, 2}, {5, 1}, {9, 0xB0}, {10, 0xA1}, {12, 3}}, 32),
        Bytes({{1, 2}, {5, 1}, {9, 0xB0}, {10, 0xEC}, {12, 5}}, 32),
    };
    for (size_t k = 0; k < reads.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(reads[k].input, expected[k]);
        EXPECT_EQ(reads[k].inputSize, 32u);
        EXPECT_EQ(reads[k].outputSize, 528u);
        EXPECT_EQ(reads[k].returnedBefore, 0u);
    }
}

TEST_F(DriveProbesTest, AnEmptyDeviceMapStopsTheAdminProbeButNotTheSmartProbe) {
    SmartDrive(0, 0x00, Drive("0"));
    SmartDrive(1, 0x02, Drive("1"));
    RunDriveProbe(ProbePhysicalAdmin);
    EXPECT_EQ(DriveReport, AdminHeader + IdentifyText(1, "Primary Controller - Slave drive", "1"));
    EXPECT_EQ(CallsWithCode(SMART_RCV_DRIVE_DATA).size(), 1u);

    ClearDriveReport();
    RunDriveProbe(ProbeSmart);
    EXPECT_EQ(DriveReport, SmartHeader + IdentifyText(0, "Primary Controller - Master drive", "0") +
                               IdentifyText(1, "Primary Controller - Slave drive", "1"));
    auto reads = CallsWithCode(SMART_RCV_DRIVE_DATA);
    ASSERT_EQ(reads.size(), 3u);
    // The bare request names no drive: only the command is set.
    EXPECT_EQ(reads[1].input, Bytes({{10, 0xEC}}, 33));
    EXPECT_EQ(reads[1].outputSize, 545u);
    auto opens = substitute::DeviceOpenLog();
    EXPECT_EQ(opens.back().share, 7u);
    EXPECT_EQ(opens.back().access, 0xC0000000u);
}

TEST_F(DriveProbesTest, TheSmartProbeSkipsADriveWhoseVersionRequestFails) {
    substitute::SetDeviceAnswer(PhysicalDrive(0), SMART_GET_VERSION, {false, {}});
    substitute::SetDeviceAnswer(PhysicalDrive(0), SMART_RCV_DRIVE_DATA, {true, samples::SmartAnswer(Drive("0"))});
    RunDriveProbe(ProbeSmart);
    EXPECT_THAT(DriveReport, IsEmpty());
    EXPECT_THAT(CallsWithCode(SMART_RCV_DRIVE_DATA), IsEmpty());
}

TEST_F(DriveProbesTest, TheScsiProbeNumbersDrivesByPortAndTarget) {
    substitute::SetDeviceAnswer(ScsiPort(0), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("p0t0"))}, 0);
    substitute::SetDeviceAnswer(ScsiPort(0), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("p0t1"))}, 1);
    // Target 0 of port 3 answers, but without a model: nothing is there.
    samples::Words empty = Drive("x");
    empty[27] = 0x4100;
    substitute::SetDeviceAnswer(ScsiPort(3), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(empty)}, 0);
    substitute::SetDeviceAnswer(ScsiPort(3), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("p3t1"))}, 1);
    substitute::SetDeviceAnswer(ScsiPort(9), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("p9t0"))}, 0);
    substitute::SetDeviceAnswer(ScsiPort(9), IOCTL_SCSI_MINIPORT, {false, samples::ScsiAnswer(Drive("p9t1"))}, 1);
    RunDriveProbe(ProbeScsi);

    EXPECT_EQ(DriveReport, ScsiHeader + IdentifyText(0, "Primary Controller - Master drive", "p0t0") +
                               IdentifyText(1, "Primary Controller - Slave drive", "p0t1") +
                               IdentifyText(7, "Quaternary Controller - Slave drive", "p3t1") +
                               IdentifyText(18, "Master drive", "p9t0"));
    auto opens = substitute::DeviceOpenLog();
    ASSERT_EQ(opens.size(), 16u);
    EXPECT_EQ(opens[15].path, "\\\\.\\Scsi15:");
    EXPECT_EQ(opens[15].access, 0xC0000000u);
    EXPECT_EQ(opens[15].share, 3u);

    auto requests = CallsWithCode(IOCTL_SCSI_MINIPORT);
    ASSERT_EQ(requests.size(), 6u);
    for (size_t k = 0; k < requests.size(); ++k) {
        SCOPED_TRACE(k);
        std::vector<uint8_t> expected = Bytes({{0, 28}, {12, 0x10}, {13, 0x27}, {16, 0x01}, {17, 0x05}, {18, 0x1B},
                                               {24, 0x11}, {25, 0x02}, {38, 0xEC}, {40, uint8_t(k % 2)}},
                                              60);
        std::copy_n("SCSIDISK", 8, expected.begin() + 4);
        EXPECT_EQ(requests[k].input, expected);
        EXPECT_EQ(requests[k].outputSize, 557u);
    }
}

TEST_F(DriveProbesTest, TheUserProbeReportsTheDescriptorAndTheGeometryAsTheDriverGivesThem) {
    substitute::AddDevice(PhysicalDrive(0), substitute::DeviceAccess::NoReadWrite);
    substitute::SetDeviceAnswer(PhysicalDrive(0), IOCTL_STORAGE_QUERY_PROPERTY,
                                {true, samples::DescriptorAnswer("ATA     ", "4d6f64656c2058", "3130", "2020415A")});
    substitute::SetDeviceAnswer(PhysicalDrive(0), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX,
                                {true, samples::GeometryAnswer(60801, 12, 255, 63, 512, 500107862016)});
    // Drive 4's geometry request fails and its descriptor names no string; the descriptor stays.
    substitute::SetDeviceAnswer(PhysicalDrive(4), IOCTL_STORAGE_QUERY_PROPERTY,
                                {true, samples::DescriptorAnswer("", "", "", "")});
    substitute::SetDeviceAnswer(PhysicalDrive(6), IOCTL_STORAGE_QUERY_PROPERTY, {false, {}});
    substitute::SetDeviceAnswer(PhysicalDrive(7), IOCTL_STORAGE_QUERY_PROPERTY,
                                {true, samples::DescriptorAnswer("V", "P", "R", "S")});
    substitute::SetDeviceAnswer(PhysicalDrive(7), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX,
                                {true, samples::GeometryAnswer(-1, 11, 0xFFFFFFFF, 0x80000000, 4096, INT64_MIN)});
    RunDriveProbe(ProbePhysicalUser);

    EXPECT_EQ(DriveReport, std::string(UserHeader) +
                               "\r\nDevice Descriptor for drive #0:\r\nVendor ID: ATA\r\nProduct ID: Model X\r\n"
                               "Product Revision: 10\r\nSerial Number: ZA\r\n"
                               "\r\nDisk Geometry for drive #0:\r\nDisk is fixed\r\nCylinders: 60801\r\n"
                               "Tracks Per Cylinder: 255\r\nSectors Per Track: 63\r\nBytes Per Sector: 512\r\n"
                               "Disk Size (bytes): 500107862016\r\n"
                               "\r\nDevice Descriptor for drive #4:\r\nVendor ID: \r\nProduct ID: \r\n"
                               "Product Revision: \r\nSerial Number: \r\n"
                               "\r\nDevice Descriptor for drive #7:\r\nVendor ID: V\r\nProduct ID: P\r\n"
                               "Product Revision: R\r\nSerial Number: S\r\n"
                               "\r\nDisk Geometry for drive #7:\r\nDisk is NOT fixed\r\nCylinders: -1\r\n"
                               "Tracks Per Cylinder: -1\r\nSectors Per Track: -2147483648\r\nBytes Per Sector: 4096\r\n"
                               "Disk Size (bytes): -9223372036854775808\r\n");
    auto opens = substitute::DeviceOpenLog();
    ASSERT_EQ(opens.size(), 16u);
    EXPECT_EQ(opens[0].access, 0u);
    EXPECT_EQ(opens[0].share, 3u);
    auto queries = CallsWithCode(IOCTL_STORAGE_QUERY_PROPERTY);
    ASSERT_EQ(queries.size(), 4u);
    EXPECT_EQ(queries[0].input, std::vector<uint8_t>(12, 0));
    EXPECT_EQ(queries[0].outputSize, 512u);
    auto geometries = CallsWithCode(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX);
    ASSERT_EQ(geometries.size(), 3u);
    EXPECT_EQ(geometries[0].inputSize, 0u);
    EXPECT_EQ(geometries[0].outputSize, 512u);
}

TEST_F(DriveProbesTest, WithOnlyAccessFreeOpensTheReportHoldsTheUserProbeAlone) {
    for (int i : {0, 1}) {
        SmartDrive(i, 0x03, Drive(std::to_string(i)));
        substitute::AddDevice(PhysicalDrive(i), substitute::DeviceAccess::NoReadWrite);
        substitute::SetDeviceAnswer(PhysicalDrive(i), IOCTL_STORAGE_QUERY_PROPERTY,
                                    {true, samples::DescriptorAnswer("V", "P", "R", "S")});
    }
    substitute::AddDevice(ScsiPort(0), substitute::DeviceAccess::None);
    substitute::SetDeviceAnswer(ScsiPort(0), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("s"))});
    BuildDriveReport();
    const std::string descriptor = "\r\nVendor ID: V\r\nProduct ID: P\r\nProduct Revision: R\r\nSerial Number: S\r\n";
    EXPECT_EQ(DriveReport, UserHeader + ("\r\nDevice Descriptor for drive #0:" + descriptor) +
                               ("\r\nDevice Descriptor for drive #1:" + descriptor));
}

TEST_F(DriveProbesTest, AFullReportKeepsTheProbesInOrderEachHeaderOnce) {
    SmartDrive(0, 0x01, Drive("a"));
    SmartDrive(1, 0x02, Drive("b"));
    substitute::SetDeviceAnswer(PhysicalDrive(1), IOCTL_STORAGE_QUERY_PROPERTY,
                                {true, samples::DescriptorAnswer("V", "P", "R", "S")});
    substitute::SetDeviceAnswer(ScsiPort(1), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("c"))}, 1);
    const char* text = BuildDriveReport();
    EXPECT_EQ(text, DriveReport.c_str());
    EXPECT_EQ(DriveReport, AdminHeader + IdentifyText(0, "Primary Controller - Master drive", "a") +
                               IdentifyText(1, "Primary Controller - Slave drive", "b") + ScsiHeader +
                               IdentifyText(3, "Secondary Controller - Slave drive", "c") + UserHeader +
                               "\r\nDevice Descriptor for drive #1:\r\nVendor ID: V\r\nProduct ID: P\r\n"
                               "Product Revision: R\r\nSerial Number: S\r\n" +
                               SmartHeader + IdentifyText(0, "Primary Controller - Master drive", "a") +
                               IdentifyText(1, "Primary Controller - Slave drive", "b"));
    EXPECT_EQ(substitute::DeviceOpenLog().size(), 64u);
}

TEST_F(DriveProbesTest, FailuresSkipOnlyTheDeviceTheyHappenOn) {
    for (int i = 0; i < 3; ++i) SmartDrive(i, 0x07, Drive(std::to_string(i)));
    substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);         // drive 0's buffer
    substitute::FailNext("DeviceIoControl", ERROR_INVALID_FUNCTION, 2);  // drive 1's read
    substitute::FailNext("CreateFileA", ERROR_ACCESS_DENIED, 2);         // drive 2's open
    RunDriveProbe(ProbePhysicalAdmin);
    EXPECT_THAT(DriveReport, IsEmpty());
    EXPECT_GE(substitute::GlobalBlocksAllocated(), 1u);

    RunDriveProbe(ProbePhysicalAdmin);
    EXPECT_EQ(DriveReport, AdminHeader + IdentifyText(0, "Primary Controller - Master drive", "0") +
                               IdentifyText(1, "Primary Controller - Slave drive", "1") +
                               IdentifyText(2, "Secondary Controller - Master drive", "2"));

    // The SCSI probe takes a buffer per target: losing one loses only that target.
    ClearDriveReport();
    substitute::SetDeviceAnswer(ScsiPort(0), IOCTL_SCSI_MINIPORT, {true, samples::ScsiAnswer(Drive("t"))});
    substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    RunDriveProbe(ProbeScsi);
    EXPECT_EQ(DriveReport, ScsiHeader + IdentifyText(1, "Primary Controller - Slave drive", "t"));
}

struct PlatformCase {
    const char* name;
    DWORD platformId;
    bool failVersion;
    std::string report;
};

TEST_F(DriveProbesTest, OnlyNtFamilySystemsAreProbed) {
    const std::string message = "\r\nThis utility does allow to get disk internals from NT systems only";
    const std::string drive = IdentifyText(0, "Primary Controller - Master drive", "0");
    // A build adds to what the report holds; only the message replaces it.
    const PlatformCase cases[] = {
        {"NT", VER_PLATFORM_WIN32_NT, false, "left over" + (AdminHeader + drive) + SmartHeader + drive},
        {"9x", VER_PLATFORM_WIN32_WINDOWS, false, message},
        {"Win32s", VER_PLATFORM_WIN32s, false, message},
        {"version unknown", VER_PLATFORM_WIN32_NT, true, message},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        substitute::Reset();
        SmartDrive(0, 0x01, Drive("0"));
        substitute::SetPlatformId(c.platformId);
        if (c.failVersion) substitute::FailNext("GetVersionExA", ERROR_INVALID_PARAMETER);
        DriveReport = "left over";
        EXPECT_EQ(std::string(BuildDriveReport()), c.report);
        EXPECT_EQ(substitute::DeviceOpenLog().empty(), c.report == message);
    }
}

TEST_F(DriveProbesTest, ClearingTheReportGivesItsStorageBackAndTheNextBuildStartsAfresh) {
    for (int i = 0; i < 16; ++i) SmartDrive(i, 0x0F, Drive(std::to_string(i)));
    std::string first = BuildDriveReport();
    EXPECT_GT(DriveReport.capacity(), 10000u);
    ClearDriveReport();
    EXPECT_THAT(DriveReport, IsEmpty());
    EXPECT_EQ(DriveReport.capacity(), std::string().capacity());
    EXPECT_EQ(std::string(BuildDriveReport()), first);
}

}  // namespace
