// A full drive report with every one of the 64 device opens answering: 16 drives through each
// SMART probe, 32 SCSI targets, 16 storage descriptors with their geometry. Beside it a baseline
// that makes only the same opens and requests, so the difference is the report code's own cost.
// Heap use is counted per build: allocations, and the peak of live bytes above the start.
#include "driveinfo/DriveReport.h"
#include "platform/substitute/Substitute.h"
#include "bench/DriveSamples.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <tuple>

namespace {

size_t Allocations = 0;
size_t LiveBytes = 0;
size_t PeakBytes = 0;

// Each block carries its size in front, so that frees can be counted too.
constexpr size_t Header = alignof(std::max_align_t);

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + Header));
    if (block == nullptr) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = size;
    ++Allocations;
    LiveBytes += size;
    PeakBytes = std::max(PeakBytes, LiveBytes);
    return block + Header;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    auto* block = static_cast<unsigned char*>(p) - Header;
    LiveBytes -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
#pragma GCC diagnostic pop

namespace {

std::string PhysicalDrive(int i) {
    return "\\\\.\\PhysicalDrive" + std::to_string(i);
}
std::string ScsiPort(int p) {
    return "\\\\.\\Scsi" + std::to_string(p) + ":";
}

// The whole 557-byte SCSI miniport buffer as it comes back: SRB_IO_CONTROL, SENDCMDOUTPARAMS.
std::vector<uint8_t> ScsiAnswer(const samples::Words& words) {
    std::vector<uint8_t> bytes = samples::IdentifyAnswer(words, 44, 1);
    samples::PutLe(bytes, 0, 28, 4);
    for (int i = 0; i < 8; ++i) bytes[4 + i] = static_cast<uint8_t>("SCSIDISK"[i]);
    samples::PutLe(bytes, 24, 529, 4);
    return bytes;
}

// A STORAGE_DEVICE_DESCRIPTOR of 512 bytes with the four strings stored after the fixed part.
std::vector<uint8_t> DescriptorAnswer(const std::string& vendor, const std::string& product,
                                      const std::string& revision, const std::string& serial) {
    std::vector<uint8_t> bytes(512, 0);
    samples::PutLe(bytes, 0, 1, 4);    // Version
    samples::PutLe(bytes, 4, 512, 4);  // Size
    size_t next = 40;
    const std::string* strings[] = {&vendor, &product, &revision, &serial};
    for (int i = 0; i < 4; ++i) {
        samples::PutLe(bytes, 12 + 4 * i, next, 4);
        for (char c : *strings[i]) bytes[next++] = static_cast<uint8_t>(c);
        ++next;
    }
    return bytes;
}

// DISK_GEOMETRY_EX as far as the report reads it.
std::vector<uint8_t> GeometryAnswer(int64_t cylinders, uint32_t mediaType, uint32_t tracksPerCylinder,
                                    uint32_t sectorsPerTrack, uint32_t bytesPerSector, int64_t diskSize) {
    std::vector<uint8_t> bytes(40, 0);
    samples::PutLe(bytes, 0, static_cast<uint64_t>(cylinders), 8);
    samples::PutLe(bytes, 8, mediaType, 4);
    samples::PutLe(bytes, 12, tracksPerCylinder, 4);
    samples::PutLe(bytes, 16, sectorsPerTrack, 4);
    samples::PutLe(bytes, 20, bytesPerSector, 4);
    samples::PutLe(bytes, 24, static_cast<uint64_t>(diskSize), 8);
    return bytes;
}

// Full-length strings everywhere, so each entry is as long as a real drive makes it.
samples::Words Drive(int number) {
    std::string tag = std::to_string(number);
    return samples::IdentifyWords("BENCHMARK MODEL NUMBER OF FORTY CHARS " + tag, "FW" + tag + ".00",
                                  "SERIAL-NUMBER-000-" + tag, 0x0FFFFFFF);
}

// Every device of the four probes is there, and its driver answers from this table by path, code
// and SCSI target (-1 for any).
std::map<std::tuple<std::string, DWORD, int>, std::vector<uint8_t>> Answers;

void PrepareMachine() {
    substitute::Reset();
    for (int i = 0; i < 16; ++i) {
        std::string drive = PhysicalDrive(i);
        Answers[{drive, SMART_GET_VERSION, -1}] = samples::VersionAnswer(0x0F);
        Answers[{drive, SMART_RCV_DRIVE_DATA, -1}] = samples::SmartAnswer(Drive(i));
        Answers[{drive, IOCTL_STORAGE_QUERY_PROPERTY, -1}] =
            DescriptorAnswer("41544120202020", "Benchmark Model " + std::to_string(i), "312E3030", "3030303030303031");
        Answers[{drive, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, -1}] = GeometryAnswer(60801, 12, 255, 63, 512, 500107862016);
        for (int target = 0; target < 2; ++target)
            Answers[{ScsiPort(i), IOCTL_SCSI_MINIPORT, target}] = ScsiAnswer(Drive(32 + i * 2 + target));
    }
    substitute::SetDeviceDriver({[](const std::string&, DWORD, DWORD) { return DWORD{ERROR_SUCCESS}; },
                                 [](const std::string& path, DWORD code, const std::vector<uint8_t>& input, DWORD) {
                                     int target = code == IOCTL_SCSI_MINIPORT ? input[40] : -1;
                                     return std::optional(Answers.at({path, code, target}));
                                 }});
    ClearDriveReport();
}

void BM_FullReport(benchmark::State& state) {
    PrepareMachine();
    size_t reportBytes = 0, allocations = 0, peak = 0;
    for (auto _ : state) {
        size_t allocationsBefore = Allocations;
        PeakBytes = LiveBytes;
        size_t start = LiveBytes;
        benchmark::DoNotOptimize(BuildDriveReport());
        reportBytes = DriveReport.size();
        ClearDriveReport();
        allocations = Allocations - allocationsBefore;
        peak = PeakBytes - start;
    }
    state.counters["report_bytes"] = static_cast<double>(reportBytes);
    state.counters["allocations"] = static_cast<double>(allocations);
    state.counters["peak_heap_bytes"] = static_cast<double>(peak);
    if (!substitute::Problems().empty()) state.SkipWithError("the report left something open");
}
BENCHMARK(BM_FullReport)->Unit(benchmark::kMicrosecond);

// Baseline: the 64 opens and the same requests with the same buffer sizes, no text at all.
void BM_DeviceCallsOnly(benchmark::State& state) {
    PrepareMachine();
    unsigned char buffer[5120] = {};
    DWORD returned = 0;
    auto send = [&](HANDLE device, DWORD code, DWORD in, DWORD out) {
        DeviceIoControl(device, code, in ? buffer : nullptr, in, buffer, out, &returned, nullptr);
    };
    for (auto _ : state) {
        for (int i = 0; i < 16; ++i) {
            HANDLE device = CreateFileA(PhysicalDrive(i).c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            send(device, SMART_GET_VERSION, 0, 24);
            send(device, SMART_RCV_DRIVE_DATA, 32, 528);
            CloseHandle(device);
        }
        for (int p = 0; p < 16; ++p) {
            HANDLE device =
                CreateFileA(ScsiPort(p).c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
            for (int target = 0; target < 2; ++target) {
                buffer[40] = static_cast<unsigned char>(target);
                send(device, IOCTL_SCSI_MINIPORT, 60, 557);
            }
            CloseHandle(device);
        }
        for (int i = 0; i < 16; ++i) {
            HANDLE device = CreateFileA(PhysicalDrive(i).c_str(), 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
            send(device, IOCTL_STORAGE_QUERY_PROPERTY, 12, 512);
            send(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, 0, 512);
            CloseHandle(device);
        }
        for (int i = 0; i < 16; ++i) {
            HANDLE device = CreateFileA(PhysicalDrive(i).c_str(), GENERIC_READ | GENERIC_WRITE, 7, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            send(device, SMART_GET_VERSION, 0, 24);
            send(device, SMART_RCV_DRIVE_DATA, 33, 545);
            CloseHandle(device);
        }
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_DeviceCallsOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
