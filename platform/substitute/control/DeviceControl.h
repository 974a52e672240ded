// Storage devices: which paths open, what their drivers answer, and the log of every open and
// request.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace substitute {

// How a device path answers CreateFileA. A path never added does not exist. Paths are compared
// without regard to case, as Windows does.
enum class DeviceAccess {
    Any,          // opens with any access
    NoReadWrite,  // an open asking for reading or writing is refused; access 0 opens
    None,         // every open is refused
    Absent,       // no such device
};
void AddDevice(const std::string& path, DeviceAccess access = DeviceAccess::Any);

// What the driver behind a path does with one control code: on success the bytes go to the start
// of the output buffer, cut to its size; a failure writes nothing. A code without an answer fails
// with ERROR_INVALID_FUNCTION, one that needs data access fails on a handle opened without it.
// An IOCTL_SCSI_MINIPORT answer can be tied to the target at request byte 40; one without a
// target answers every target without its own. Adds the device with DeviceAccess::Any if need be.
struct DeviceAnswer {
    bool success = true;
    std::vector<uint8_t> bytes;
};
void SetDeviceAnswer(const std::string& path, DWORD code, DeviceAnswer answer,
                     std::optional<uint8_t> target = std::nullopt);

struct DeviceOpenCall {
    std::string path;
    DWORD access;
    DWORD share;
    DWORD flags;
};
std::vector<DeviceOpenCall> DeviceOpenLog();

struct DeviceIoCall {
    DWORD code;
    std::vector<uint8_t> input;  // the nInBufferSize bytes the program sent
    DWORD outputSize;
    DWORD returnedBefore;        // what *lpBytesReturned held when the call came in
};
std::vector<DeviceIoCall> DeviceIoLog();

// Benchmarks turn the two logs off so that they do not grow with every pass. On after Reset.
void SetDeviceLogging(bool on);

}  // namespace substitute
