// Builds the Disk Information report from a recording of a machine's drive answers and prints it
// exactly as the dialog would show it, CR LF line ends and all; or checks it against a report
// kept beside the recording. The report comes from the program's own probes, running against the
// substitute seeded from the recording.
#include "driveinfo/DriveReport.h"
#include "platform/substitute/Substitute.h"
#include "tools/replay/DeviceRecording.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
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

// Line and column of a byte offset, counting lines by their line feeds.
std::string Position(const std::string& text, size_t offset) {
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n') ++line, lineStart = i + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

// One line of the text around `offset`, with the control characters spelled out.
std::string ShownLine(const std::string& text, size_t offset) {
    size_t start = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    start = (start == std::string::npos || offset == 0) ? 0 : start + 1;
    size_t end = text.find('\n', offset);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string shown;
    for (size_t i = start; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else
            shown += static_cast<char>(c);
    }
    return shown.empty() ? "(end of text)" : shown;
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
    size_t at = 0;
    while (at < report.size() && at < expected->size() && report[at] == (*expected)[at]) ++at;
    std::cerr << recordingPath << ": the report differs from " << expectPath << " at byte " << at << " ("
              << Position(*expected, at) << ")\n"
              << "  expected: " << ShownLine(*expected, at) << "\n"
              << "  got:      " << ShownLine(report, at) << "\n";
    return ExitDiffers;
}
