// Whatever the drivers answer (any open rule; answers short or long, any bytes, failing or not;
// descriptor string offsets anywhere; a buffer that cannot be had), the probe that the first
// byte picks stays inside its buffers, closes and frees everything it takes and adds text
// without a zero byte.
#include "driveinfo/DriveProbes.h"
#include "driveinfo/DriveReport.h"
#include "platform/substitute/Substitute.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The devices each probe tries and the codes it sends them; a SCSI target answers on its own.
const char* const PathFormats[DriveProbeCount] = {"\\\\.\\PhysicalDrive%d", "\\\\.\\Scsi%d:",
                                                  "\\\\.\\PhysicalDrive%d", "\\\\.\\PhysicalDrive%d"};
const std::vector<DWORD> Codes[DriveProbeCount] = {{SMART_GET_VERSION, SMART_RCV_DRIVE_DATA},
                                                    {IOCTL_SCSI_MINIPORT},
                                                    {IOCTL_STORAGE_QUERY_PROPERTY, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX},
                                                    {SMART_GET_VERSION, SMART_RCV_DRIVE_DATA}};

std::vector<uint8_t> TakeAnswer(FuzzedDataProvider& data) {
    // Mostly around the sizes the probes ask for, sometimes far beyond them.
    size_t length = data.ConsumeBool() ? data.ConsumeIntegralInRange<size_t>(0, 600)
                                       : data.ConsumeIntegralInRange<size_t>(0, 4096);
    std::vector<uint8_t> bytes = data.ConsumeBytes<uint8_t>(length);
    // Descriptor string offsets that land inside the answer, near its end or just past it.
    if (bytes.size() >= 28 && data.ConsumeBool())
        for (size_t field = 12; field <= 24; field += 4) {
            uint32_t offset = data.ConsumeIntegralInRange<uint32_t>(0, 520);
            for (int i = 0; i < 4; ++i) bytes[field + i] = static_cast<uint8_t>(offset >> (8 * i));
        }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    auto probe = static_cast<DriveProbe>(bytes[0] % DriveProbeCount);
    FuzzedDataProvider data(bytes + 1, size - 1);
    substitute::Reset();
    substitute::SetDeviceLogging(false);
    using substitute::DeviceAccess;
    const DeviceAccess rules[] = {DeviceAccess::Any, DeviceAccess::Any, DeviceAccess::NoReadWrite,
                                  DeviceAccess::None, DeviceAccess::Absent};
    for (int number = 0; number < 16 && data.remaining_bytes() > 0; ++number) {
        char path[64];
        std::snprintf(path, sizeof path, PathFormats[probe], number);
        substitute::AddDevice(path, data.PickValueInArray(rules));
        for (DWORD code : Codes[probe])
            for (int target = 0; target < (probe == ProbeScsi ? 2 : 1); ++target) {
                if (!data.ConsumeBool()) continue;
                bool success = data.ConsumeIntegralInRange<int>(0, 7) != 0;
                auto which = probe == ProbeScsi ? std::optional<uint8_t>(target) : std::nullopt;
                substitute::SetDeviceAnswer(path, code, {success, TakeAnswer(data)}, which);
            }
    }
    if (data.ConsumeBool())
        substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, data.ConsumeIntegralInRange<unsigned>(0, 40));

    ClearDriveReport();
    RunDriveProbe(probe);
    auto problems = substitute::Problems();
    for (const auto& problem : problems) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    Check(problems.empty(), "the probe misused the devices or left something open");
    Check(DriveReport.find('\0') == std::string::npos, "the report holds a zero byte");
    ClearDriveReport();
    return 0;
}
