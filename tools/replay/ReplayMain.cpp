// Builds the Disk Information report from a recording of a machine's drive answers and prints it
// exactly as the dialog would show it, CR LF line ends and all; or checks it against a report
// kept beside the recording. The report comes from the program's own probes, running against the
// substitute seeded from the recording.
#include "driveinfo/DriveReport.h"
#include "platform/substitute/Substitute.h"
#include "tools/replay/DeviceRecording.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitDiffers = 1;
constexpr int ExitUsage = 2;
constexpr int ExitBadRecording = 3;
constexpr int ExitMisuse = 4;

std::optional<std::string> ReadAll(const std::string& path) {
    if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

int Usage() {
    std::cerr << "usage: lumenhop_replay RECORDING [--expect REPORT]\n"
                 "  Prints the Disk Information report that the drives of RECORDING give ('-' reads\n"
                 "  standard input). With --expect, compares it byte for byte with REPORT instead and\n"
                 "  exits 1 on the first difference. The format is in tools/replay/RECORDING.md.\n";
    return ExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::string recordingPath, expectPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--expect") == 0 && i + 1 < argc && expectPath.empty())
            expectPath = argv[++i];
        else if (recordingPath.empty() && (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0))
            recordingPath = argv[i];
        else
            return Usage();
    }
    if (recordingPath.empty()) return Usage();

    auto recording = ReadAll(recordingPath);
    if (!recording) {
        std::cerr << recordingPath << ": cannot be read\n";
        return ExitUsage;
    }
    substitute::Reset();
    std::string error = replay::LoadDeviceRecording(*recording);
    if (!error.empty()) {
        std::cerr << recordingPath << ": " << error << "\n";
        return ExitBadRecording;
    }
    std::string report = BuildDriveReport();
    ClearDriveReport();

    // The probes must have closed every device and freed every buffer, as the exe would.
    auto problems = substitute::Problems();
    for (const auto& problem : problems) std::cerr << "misuse: " << problem << "\n";
    if (!problems.empty()) return ExitMisuse;

    if (expectPath.empty()) {
        std::fwrite(report.data(), 1, report.size(), stdout);
        return std::fflush(stdout) == 0 ? ExitOk : ExitUsage;
    }
    auto expected = ReadAll(expectPath);
    if (!expected) {
        std::cerr << expectPath << ": cannot be read\n";
        return ExitUsage;
    }
    if (report == *expected) return ExitOk;
    // The first byte that differs, and its line in the expected report.
    auto [got, want] = std::mismatch(report.begin(), report.end(), expected->begin(), expected->end());
    const long line = 1 + std::count(expected->begin(), want, '\n');
    std::cerr << recordingPath << ": the report differs from " << expectPath << " at byte "
              << (want - expected->begin()) << ", line " << line << "\n";
    return ExitDiffers;
}
