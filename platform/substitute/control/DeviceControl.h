// Storage devices: the drivers behind the device paths are played through one hook, which a test
// or the replay tool's recording player (tools/replay) fills. Without one no device exists.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

struct DeviceDriver {
    // ERROR_SUCCESS when the path opens with this access, else the error CreateFileA fails with.
    std::function<DWORD(const std::string& path, DWORD access, DWORD share)> open;
    // What the driver writes for a request on a device opened through that path, given the
    // request's input bytes and the output buffer's size: bytes for the start of the output
    // buffer (cut to its size), or none for a failure (ERROR_INVALID_FUNCTION).
    std::function<std::optional<std::vector<uint8_t>>(const std::string& path, DWORD code,
                                                      const std::vector<uint8_t>& input, DWORD outputSize)> request;
};
// A request whose code needs data access fails with ERROR_ACCESS_DENIED, before the hook, on a
// handle opened without it, as Windows checks it.
void SetDeviceDriver(DeviceDriver driver);

}  // namespace substitute
