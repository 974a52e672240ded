// Storage devices and their drivers' answers, and fixed global memory blocks.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace substitute::detail {
namespace {

using substitute::DeviceAccess;
using substitute::DeviceAnswer;

// No target: the answer for every target without one of its own.
constexpr int AnyTarget = -1;
// Where a SCSI miniport request names its target: bDriveNumber of the SENDCMDINPARAMS at 28.
constexpr DWORD ScsiTargetOffset = 40;

struct DeviceRecord {
    DeviceAccess access = DeviceAccess::Any;
    std::map<std::pair<DWORD, int>, DeviceAnswer> answers;
};

struct OpenDevice {
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
};

DeviceState& State() {
    static DeviceState state;
    return state;
}

const bool Registered = RegisterModel(Model{
    [] {
        for (auto& [block, size] : State().blocks) delete[] static_cast<BYTE*>(block);
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

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::DeviceAccess;

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, struct _SECURITY_ATTRIBUTES*, DWORD disposition,
                          DWORD flags, HANDLE) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (state.logging) state.openLog.push_back({name, access, share, flags});
    auto failed = [](DWORD error) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    if (auto failure = TakeFailure("CreateFileA")) return failed(*failure);
    std::string key = DeviceKey(name);
    auto device = state.devices.find(key);
    if (device == state.devices.end() || device->second.access == DeviceAccess::Absent)
        return failed(ERROR_FILE_NOT_FOUND);
    if (disposition != OPEN_EXISTING) return failed(ERROR_INVALID_PARAMETER);
    bool wantsData = (access & (GENERIC_READ | GENERIC_WRITE)) != 0;
    if (device->second.access == DeviceAccess::None ||
        (device->second.access == DeviceAccess::NoReadWrite && wantsData))
        return failed(ERROR_ACCESS_DENIED);

    uintptr_t object = state.nextOpen++;
    state.opens[object] = OpenDevice{key, access};
    SetLastError(ERROR_SUCCESS);
    return OpenKernelHandle(HandleKind::Device, object, [object] {
        std::lock_guard closeLock(Mutex());
        State().opens.erase(object);
    });
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                            DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    auto object = KernelObject(device, HandleKind::Device);
    auto misuse = [](const char* what, DWORD error) {
        Problem(std::string("DeviceIoControl: ") + what);
        SetLastError(error);
        return FALSE;
    };
    if (!object || !state.opens.count(*object)) return misuse("not an open device", ERROR_INVALID_HANDLE);
    // Without an overlapped record Windows writes the count through the pointer.
    if (overlapped != nullptr || bytesReturned == nullptr)
        return misuse("a synchronous call needs a byte count", ERROR_INVALID_PARAMETER);
    if ((inBuffer == nullptr && inSize != 0) || (outBuffer == nullptr && outSize != 0))
        return misuse("a buffer size without a buffer", ERROR_INVALID_PARAMETER);
    const OpenDevice& open = state.opens[*object];
    // The request is read in full before anything is written: the SCSI miniport request uses one
    // buffer for both.
    const BYTE* input = static_cast<const BYTE*>(inBuffer);
    substitute::DeviceIoCall call{code, std::vector<uint8_t>(input, input + inSize), outSize, *bytesReturned};
    auto finish = [&](BOOL result, DWORD error) {
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
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    if (memory == nullptr) return nullptr;
    std::lock_guard lock(Mutex());
    if (State().blocks.erase(memory) == 0) {
        Problem("GlobalFree on a block that is not allocated");
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    delete[] static_cast<BYTE*>(memory);
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

}  // namespace substitute
