// Made-up drivers for the probe fuzz targets: every device number of a probe's range gets an
// open rule and, for each control code the probe sends, maybe an answer of any length and any
// bytes, succeeding or not.
#pragma once

#include "driveinfo/DriveReport.h"
#include "platform/substitute/Substitute.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace probefuzz {

inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

inline std::vector<uint8_t> TakeAnswer(FuzzedDataProvider& data) {
    // Mostly around the sizes the probes ask for, sometimes far beyond them.
    size_t length = data.ConsumeBool() ? data.ConsumeIntegralInRange<size_t>(0, 600)
                                       : data.ConsumeIntegralInRange<size_t>(0, 4096);
    std::vector<uint8_t> bytes = data.ConsumeBytes<uint8_t>(length);
    // Descriptor string offsets that land inside the answer, near its end or just past it.
    if (bytes.size() >= 28 && data.ConsumeBool())
        for (size_t field = 12; field <= 24; field += 4) {
            uint32_t offset = data.ConsumeIntegralInRange<uint32_t>(0, 520);
            for (int i = 0; i < 4; ++i) bytes[field + i] = static_cast<uint8_t>(offset >> (8 * i));
        }
    return bytes;
}

// `format` takes the device number; `perTarget` answers each SCSI target on its own.
inline void SeedDevices(FuzzedDataProvider& data, const char* format, std::initializer_list<DWORD> codes,
                        bool perTarget = false) {
    using substitute::DeviceAccess;
    const DeviceAccess rules[] = {DeviceAccess::Any, DeviceAccess::Any, DeviceAccess::NoReadWrite,
                                  DeviceAccess::None, DeviceAccess::Absent};
    for (int number = 0; number < 16 && data.remaining_bytes() > 0; ++number) {
        char path[64];
        std::snprintf(path, sizeof path, format, number);
        substitute::AddDevice(path, data.PickValueInArray(rules));
        for (DWORD code : codes) {
            for (int target = 0; target < (perTarget ? 2 : 1); ++target) {
                if (!data.ConsumeBool()) continue;
                bool success = data.ConsumeIntegralInRange<int>(0, 7) != 0;
                std::optional<uint8_t> which;
                if (perTarget) which = static_cast<uint8_t>(target);
                substitute::SetDeviceAnswer(path, code, {success, TakeAnswer(data)}, which);
            }
        }
    }
    // A buffer that cannot be had, now and then.
    if (data.ConsumeBool())
        substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, data.ConsumeIntegralInRange<unsigned>(0, 40));
}

// Runs the probe over the seeded machine; it must leave nothing open and only add text.
template <typename Probe>
void RunProbe(Probe probe) {
    ClearDriveReport();
    probe();
    auto problems = substitute::Problems();
    for (const auto& problem : problems) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    Check(problems.empty(), "the probe misused the devices or left something open");
    Check(DriveReport.find('\0') == std::string::npos, "the report holds a zero byte");
    ClearDriveReport();
}

}  // namespace probefuzz
