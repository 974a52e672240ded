#include "driveinfo/DriveReport.h"

#include "driveinfo/DriveProbes.h"
#include "platform/Win32.h"

#include <cstring>

std::string DriveReport;

namespace {

constexpr char NotNtMessage[] = "\r\nThis utility does allow to get disk internals from NT systems only";

}  // namespace

void AppendToReport(const char* text) {
    DriveReport += text;
}

void ClearDriveReport() {
    std::string().swap(DriveReport);
}

// Runs the five probes in their fixed order on NT-family systems; elsewhere the report is one
// line saying why it is empty. Starts from whatever the report holds: closing the dialog empties it.
const char* BuildDriveReport() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        for (int probe = 0; probe < DriveProbeCount; ++probe) RunDriveProbe(static_cast<DriveProbe>(probe));
    } else {
        DriveReport = NotNtMessage;
    }
    return DriveReport.c_str();
}
