#include "driveinfo/DriveProbes.h"

#include "driveinfo/DriveReport.h"
#include "driveinfo/IdentifyFormat.h"
#include "platform/ByteLayout.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <utility>

// The SCSI miniport codes come with the driver kit rather than the SDK headers we include.
#ifndef IOCTL_SCSI_MINIPORT
#define IOCTL_SCSI_MINIPORT 0x0004D008
#endif
#ifndef IOCTL_SCSI_MINIPORT_IDENTIFY
#define IOCTL_SCSI_MINIPORT_IDENTIFY 0x001B0501
#endif

namespace {

constexpr int DevicesPerProbe = 16;
constexpr size_t PathAreaSize = 260;
constexpr size_t ScratchAreaSize = 5120;
constexpr size_t IdentifySize = 512;

// GETVERSIONINPARAMS, the answer to SMART_GET_VERSION.
constexpr size_t VersionAnswerSize = 24;
constexpr size_t DeviceMapOffset = 3;  // bIDEDeviceMap

// SENDCMDINPARAMS, the SMART request; its IDEREGS start at 4.
constexpr size_t SendCmdInSize = 33;
constexpr size_t BufferSizeOffset = 0;    // cBufferSize
constexpr size_t SectorCountOffset = 5;   // bSectorCountReg
constexpr size_t DriveHeadOffset = 9;     // bDriveHeadReg
constexpr size_t CommandOffset = 10;      // bCommandReg
constexpr size_t DriveNumberOffset = 12;  // bDriveNumber
// SENDCMDOUTPARAMS, the SMART answer: the IDENTIFY data follows cBufferSize and DRIVERSTATUS.
constexpr size_t SendCmdOutDataOffset = 16;
constexpr size_t AdminAnswerSize = SendCmdOutDataOffset + IdentifySize;  // 528
constexpr size_t SmartBufferSize = 545;

constexpr BYTE IdentifyDevice = 0xEC;
constexpr BYTE IdentifyPacketDevice = 0xA1;

// The SCSI miniport buffer: SRB_IO_CONTROL, then SENDCMDINPARAMS going out and SENDCMDOUTPARAMS
// coming back, both at 28.
constexpr size_t SrbHeaderLength = 28;
constexpr size_t ScsiBufferSize = 557;
constexpr size_t ScsiRequestSize = SrbHeaderLength + 32;
constexpr uint32_t SrbTimeout = 10000;
constexpr uint32_t SrbDataLength = 529;
constexpr size_t ScsiDataOffset = SrbHeaderLength + SendCmdOutDataOffset;  // 44
// The second character of the model number: zero when no drive answered on the target.
constexpr size_t ScsiModelCheckOffset = 98;

// STORAGE_PROPERTY_QUERY for StorageDeviceProperty, PropertyStandardQuery: all zero.
constexpr size_t PropertyQuerySize = 12;
// STORAGE_DEVICE_DESCRIPTOR: where the offsets of its four strings are.
constexpr size_t VendorIdOffsetAt = 12;
constexpr size_t ProductIdOffsetAt = 16;
constexpr size_t ProductRevisionOffsetAt = 20;
constexpr size_t SerialNumberOffsetAt = 24;

// DISK_GEOMETRY_EX.
constexpr size_t GeometryAnswerSize = 512;
constexpr size_t GeometryTextSize = 512;
constexpr uint32_t FixedMedia = 12;

// A probe's header goes in once, right before the first drive it reports.
struct Section {
    const char* header;
    bool started;
};

void StartSection(Section& section) {
    if (section.started) return;
    AppendToReport(section.header);
    section.started = true;
}

void ReportIdentifyData(int driveNumber, const BYTE* data, Section& section) {
    IdentifyBlock block;
    ReadIdentifyBlock(data, block);
    StartSection(section);
    FormatIdentifyBlock(driveNumber, block);
}

// The driver's GETVERSIONINPARAMS; all zero when the request writes nothing.
bool AskSmartVersion(HANDLE device, BYTE (&version)[VersionAnswerSize]) {
    DWORD returned = 0;
    return DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, version, sizeof version, &returned, nullptr);
}

// One drive through SMART with a full ATA command, chosen by the driver's device map.
void IdentifyWithAtaCommand(HANDLE device, int drive, Section& section) {
    BYTE version[VersionAnswerSize] = {};
    // Only the map decides: it stays 0 when the request writes nothing.
    AskSmartVersion(device, version);
    BYTE deviceMap = version[DeviceMapOffset];
    if (deviceMap == 0) return;

    BYTE* answer = static_cast<BYTE*>(GlobalAlloc(GPTR, AdminAnswerSize));
    if (answer == nullptr) return;
    BYTE request[SendCmdInSize] = {};
    PutLe32(request + BufferSizeOffset, IdentifySize);
    request[SectorCountOffset] = 1;
    request[DriveHeadOffset] = static_cast<BYTE>(0xA0 | ((drive & 1) << 4));
    // Bit drive + 4 of the map marks a packet device; from drive 4 on it lies past the map.
    request[CommandOffset] = ((deviceMap >> drive) & 0x10) ? IdentifyPacketDevice : IdentifyDevice;
    request[DriveNumberOffset] = static_cast<BYTE>(drive);
    DWORD returned = 0;
    if (DeviceIoControl(device, SMART_RCV_DRIVE_DATA, request, SendCmdInSize - 1, answer, AdminAnswerSize,
                        &returned, nullptr))
        ReportIdentifyData(drive, answer + SendCmdOutDataOffset, section);
    GlobalFree(answer);
}

// One target of a SCSI port through the miniport's IDENTIFY pass-through.
void IdentifyThroughMiniport(HANDLE device, int port, int target, Section& section) {
    BYTE* buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, ScsiBufferSize));
    if (buffer == nullptr) return;
    PutLe32(buffer + 0, SrbHeaderLength);
    std::memcpy(buffer + 4, "SCSIDISK", 8);
    PutLe32(buffer + 12, SrbTimeout);
    PutLe32(buffer + 16, IOCTL_SCSI_MINIPORT_IDENTIFY);
    PutLe32(buffer + 24, SrbDataLength);
    buffer[SrbHeaderLength + CommandOffset] = IdentifyDevice;
    buffer[SrbHeaderLength + DriveNumberOffset] = static_cast<BYTE>(target);
    DWORD returned = 0;
    if (DeviceIoControl(device, IOCTL_SCSI_MINIPORT, buffer, ScsiRequestSize, buffer, ScsiBufferSize, &returned,
                        nullptr) &&
        buffer[ScsiModelCheckOffset] != 0)
        ReportIdentifyData(port * 2 + target, buffer + ScsiDataOffset, section);
    GlobalFree(buffer);
}

void IdentifyBothTargets(HANDLE device, int port, Section& section) {
    IdentifyThroughMiniport(device, port, 0, section);
    IdentifyThroughMiniport(device, port, 1, section);
}

// One drive's storage descriptor and, when the driver gives it, its geometry.
void DescribeWithStorageQueries(HANDLE device, int drive, Section& section) {
    // The answer takes the first 512 bytes; the zeros after them end its last string.
    BYTE area[ScratchAreaSize] = {};
    BYTE query[PropertyQuerySize] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, query, sizeof query, area, DescriptorAnswerSize,
                         &returned, nullptr))
        return;
    char vendor[DescriptorTextAreaSize] = {};
    char product[DescriptorTextAreaSize] = {};
    char revision[DescriptorTextAreaSize] = {};
    char serial[DescriptorTextAreaSize] = {};
    DecodeDescriptorString(area, GetLe32(area + VendorIdOffsetAt), false, vendor);
    DecodeDescriptorString(area, GetLe32(area + ProductIdOffsetAt), false, product);
    DecodeDescriptorString(area, GetLe32(area + ProductRevisionOffsetAt), false, revision);
    DecodeDescriptorString(area, GetLe32(area + SerialNumberOffsetAt), true, serial);

    StartSection(section);
    char text[ScratchAreaSize] = {};
    std::snprintf(text, sizeof text,
                  "\r\nDevice Descriptor for drive #%d:\r\nVendor ID: %s\r\nProduct ID: %s\r\n"
                  "Product Revision: %s\r\nSerial Number: %s\r\n",
                  drive, vendor, product, revision, serial);
    AppendToReport(text);

    std::memset(area, 0, sizeof area);
    returned = 0;
    if (!DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, area, GeometryAnswerSize, &returned,
                         nullptr))
        return;
    char geometry[GeometryTextSize] = {};
    std::snprintf(geometry, sizeof geometry,
                  "\r\nDisk Geometry for drive #%d:\r\nDisk is%s fixed\r\nCylinders: %" PRId64
                  "\r\nTracks Per Cylinder: %i\r\nSectors Per Track: %i\r\nBytes Per Sector: %i\r\n"
                  "Disk Size (bytes): %" PRIu64 "\r\n",
                  drive, GetLe32(area + 8) == FixedMedia ? "" : " NOT", GetLe64(area + 0),
                  static_cast<int>(GetLe32(area + 12)), static_cast<int>(GetLe32(area + 16)),
                  static_cast<int>(GetLe32(area + 20)), static_cast<uint64_t>(GetLe64(area + 24)));
    AppendToReport(geometry);
}

// One drive through SMART with nothing but the IDENTIFY DEVICE command set.
void IdentifyWithBareCommand(HANDLE device, int drive, Section& section) {
    BYTE version[VersionAnswerSize] = {};
    if (!AskSmartVersion(device, version)) return;
    BYTE* buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, SmartBufferSize));
    if (buffer == nullptr) return;
    buffer[CommandOffset] = IdentifyDevice;
    DWORD returned = 0;
    if (DeviceIoControl(device, SMART_RCV_DRIVE_DATA, buffer, SendCmdInSize, buffer, SmartBufferSize, &returned,
                        nullptr))
        ReportIdentifyData(drive, buffer + SendCmdOutDataOffset, section);
    GlobalFree(buffer);
}

// How each probe opens its devices, what it asks each one that opens and the header it
// reports under; in DriveProbe order.
struct ProbeKind {
    const char* pathFormat;
    DWORD access;
    DWORD share;
    void (*ask)(HANDLE device, int number, Section& section);
    const char* header;
};

const ProbeKind ProbeKinds[DriveProbeCount] = {
    {"\\\\.\\PhysicalDrive%d", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
     IdentifyWithAtaCommand, "\r\nReading the drive internals using physical access with admin rights\r\n"},
    {"\\\\.\\Scsi%d:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, IdentifyBothTargets,
     "\r\nReading the drive internals using SCSI...\r\n"},
    {"\\\\.\\PhysicalDrive%d", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, DescribeWithStorageQueries,
     "\r\nReading the drive internals using physical access with current user rights\r\n"},
    {"\\\\.\\PhysicalDrive%d", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
     IdentifyWithBareCommand, "\r\nReading the drive internals using SMART\r\n"},
};

// The string at `offset` of the answer, up to its terminator or the answer's end; none when the
// offset, read as signed, lies outside the answer.
std::span<const BYTE> DescriptorSource(const BYTE* answer, DWORD offset) {
    int32_t start = static_cast<int32_t>(offset);
    if (start <= 0 || start >= static_cast<int32_t>(DescriptorAnswerSize)) return {};
    size_t length = 0;
    while (start + length < DescriptorAnswerSize && answer[start + length] != 0) ++length;
    return {answer + start, length};
}

// A digit of a hexadecimal dump; whitespace counts as 0. -1 for anything else.
int DumpDigit(BYTE c) {
    if (IsReportWhitespace(c)) return 0;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The source read as a hexadecimal dump, a lone last digit dropped: the length of the text.
// None as soon as a character is no digit or a pair gives neither a printable character nor a zero.
std::optional<size_t> ReadHexDump(std::span<const BYTE> source, char* out) {
    size_t length = 0;
    BYTE pair = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        int digit = DumpDigit(source[i]);
        if (digit < 0) return std::nullopt;
        pair = static_cast<BYTE>((pair << 4) | digit);
        if (i % 2 == 0) continue;
        if (pair != 0 && !IsReportPrintable(pair)) return std::nullopt;
        out[length++] = static_cast<char>(pair);
    }
    return length;
}

// The source as plain text; nothing at all when any of it is not printable.
size_t CopyPlainText(std::span<const BYTE> source, char* out) {
    for (size_t i = 0; i < source.size(); ++i) {
        if (!IsReportPrintable(source[i])) return 0;
        out[i] = static_cast<char>(source[i]);
    }
    return source.size();
}

void SwapPairs(char* text, size_t length) {
    for (size_t i = 0; i + 1 < length; i += 2) std::swap(text[i], text[i + 1]);
}

// Leading and trailing whitespace go; a text of whitespace only is kept as it is.
void TrimWhitespace(char* text) {
    size_t length = std::strlen(text);
    size_t first = 0;
    while (first < length && IsReportWhitespace(static_cast<BYTE>(text[first]))) ++first;
    if (first == length) return;
    size_t end = length;
    while (IsReportWhitespace(static_cast<BYTE>(text[end - 1]))) --end;
    std::memmove(text, text + first, end - first);
    text[end - first] = 0;
}

}  // namespace

void RunDriveProbe(DriveProbe probe) {
    const ProbeKind& kind = ProbeKinds[probe];
    Section section{kind.header, false};
    for (int number = 0; number < DevicesPerProbe; ++number) {
        char path[PathAreaSize] = {};
        std::snprintf(path, sizeof path, kind.pathFormat, number);
        HANDLE device = CreateFileA(path, kind.access, kind.share, nullptr, OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE) continue;
        kind.ask(device, number, section);
        CloseHandle(device);
    }
}

// Drivers give these strings either as text or as a hexadecimal dump of it; a dump is taken only
// when every digit pair gives a printable character or a zero.
char* DecodeDescriptorString(const BYTE* answer, DWORD offset, bool swap, char (&out)[DescriptorTextAreaSize]) {
    std::span<const BYTE> source = DescriptorSource(answer, offset);
    std::optional<size_t> decoded = ReadHexDump(source, out);
    size_t length = decoded ? *decoded : CopyPlainText(source, out);
    if (swap) SwapPairs(out, length);
    out[length] = 0;
    TrimWhitespace(out);
    return out;
}
