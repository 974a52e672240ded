#include "driveinfo/DriveProbes.h"

#include "driveinfo/DriveReport.h"
#include "driveinfo/IdentifyFormat.h"
#include "platform/ByteLayout.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
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

const char AdminHeader[] = "\r\nReading the drive internals using physical access with admin rights\r\n";
const char ScsiHeader[] = "\r\nReading the drive internals using SCSI...\r\n";
const char UserHeader[] = "\r\nReading the drive internals using physical access with current user rights\r\n";
const char SmartHeader[] = "\r\nReading the drive internals using SMART\r\n";

// A probe's header goes in once, right before the first drive it reports.
void AppendHeaderOnce(bool& headerAppended, const char* header) {
    if (headerAppended) return;
    AppendToReport(header);
    headerAppended = true;
}

void ReportIdentifyData(int driveNumber, const BYTE* data, bool& headerAppended, const char* header) {
    IdentifyBlock block;
    ReadIdentifyBlock(data, block);
    AppendHeaderOnce(headerAppended, header);
    FormatIdentifyBlock(driveNumber, block);
}

HANDLE OpenDevice(const char* format, int number, DWORD access, DWORD share) {
    char path[PathAreaSize] = {};
    std::snprintf(path, sizeof path, format, number);
    return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// One drive through SMART with a full ATA command, chosen by the driver's device map.
void IdentifyWithAtaCommand(HANDLE device, int drive, bool& headerAppended) {
    BYTE version[VersionAnswerSize] = {};
    DWORD returned = 0;
    // Only the map decides: it stays 0 when the request writes nothing.
    DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, version, sizeof version, &returned, nullptr);
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
    returned = 0;
    if (DeviceIoControl(device, SMART_RCV_DRIVE_DATA, request, SendCmdInSize - 1, answer, AdminAnswerSize,
                        &returned, nullptr))
        ReportIdentifyData(drive, answer + SendCmdOutDataOffset, headerAppended, AdminHeader);
    GlobalFree(answer);
}

// One target of a SCSI port through the miniport's IDENTIFY pass-through.
void IdentifyThroughMiniport(HANDLE device, int port, int target, bool& headerAppended) {
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
        ReportIdentifyData(port * 2 + target, buffer + ScsiDataOffset, headerAppended, ScsiHeader);
    GlobalFree(buffer);
}

// One drive's storage descriptor and, when the driver gives it, its geometry.
void DescribeWithStorageQueries(HANDLE device, int drive, bool& headerAppended) {
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

    AppendHeaderOnce(headerAppended, UserHeader);
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
                  "Disk Size (bytes): %" PRId64 "\r\n",
                  drive, GetLe32(area + 8) == FixedMedia ? "" : " NOT", GetLe64(area + 0),
                  static_cast<int>(GetLe32(area + 12)), static_cast<int>(GetLe32(area + 16)),
                  static_cast<int>(GetLe32(area + 20)), GetLe64(area + 24));
    AppendToReport(geometry);
}

// One drive through SMART with nothing but the IDENTIFY DEVICE command set.
void IdentifyWithBareCommand(HANDLE device, int drive, bool& headerAppended) {
    BYTE version[VersionAnswerSize] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, version, sizeof version, &returned, nullptr))
        return;
    BYTE* buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, SmartBufferSize));
    if (buffer == nullptr) return;
    buffer[CommandOffset] = IdentifyDevice;
    returned = 0;
    if (DeviceIoControl(device, SMART_RCV_DRIVE_DATA, buffer, SendCmdInSize, buffer, SmartBufferSize, &returned,
                        nullptr))
        ReportIdentifyData(drive, buffer + SendCmdOutDataOffset, headerAppended, SmartHeader);
    GlobalFree(buffer);
}

}  // namespace

void ProbePhysicalAdmin() {
    bool headerAppended = false;
    for (int drive = 0; drive < DevicesPerProbe; ++drive) {
        HANDLE device = OpenDevice("\\\\.\\PhysicalDrive%d", drive, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (device == INVALID_HANDLE_VALUE) continue;
        IdentifyWithAtaCommand(device, drive, headerAppended);
        CloseHandle(device);
    }
}

void ProbeScsi() {
    bool headerAppended = false;
    for (int port = 0; port < DevicesPerProbe; ++port) {
        HANDLE device = OpenDevice("\\\\.\\Scsi%d:", port, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (device == INVALID_HANDLE_VALUE) continue;
        IdentifyThroughMiniport(device, port, 0, headerAppended);
        IdentifyThroughMiniport(device, port, 1, headerAppended);
        CloseHandle(device);
    }
}

void ProbePhysicalUser() {
    bool headerAppended = false;
    for (int drive = 0; drive < DevicesPerProbe; ++drive) {
        HANDLE device = OpenDevice("\\\\.\\PhysicalDrive%d", drive, 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (device == INVALID_HANDLE_VALUE) continue;
        DescribeWithStorageQueries(device, drive, headerAppended);
        CloseHandle(device);
    }
}

void ProbeSmart() {
    bool headerAppended = false;
    for (int drive = 0; drive < DevicesPerProbe; ++drive) {
        HANDLE device = OpenDevice("\\\\.\\PhysicalDrive%d", drive, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (device == INVALID_HANDLE_VALUE) continue;
        IdentifyWithBareCommand(device, drive, headerAppended);
        CloseHandle(device);
    }
}

// Drivers give these strings either as text or as a hexadecimal dump of it; a dump is taken only
// when every digit pair gives a printable character or a zero.
char* DecodeDescriptorString(const BYTE* answer, DWORD offset, bool swap, char (&out)[DescriptorTextAreaSize]) {
    out[0] = 0;
    int32_t start = static_cast<int32_t>(offset);
    if (start <= 0 || start >= static_cast<int32_t>(DescriptorAnswerSize)) return out;
    const BYTE* source = answer + start;
    size_t sourceLength = 0;
    while (start + sourceLength < DescriptorAnswerSize && source[sourceLength] != 0) ++sourceLength;

    size_t length = 0;
    bool isHex = true;
    BYTE pair = 0;
    int digits = 0;
    for (size_t i = 0; i < sourceLength; ++i) {
        BYTE c = source[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<BYTE>(c - 'A' + 'a');
        int digit = IsReportWhitespace(c)        ? 0
                    : (c >= '0' && c <= '9')     ? c - '0'
                    : (c >= 'a' && c <= 'f')     ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) {
            isHex = false;
            break;
        }
        pair = static_cast<BYTE>((pair << 4) | digit);
        if (++digits < 2) continue;
        if (pair != 0 && !IsReportPrintable(pair)) {
            isHex = false;
            break;
        }
        out[length++] = static_cast<char>(pair);
        pair = 0;
        digits = 0;
    }
    if (!isHex) {
        length = 0;
        while (length < sourceLength && IsReportPrintable(source[length])) {
            out[length] = static_cast<char>(source[length]);
            ++length;
        }
        if (length < sourceLength) length = 0;
    }
    if (swap)
        for (size_t i = 0; i + 1 < length; i += 2) std::swap(out[i], out[i + 1]);
    out[length] = 0;

    // A text of whitespace only is kept as it is.
    size_t textLength = std::strlen(out);
    size_t first = 0;
    while (first < textLength && IsReportWhitespace(static_cast<BYTE>(out[first]))) ++first;
    if (first == textLength) return out;
    size_t end = textLength;
    while (IsReportWhitespace(static_cast<BYTE>(out[end - 1]))) --end;
    std::memmove(out, out + first, end - first);
    out[end - first] = 0;
    return out;
}
