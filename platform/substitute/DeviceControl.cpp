// Storage devices, played by the driver hook, and fixed global memory blocks.
#include "platform/substitute/Internal.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace substitute::detail {
namespace {

// Guarded by Mutex().
substitute::DeviceDriver Driver;
std::map<HANDLE, std::pair<std::string, DWORD>> Opens;  // the path opened, the access asked for; closed too
std::map<void*, size_t> Blocks;

const bool Registered = RegisterModel(Model{
    [] {
        for (auto& [block, size] : Blocks) delete[] static_cast<BYTE*>(block);
        Blocks.clear();
        Opens.clear();
        Driver = {};
    },
    [](std::vector<std::string>& leaks) {
        for (auto& [block, size] : Blocks)
            leaks.push_back("a block of " + std::to_string(size) + " bytes was never freed");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                          HANDLE) {
    substitute::DeviceDriver driver = Copied(Driver);
    DWORD error = driver.open ? driver.open(name, access, share) : ERROR_FILE_NOT_FOUND;
    if (disposition != OPEN_EXISTING || flags != 0) Problem("CreateFileA: only plain opens of devices are modelled");
    SetLastError(error);
    if (error != ERROR_SUCCESS) return INVALID_HANDLE_VALUE;
    std::lock_guard lock(Mutex());
    HANDLE handle = OpenHandle("device");
    Opens[handle] = {name, access};
    return handle;
}

// The request is read in full before anything is written: the SCSI miniport request uses one
// buffer for both. Without an overlapped record Windows writes the count through the pointer.
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer, DWORD outSize,
                            LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    std::unique_lock lock(Mutex());
    auto open = Opens.find(device);
    if (!IsOpen(device, "device") || open == Opens.end() || overlapped != nullptr || bytesReturned == nullptr ||
        (!inBuffer && inSize) || (!outBuffer && outSize)) {
        Problem("DeviceIoControl on no open device, without a byte count or with a size but no buffer");
        return Failed(ERROR_INVALID_PARAMETER, FALSE);
    }
    const auto [path, access] = open->second;
    substitute::DeviceDriver driver = Driver;
    lock.unlock();
    *bytesReturned = 0;
    // The access a control code asks of its handle: its bits 14 and 15.
    DWORD required = ((code & 0x4000) ? GENERIC_READ : 0) | ((code & 0x8000) ? GENERIC_WRITE : 0);
    DWORD error = (access & required) != required ? ERROR_ACCESS_DENIED : 0;
    const BYTE* input = static_cast<const BYTE*>(inBuffer);
    std::optional<std::vector<uint8_t>> answer;
    if (error == 0 && driver.request) answer = driver.request(path, code, {input, input + inSize}, outSize);
    SetLastError(error != 0 ? error : answer ? ERROR_SUCCESS : ERROR_INVALID_FUNCTION);
    if (!answer || error != 0) return FALSE;
    *bytesReturned = static_cast<DWORD>(std::min<size_t>(answer->size(), outSize));
    if (*bytesReturned != 0) std::memcpy(outBuffer, answer->data(), *bytesReturned);
    return TRUE;
}

// Zero-filled and exactly the size asked for, so that the sanitizers see any access past the block.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (Fails("GlobalAlloc")) return nullptr;
    if (flags != GPTR) Problem("GlobalAlloc: only fixed, zero-filled blocks are modelled");
    BYTE* block = new BYTE[std::max<SIZE_T>(bytes, 1)]();
    UnderLock([&] { Blocks[block] = bytes; });
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    std::lock_guard lock(Mutex());
    if (memory != nullptr && Blocks.erase(memory) == 0) {
        Problem("GlobalFree on a block not allocated");
        return memory;
    }
    delete[] static_cast<BYTE*>(memory);
    return nullptr;
}

void substitute::SetDeviceDriver(DeviceDriver driver) {
    UnderLock([&] { Driver = std::move(driver); });
}
