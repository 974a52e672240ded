// Storage devices and their drivers' answers, and fixed global memory blocks.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace substitute::detail {
namespace {

using substitute::DeviceAccess;
using substitute::DeviceAnswer;
using substitute::DeviceIoCall;
using substitute::DeviceOpenCall;

// No target: the answer for every target without one of its own.
constexpr int AnyTarget = -1;
// Where a SCSI miniport request names its target: bDriveNumber of the SENDCMDINPARAMS at 28.
constexpr DWORD ScsiTargetOffset = 40;

struct DeviceRecord {
    DeviceAccess access = DeviceAccess::Any;
    std::map<std::pair<DWORD, int>, DeviceAnswer> answers;
};

struct OpenDevice {
    std::string path;
    std::string key;
    DWORD access;
};

struct DeviceState {
    std::map<std::string, DeviceRecord> devices;
    std::map<uintptr_t, OpenDevice> opens;
    uintptr_t nextOpen = 1;
    std::vector<DeviceOpenCall> openLog;
    std::vector<DeviceIoCall> ioLog;
    bool logging = true;
    std::map<void*, size_t> blocks;
    size_t blocksAllocated = 0;
};

DeviceState& State() {
    static DeviceState state;
    return state;
}

void FreeAllBlocks() {
    for (auto& [block, size] : State().blocks) delete[] static_cast<BYTE*>(block);
    State().blocks.clear();
}

const bool Registered = RegisterModel(Model{
    [] {
        FreeAllBlocks();
        State() = DeviceState{};
    },
    [](std::vector<std::string>& leaks) {
        for (auto& [block, size] : State().blocks)
            leaks.push_back("a global memory block of " + std::to_string(size) + " bytes was never freed");
    },
});

std::string DeviceKey(std::string_view path) {
    std::string key(path);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// The access bits a control code asks of the handle it is sent on.
DWORD RequiredAccess(DWORD code) {
    DWORD bits = (code >> 14) & 3;
    return ((bits & 1) ? GENERIC_READ : 0) | ((bits & 2) ? GENERIC_WRITE : 0);
}

const DeviceAnswer* FindAnswer(const DeviceRecord& device, DWORD code, int target) {
    auto it = device.answers.find({code, target});
    if (it == device.answers.end() && target != AnyTarget) it = device.answers.find({code, AnyTarget});
    return it == device.answers.end() ? nullptr : &it->second;
}


// A recording, read in full before anything is seeded.
struct RecordedAnswer {
    std::string path;
    DWORD code;
    int target;
    DeviceAnswer answer;
    size_t line;
};

struct Recording {
    std::optional<DWORD> platformId;
    std::vector<std::pair<std::string, DeviceAccess>> devices;
    std::vector<RecordedAnswer> answers;
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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A device path as written in a recording: as Windows has it, or with every backslash doubled
// as in C source.
std::string RecordedPath(std::string_view word) {
    if (word.substr(0, 4) != "\\\\\\\\") return std::string(word);
    std::string path;
    for (size_t i = 0; i < word.size(); ++i) {
        path.push_back(word[i]);
        if (word[i] == '\\' && i + 1 < word.size() && word[i + 1] == '\\') ++i;
    }
    return path;
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

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal number, or a hexadecimal one after 0x; at most 32 bits.
std::optional<DWORD> ParseNumber(std::string_view word) {
    unsigned base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    if (word.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : word) {
        int digit = HexValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

std::optional<DWORD> ParseCode(std::string_view word) {
    for (const auto& named : CodeNames)
        if (named.name == word) return named.code;
    return ParseNumber(word);
}

// Appends the bytes of hexadecimal words; the digits of one word come in pairs.
std::string AppendHexBytes(const std::vector<std::string_view>& words, size_t first, std::vector<uint8_t>& bytes) {
    for (size_t w = first; w < words.size(); ++w) {
        std::string_view word = words[w];
        if (word.size() % 2 != 0) return "an odd number of hexadecimal digits in '" + std::string(word) + "'";
        for (size_t i = 0; i < word.size(); i += 2) {
            int high = HexValue(word[i]), low = HexValue(word[i + 1]);
            // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "'" + std::string.
            if (high < 0 || low < 0) return std::string(1, '\'').append(word).append("' is not hexadecimal");
            if (bytes.size() >= MaxAnswerBytes) return "an answer of more than 65536 bytes";
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
    }
    return {};
}

std::string ParseRecordingLine(std::string_view line, size_t lineNumber, Recording& recording, bool& inAnswer) {
    auto words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') return {};
    bool continuation = IsBlank(line[0]);
    if (continuation) {
        if (!inAnswer) return "a continued line that follows no answer";
        return AppendHexBytes(words, 0, recording.answers.back().answer.bytes);
    }
    inAnswer = false;
    std::string_view keyword = words[0];
    if (keyword == "platform") {
        if (words.size() != 2) return "platform takes one word: nt, 9x or a number";
        if (words[1] == "nt")
            recording.platformId = VER_PLATFORM_WIN32_NT;
        else if (words[1] == "9x")
            recording.platformId = VER_PLATFORM_WIN32_WINDOWS;
        else if (auto id = ParseNumber(words[1]))
            recording.platformId = *id;
        else
            return "unknown platform '" + std::string(words[1]) + "'";
        return {};
    }
    if (words.size() >= 2 && words[1].size() > MaxPathLength) return "a device path longer than 259 characters";
    if (keyword == "device") {
        static const std::pair<std::string_view, DeviceAccess> rules[] = {
            {"open", DeviceAccess::Any},
            {"no-read-write", DeviceAccess::NoReadWrite},
            {"refused", DeviceAccess::None},
            {"absent", DeviceAccess::Absent},
        };
        if (words.size() != 3) return "device takes a path and one of open, no-read-write, refused, absent";
        for (auto& [name, access] : rules)
            if (words[2] == name) {
                recording.devices.emplace_back(RecordedPath(words[1]), access);
                return {};
            }
        return "unknown device rule '" + std::string(words[2]) + "'";
    }
    if (keyword == "answer") {
        if (words.size() < 4) return "answer takes a path, a control code and ok or fail";
        RecordedAnswer entry{RecordedPath(words[1]), 0, AnyTarget, {}, lineNumber};
        auto code = ParseCode(words[2]);
        if (!code) return "unknown control code '" + std::string(words[2]) + "'";
        entry.code = *code;
        size_t next = 3;
        if (words[next] == "target") {
            auto target = next + 1 < words.size() ? ParseNumber(words[next + 1]) : std::nullopt;
            if (!target || *target > 255) return "target takes a number from 0 to 255";
            entry.target = static_cast<int>(*target);
            next += 2;
        }
        if (next >= words.size() || (words[next] != "ok" && words[next] != "fail"))
            return "answer needs ok or fail after the control code";
        entry.answer.success = words[next] == "ok";
        recording.answers.push_back(std::move(entry));
        inAnswer = true;
        return AppendHexBytes(words, next + 1, recording.answers.back().answer.bytes);
    }
    return "unknown keyword '" + std::string(keyword) + "'";
}

std::string ParseRecording(std::string_view text, Recording& recording) {
    bool inAnswer = false;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos) return "line " + std::to_string(lineNumber) + ": a zero byte";
        std::string error = ParseRecordingLine(line, lineNumber, recording, inAnswer);
        if (!error.empty()) return "line " + std::to_string(lineNumber) + ": " + error;
    }
    // The same request answered twice is a mistake in the recording, not a choice.
    std::set<std::tuple<std::string, DWORD, int>> seen;
    for (const auto& entry : recording.answers)
        if (!seen.insert({DeviceKey(entry.path), entry.code, entry.target}).second)
            return "line " + std::to_string(entry.line) + ": this request is answered twice";
    return {};
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::DeviceAccess;

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, struct _SECURITY_ATTRIBUTES* security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (name == nullptr) {
        Problem("CreateFileA without a file name");
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::unique_lock lock(Mutex());
    auto& state = State();
    DeviceOpenCall call{name, access, share, disposition, flags, security != nullptr,
                        templateFile != nullptr, false};
    auto logged = [&](DWORD error) {
        if (state.logging) state.openLog.push_back(call);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    if (auto failure = TakeFailure("CreateFileA")) return logged(*failure);

    std::string key = DeviceKey(name);
    auto device = state.devices.find(key);
    if (device == state.devices.end() || device->second.access == DeviceAccess::Absent)
        return logged(ERROR_FILE_NOT_FOUND);
    if (disposition != OPEN_EXISTING) return logged(ERROR_INVALID_PARAMETER);
    bool wantsData = (access & (GENERIC_READ | GENERIC_WRITE)) != 0;
    if (device->second.access == DeviceAccess::None ||
        (device->second.access == DeviceAccess::NoReadWrite && wantsData))
        return logged(ERROR_ACCESS_DENIED);

    uintptr_t object = state.nextOpen++;
    state.opens[object] = OpenDevice{name, key, access};
    call.opened = true;
    if (state.logging) state.openLog.push_back(call);
    HANDLE handle = OpenKernelHandle(HandleKind::Device, object, [object] {
        std::lock_guard closeLock(Mutex());
        State().opens.erase(object);
    });
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                            DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    auto object = KernelObject(device, HandleKind::Device);
    if (!object || !state.opens.count(*object)) {
        Problem("DeviceIoControl on a handle that is not an open device");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr || bytesReturned == nullptr) {
        // Without an overlapped record Windows writes the count through the pointer.
        Problem("DeviceIoControl: synchronous calls need a byte count and no overlapped record");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((inBuffer == nullptr && inSize != 0) || (outBuffer == nullptr && outSize != 0)) {
        Problem("DeviceIoControl: a buffer size without a buffer");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const OpenDevice& open = state.opens[*object];
    DeviceIoCall call{open.path, open.access, code, {}, inSize, outSize, *bytesReturned, FALSE};
    // The request is read in full before anything is written: the SCSI miniport request uses one
    // buffer for both.
    if (inSize != 0) {
        const BYTE* input = static_cast<const BYTE*>(inBuffer);
        call.input.assign(input, input + inSize);
    }
    auto finish = [&](BOOL result, DWORD error) {
        call.result = result;
        if (state.logging) state.ioLog.push_back(std::move(call));
        SetLastError(error);
        return result;
    };
    *bytesReturned = 0;
    if (auto failure = TakeFailure("DeviceIoControl")) return finish(FALSE, *failure);
    DWORD required = RequiredAccess(code);
    if ((open.access & required) != required) return finish(FALSE, ERROR_ACCESS_DENIED);

    int target = AnyTarget;
    if (code == IOCTL_SCSI_MINIPORT && call.input.size() > ScsiTargetOffset) target = call.input[ScsiTargetOffset];
    const DeviceAnswer* answer = FindAnswer(state.devices[open.key], code, target);
    if (answer == nullptr || !answer->success) return finish(FALSE, ERROR_INVALID_FUNCTION);
    DWORD written = static_cast<DWORD>(std::min<size_t>(answer->bytes.size(), outSize));
    if (written != 0) std::memcpy(outBuffer, answer->bytes.data(), written);
    *bytesReturned = written;
    return finish(TRUE, ERROR_SUCCESS);
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (auto failure = TakeFailure("GlobalAlloc")) {
        SetLastError(*failure);
        return nullptr;
    }
    if ((flags & ~static_cast<UINT>(GPTR)) != 0) {
        Problem("GlobalAlloc: only fixed blocks are modelled");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Exactly the size asked for, so that the sanitizers see any access past the block; a block
    // that is not zero-filled holds a pattern, so that nothing comes to rely on zeros by chance.
    BYTE* block = new BYTE[bytes == 0 ? 1 : bytes];
    std::memset(block, (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes == 0 ? 1 : bytes);
    std::lock_guard lock(Mutex());
    State().blocks[block] = bytes;
    ++State().blocksAllocated;
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    if (memory == nullptr) return nullptr;
    std::lock_guard lock(Mutex());
    auto it = State().blocks.find(memory);
    if (it == State().blocks.end()) {
        Problem("GlobalFree on a block that is not allocated");
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    delete[] static_cast<BYTE*>(memory);
    State().blocks.erase(it);
    return nullptr;
}

namespace substitute {

void AddDevice(const std::string& path, DeviceAccess access) {
    std::lock_guard lock(Mutex());
    detail::State().devices[DeviceKey(path)].access = access;
}

void SetDeviceAnswer(const std::string& path, DWORD code, DeviceAnswer answer, std::optional<uint8_t> target) {
    std::lock_guard lock(Mutex());
    auto& device = detail::State().devices[DeviceKey(path)];
    device.answers[{code, target ? int{*target} : AnyTarget}] = std::move(answer);
}

std::vector<DeviceOpenCall> DeviceOpenLog() {
    std::lock_guard lock(Mutex());
    return detail::State().openLog;
}

std::vector<DeviceIoCall> DeviceIoLog() {
    std::lock_guard lock(Mutex());
    return detail::State().ioLog;
}

void SetDeviceLogging(bool on) {
    std::lock_guard lock(Mutex());
    detail::State().logging = on;
}

size_t GlobalBlocksInUse() {
    std::lock_guard lock(Mutex());
    return detail::State().blocks.size();
}

size_t GlobalBlocksAllocated() {
    std::lock_guard lock(Mutex());
    return detail::State().blocksAllocated;
}

std::string LoadDeviceRecording(std::string_view text) {
    detail::Recording recording;
    std::string error = detail::ParseRecording(text, recording);
    if (!error.empty()) return error;
    // Answers first: they add their devices, which a device line may then restrict.
    for (auto& entry : recording.answers)
        SetDeviceAnswer(entry.path, entry.code, std::move(entry.answer),
                        entry.target == AnyTarget ? std::nullopt : std::optional<uint8_t>(entry.target));
    for (auto& [path, access] : recording.devices) AddDevice(path, access);
    if (recording.platformId) SetPlatformId(*recording.platformId);
    return {};
}

}  // namespace substitute
