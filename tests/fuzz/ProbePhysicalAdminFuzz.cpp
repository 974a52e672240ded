// Whatever the drivers answer to the SMART version and IDENTIFY requests of the admin probe
// (device maps of any value, answers short or long, failing or not), the probe stays inside its
// buffers and closes and frees everything it takes.
#include "driveinfo/DriveProbes.h"
#include "tests/fuzz/ProbeFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    substitute::Reset();
    substitute::SetDeviceLogging(false);
    probefuzz::SeedDevices(data, "\\\\.\\PhysicalDrive%d", {SMART_GET_VERSION, SMART_RCV_DRIVE_DATA});
    probefuzz::RunProbe(ProbePhysicalAdmin);
    return 0;
}
