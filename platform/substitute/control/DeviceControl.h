// Storage devices: which paths open, what their drivers answer, the log of every request, and
// the global memory blocks the program allocates for them.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace substitute {

// How a device path answers CreateFileA. A path never added does not exist.
enum class DeviceAccess {
    Any,          // opens with any access
    NoReadWrite,  // an open asking for reading or writing is refused; access 0 opens
    None,         // every open is refused
    Absent,       // no such device
};
// Device paths are compared without regard to case, as Windows does.
void AddDevice(const std::string& path, DeviceAccess access = DeviceAccess::Any);

// What the driver behind a path does with one control code. On success the bytes are written at
// the start of the output buffer, cut to its size, and their count returned; a failure writes
// nothing. A code with no answer fails with ERROR_INVALID_FUNCTION.
struct DeviceAnswer {
    bool success = true;
    std::vector<uint8_t> bytes;
};
// An IOCTL_SCSI_MINIPORT answer can be tied to one target, the bDriveNumber of the request's
// SENDCMDINPARAMS (request byte 40); one without a target answers every target that has none of
// its own. Adding the answer adds the device with DeviceAccess::Any if it is not there yet.
void SetDeviceAnswer(const std::string& path, DWORD code, DeviceAnswer answer,
                     std::optional<uint8_t> target = std::nullopt);

struct DeviceOpenCall {
    std::string path;
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
    bool securityGiven;
    bool templateGiven;
    bool opened;
};
std::vector<DeviceOpenCall> DeviceOpenLog();

struct DeviceIoCall {
    std::string path;             // as the device was opened
    DWORD openAccess;             // the access it was opened with
    DWORD code;
    std::vector<uint8_t> input;   // the nInBufferSize bytes the program sent
    DWORD inputSize;
    DWORD outputSize;
    DWORD returnedBefore;         // what *lpBytesReturned held when the call came in
    BOOL result;
};
std::vector<DeviceIoCall> DeviceIoLog();

// Benchmarks turn the two logs off so that they do not grow with every pass. On after Reset.
void SetDeviceLogging(bool on);

// Global memory blocks allocated and not yet freed; and how many were ever allocated.
size_t GlobalBlocksInUse();
size_t GlobalBlocksAllocated();

}  // namespace substitute
