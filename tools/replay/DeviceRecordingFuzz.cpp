// Any text as a drive recording: it is either refused with a line number or seeds a machine on
// which the whole report builds without leaving a device open or a buffer allocated.
#include "driveinfo/DriveReport.h"
#include "platform/substitute/Substitute.h"
#include "tools/replay/DeviceRecording.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    substitute::Reset();
    ClearDriveReport();
    std::string error = replay::LoadDeviceRecording(std::string_view(reinterpret_cast<const char*>(bytes), size));
    // A refusal names its line.
    if (!error.empty()) {
        if (error.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    BuildDriveReport();
    auto problems = substitute::Problems();
    for (const auto& problem : problems) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    if (!problems.empty()) std::abort();  // the report left something open
    ClearDriveReport();
    return 0;
}
