// Reads a drive recording line by line into a machine of its own, which is made the substitute's
// device hook only when the whole recording has been read: a malformed recording seeds nothing.
#include "tools/replay/DeviceRecording.h"

#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace replay {
namespace {

// How a device path answers CreateFileA: the error of an open asking for reading or writing, and
// of one with access 0.
struct DeviceRule {
    std::string_view name;
    DWORD dataError, plainError;
};
constexpr DeviceRule DeviceRules[] = {{"open", ERROR_SUCCESS, ERROR_SUCCESS},
                                      {"no-read-write", ERROR_ACCESS_DENIED, ERROR_SUCCESS},
                                      {"refused", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
                                      {"absent", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}};

struct DeviceAnswer {
    bool success = true;
    std::vector<uint8_t> bytes;
};

// No target: the answer for every target without one of its own.
constexpr int AnyTarget = -1;
// Where a SCSI miniport request names its target: bDriveNumber of the SENDCMDINPARAMS at 28.
constexpr size_t ScsiTargetOffset = 40;

// The property queries an answer can be for, in the target's place; a storage query answer
// without one is the device descriptor's.
enum PropertyQuery { DeviceQuery, NvmeIdentifyQuery, NvmeHealthQuery, NoQuery = -2 };
constexpr std::string_view QueryNames[] = {"device", "nvme-identify", "nvme-health"};

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return at + 4 > bytes.size() ? 0xFFFFFFFFu
                                 : bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

// Which query a storage query request is, by its every field as the drivers read them: the
// descriptor (StorageDeviceProperty, PropertyStandardQuery), or an NVMe query for the Identify
// Controller data (StorageAdapterProtocolSpecificProperty, 4096 bytes) or the SMART / Health log
// (StorageDeviceProtocolSpecificProperty, 512 bytes), with its data right after the record. Any
// other request has no answer.
int QueryOf(const std::vector<uint8_t>& input) {
    if (Le32(input, 0) == 0 && Le32(input, 4) == 0) return DeviceQuery;
    struct Nvme {
        uint32_t property, dataType, value, length;
    };
    const Nvme queries[] = {{49, 1, 1, 4096}, {50, 2, 2, 512}};
    for (int i = 0; i < 2; ++i)
        if (Le32(input, 0) == queries[i].property && Le32(input, 4) == 0 && Le32(input, 8) == 3 &&
            Le32(input, 12) == queries[i].dataType && Le32(input, 16) == queries[i].value && Le32(input, 20) == 0 &&
            Le32(input, 24) == 40 && Le32(input, 28) == queries[i].length && input.size() == 48 + queries[i].length)
            return NvmeIdentifyQuery + i;
    return NoQuery;
}

// Paths are compared without regard to case, as the substitute compares them.
std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// The drivers of a recorded machine, by lower-case path: how each opens and what it answers.
struct Machine {
    std::optional<DWORD> platformId;
    std::map<std::string, const DeviceRule*> access;
    std::map<std::tuple<std::string, DWORD, int>, DeviceAnswer> answers;

    DWORD Open(const std::string& path, DWORD wanted) const {
        auto it = access.find(LowerCase(path));
        if (it == access.end()) return ERROR_FILE_NOT_FOUND;
        return (wanted & (GENERIC_READ | GENERIC_WRITE)) != 0 ? it->second->dataError : it->second->plainError;
    }

    std::optional<std::vector<uint8_t>> Request(const std::string& path, DWORD code,
                                                const std::vector<uint8_t>& input) const {
        int target =
            code == IOCTL_SCSI_MINIPORT && input.size() > ScsiTargetOffset ? input[ScsiTargetOffset] : AnyTarget;
        if (code == IOCTL_STORAGE_QUERY_PROPERTY && (target = QueryOf(input)) == NoQuery) return std::nullopt;
        auto it = answers.find({LowerCase(path), code, target});
        if (it == answers.end()) it = answers.find({LowerCase(path), code, AnyTarget});
        if (it == answers.end() || !it->second.success) return std::nullopt;
        return it->second.bytes;
    }
};

constexpr size_t MaxPathLength = 259;
constexpr size_t MaxAnswerBytes = 65536;

struct NamedCode {
    std::string_view name;
    DWORD code;
};
constexpr NamedCode CodeNames[] = {
    {"SMART_GET_VERSION", SMART_GET_VERSION},
    {"SMART_RCV_DRIVE_DATA", SMART_RCV_DRIVE_DATA},
    {"IOCTL_SCSI_MINIPORT", IOCTL_SCSI_MINIPORT},
    {"IOCTL_STORAGE_QUERY_PROPERTY", IOCTL_STORAGE_QUERY_PROPERTY},
    {"IOCTL_DISK_GET_DRIVE_GEOMETRY_EX", IOCTL_DISK_GET_DRIVE_GEOMETRY_EX},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        size_t start = at;
        while (at < line.size() && !IsBlank(line[at])) ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

// A decimal number, or a hexadecimal one after 0x; at most 32 bits.
std::optional<DWORD> ParseNumber(std::string_view word) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    DWORD value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

// Two hexadecimal digits.
std::optional<uint8_t> ParseByte(std::string_view digits) {
    uint8_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + 2, value, 16);
    if (error != std::errc() || end != digits.data() + 2) return std::nullopt;
    return value;
}

// Appends the bytes of hexadecimal words; the digits of one word come in pairs, and a word
// HH*N stands for the byte HH N times.
std::string AppendHexBytes(const std::vector<std::string_view>& words, size_t first, std::vector<uint8_t>& bytes) {
    for (size_t w = first; w < words.size(); ++w) {
        const bool repeated = words[w].size() > 3 && words[w][2] == '*';
        std::string_view digits = words[w].substr(0, repeated ? 2 : words[w].size());
        std::optional<DWORD> count = repeated ? ParseNumber(words[w].substr(3)) : DWORD{1};
        // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "'" + std::string.
        if (!count || digits.size() % 2 != 0)
            return std::string(1, '\'').append(words[w]).append("' is not hexadecimal");
        for (size_t i = 0; i < digits.size(); i += 2) {
            std::optional<uint8_t> byte = ParseByte(digits.substr(i, 2));
            if (!byte) return std::string(1, '\'').append(words[w]).append("' is not hexadecimal");
            if (*count > MaxAnswerBytes - bytes.size()) return "an answer of more than 65536 bytes";
            bytes.insert(bytes.end(), *count, *byte);
        }
    }
    return {};
}

// Reads one line into the machine; `answer` is the answer that a continued line adds bytes to.
std::string ParseRecordingLine(std::string_view line, Machine& machine, DeviceAnswer*& answer) {
    auto words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') return {};
    if (IsBlank(line[0])) {
        if (answer == nullptr) return "a continued line that follows no answer";
        return AppendHexBytes(words, 0, answer->bytes);
    }
    answer = nullptr;
    std::string_view keyword = words[0];
    if (keyword == "platform") {
        if (words.size() != 2) return "platform takes one word: nt, 9x or a number";
        machine.platformId = words[1] == "nt"   ? VER_PLATFORM_WIN32_NT
                             : words[1] == "9x" ? VER_PLATFORM_WIN32_WINDOWS
                                                : ParseNumber(words[1]);
        return machine.platformId ? "" : "unknown platform '" + std::string(words[1]) + "'";
    }
    if (words.size() >= 2 && words[1].size() > MaxPathLength) return "a device path longer than 259 characters";
    if (keyword == "device") {
        auto rule =
            words.size() == 3 ? std::ranges::find(DeviceRules, words[2], &DeviceRule::name) : std::end(DeviceRules);
        if (rule == std::end(DeviceRules)) return "device takes a path and one of open, no-read-write, refused, absent";
        machine.access[LowerCase(words[1])] = rule;
        return {};
    }
    if (keyword == "answer") {
        if (words.size() < 4) return "answer takes a path, a control code and ok or fail";
        auto named = std::ranges::find(CodeNames, words[2], &NamedCode::name);
        auto code = named != std::end(CodeNames) ? named->code : ParseNumber(words[2]);
        if (!code) return "unknown control code '" + std::string(words[2]) + "'";
        int target = *code == IOCTL_STORAGE_QUERY_PROPERTY ? DeviceQuery : AnyTarget;
        size_t next = 3;
        if (words[next] == "query") {
            auto name = next + 1 < words.size() ? std::ranges::find(QueryNames, words[next + 1]) : std::end(QueryNames);
            if (*code != IOCTL_STORAGE_QUERY_PROPERTY || name == std::end(QueryNames))
                return "query takes device, nvme-identify or nvme-health, after IOCTL_STORAGE_QUERY_PROPERTY";
            target = static_cast<int>(name - std::begin(QueryNames));
            next += 2;
        } else if (words[next] == "target" && *code != IOCTL_STORAGE_QUERY_PROPERTY) {
            auto number = next + 1 < words.size() ? ParseNumber(words[next + 1]) : std::nullopt;
            if (!number || *number > 255) return "target takes a number from 0 to 255";
            target = static_cast<int>(*number);
            next += 2;
        }
        if (next >= words.size() || (words[next] != "ok" && words[next] != "fail"))
            return "answer needs ok or fail after the control code";
        // The same request answered twice is a mistake in the recording, not a choice.
        auto [entry, added] = machine.answers.try_emplace({LowerCase(words[1]), *code, target});
        if (!added) return "this request is answered twice";
        // A path answered opens with any access unless a device line, before or after, says otherwise.
        machine.access.emplace(LowerCase(words[1]), &DeviceRules[0]);
        answer = &entry->second;
        answer->success = words[next] == "ok";
        return AppendHexBytes(words, next + 1, answer->bytes);
    }
    return "unknown keyword '" + std::string(keyword) + "'";
}

}  // namespace

std::string LoadDeviceRecording(std::string_view text) {
    auto machine = std::make_shared<Machine>();
    DeviceAnswer* answer = nullptr;
    for (size_t lineNumber = 1; !text.empty(); ++lineNumber) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string error =
            line.find('\0') != std::string_view::npos ? "a zero byte" : ParseRecordingLine(line, *machine, answer);
        if (!error.empty()) return "line " + std::to_string(lineNumber) + ": " + error;
    }
    substitute::SetDeviceDriver(
        {[machine](const std::string& path, DWORD access, DWORD) { return machine->Open(path, access); },
         [machine](const std::string& path, DWORD code, const std::vector<uint8_t>& input, DWORD) {
             return machine->Request(path, code, input);
         }});
    if (machine->platformId) substitute::SetPlatformId(*machine->platformId);
    return {};
}

}  // namespace replay
