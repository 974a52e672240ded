// Whatever the SCSI miniports answer, per target (short or long, failing or not, any bytes),
// the probe stays inside its buffer and closes and frees everything it takes.
#include "driveinfo/DriveProbes.h"
#include "tests/fuzz/ProbeFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    substitute::Reset();
    substitute::SetDeviceLogging(false);
    probefuzz::SeedDevices(data, "\\\\.\\Scsi%d:", {IOCTL_SCSI_MINIPORT}, true);
    probefuzz::RunProbe(ProbeScsi);
    return 0;
}
