// Whatever the drivers answer to the storage descriptor and geometry requests (string offsets
// anywhere, strings running to the end of the answer, answers short or long), the probe stays
// inside its areas and closes everything it opens.
#include "driveinfo/DriveProbes.h"
#include "tests/fuzz/ProbeFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    substitute::Reset();
    substitute::SetDeviceLogging(false);
    probefuzz::SeedDevices(data, "\\\\.\\PhysicalDrive%d", {IOCTL_STORAGE_QUERY_PROPERTY, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX});
    probefuzz::RunProbe(ProbePhysicalUser);
    return 0;
}
