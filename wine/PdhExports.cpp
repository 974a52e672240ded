// The provider DLL's host for the entry points (PdhEntryPoints.cpp, exported under their own
// names with the Windows calling convention): a CounterService over the Linux kernel's disk
// statistics, read through Wine.
#include "platform/Lock.h"
#include "wine/DiskCounters.h"
#include "wine/PdhEntryPoints.h"

#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include <cstring>

static_assert(provider::status::NoInstance == PDH_CSTATUS_NO_INSTANCE && provider::status::MoreData == PDH_MORE_DATA &&
              provider::status::NoData == PDH_NO_DATA && provider::status::InvalidData == PDH_INVALID_DATA &&
              provider::status::CounterInvalidData == PDH_CSTATUS_INVALID_DATA &&
              provider::status::InvalidHandle == PDH_INVALID_HANDLE &&
              provider::status::InvalidArgument == PDH_INVALID_ARGUMENT &&
              provider::status::NoCounterName == PDH_CSTATUS_NO_COUNTERNAME &&
              provider::status::BadCounterName == PDH_CSTATUS_BAD_COUNTERNAME && provider::FormatLong == PDH_FMT_LONG &&
              provider::FormatTimes1000 == PDH_FMT_1000);

namespace {

// Ready before any call, and never deleted, so that a caller still inside at exit is safe.
ProcessLock ServiceLock;

typedef char*(CDECL* UnixFileNameFunction)(LPCWSTR);
typedef WCHAR*(CDECL* DosFileNameFunction)(LPCSTR);

// One of Wine's own additions to kernel32; absent on Windows, where the provider then sees no
// disks. It goes through the generic function pointer type, which converts to any other.
template <typename Function>
Function WineFunction(const char* name) {
    FARPROC entry = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
    return entry ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry)) : nullptr;
}

// The text of a Linux file, read through the DOS name Wine maps its Unix path to.
std::string ReadUnixFile(const char* path) {
    auto dosFileName = WineFunction<DosFileNameFunction>("wine_get_dos_file_name");
    WCHAR* name = dosFileName ? dosFileName(path) : nullptr;
    if (name == nullptr) return {};
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    HeapFree(GetProcessHeap(), 0, name);
    if (file == INVALID_HANDLE_VALUE) return {};
    // The kernel's files give no size: read to the end, within a bound.
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (text.size() < (1u << 20) && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

// The device number of the file system a Unix path lies on. Wine tells where a drive letter
// points only through the symbolic links of its dosdevices folder, which Windows calls cannot
// follow; the Linux kernel follows them in stat64, which a 32-bit Wine process may call itself.
bool UnixDeviceOf(const char* path, uint64_t& device) {
#if defined(__i386__)
    alignas(8) unsigned char status[144] = {};
    long result = 195;  // stat64
    __asm__ volatile("push %%ebx\n\tmov %2, %%ebx\n\tint $0x80\n\tpop %%ebx"
                     : "+a"(result)
                     : "c"(status), "r"(path)
                     : "memory");
    std::memcpy(&device, status, sizeof device);
    return result == 0;
#else
    (void)path, (void)device;
    return false;
#endif
}

std::vector<provider::Drive> WineDrives() {
    auto unixFileName = WineFunction<UnixFileNameFunction>("wine_get_unix_file_name");
    if (unixFileName == nullptr) return {};
    return provider::LetteredDrives(GetLogicalDrives(), [unixFileName](const char16_t* root, uint64_t& device) {
        char* path = unixFileName(reinterpret_cast<const WCHAR*>(root));
        if (path == nullptr) return false;
        bool found = UnixDeviceOf(path, device);
        HeapFree(GetProcessHeap(), 0, path);
        return found;
    });
}

provider::CounterService& Service() {
    static provider::CounterService service(provider::DiskCounters(provider::Machine{
        [] { return ReadUnixFile("/proc/diskstats"); },
        [] { return ReadUnixFile("/proc/self/mountinfo"); },
        WineDrives,
    }));
    return service;
}

}  // namespace

// One caller at a time; the DLL fails no call of its own accord.
provider::CounterService& provider::EnterService(const char*, uint32_t&) {
    EnterCriticalSection(&ServiceLock.Section);
    return Service();
}

uint32_t provider::LeaveService(uint32_t status) {
    LeaveCriticalSection(&ServiceLock.Section);
    return status;
}
