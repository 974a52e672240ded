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

}  // namespace substitute
