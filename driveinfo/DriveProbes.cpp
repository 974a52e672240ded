#include "driveinfo/DriveProbes.h"

#include "driveinfo/DriveReport.h"
#include "driveinfo/IdentifyFormat.h"
#include "platform/ByteLayout.h"
#include "platform/TextFormat.h"

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

// The driver's GETVERSIONINPARAMS; all zero when the request writes nothing. Called without an
// overlapped record, DeviceIoControl always sets the byte count, which only the NVMe probe reads.
bool AskSmartVersion(HANDLE device, BYTE (&version)[VersionAnswerSize]) {
    DWORD returned;
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
    DWORD returned;
    if (DeviceIoControl(device, SMART_RCV_DRIVE_DATA, request, SendCmdInSize - 1, answer, AdminAnswerSize, &returned,
                        nullptr))
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
    DWORD returned;
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
    DWORD returned;
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
    FormatText(text, sizeof text,
               "\r\nDevice Descriptor for drive #%d:\r\nVendor ID: %s\r\nProduct ID: %s\r\n"
               "Product Revision: %s\r\nSerial Number: %s\r\n",
               drive, vendor, product, revision, serial);
    AppendToReport(text);

    std::memset(area, 0, sizeof area);
    if (!DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, area, GeometryAnswerSize, &returned,
                         nullptr))
        return;
    char geometry[GeometryTextSize] = {};
    FormatText(geometry, sizeof geometry,
               "\r\nDisk Geometry for drive #%d:\r\nDisk is%s fixed\r\nCylinders: %" FORMAT_I64D
               "\r\nTracks Per Cylinder: %i\r\nSectors Per Track: %i\r\nBytes Per Sector: %i\r\n"
               "Disk Size (bytes): %" FORMAT_I64U "\r\n",
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
    DWORD returned;
    if (DeviceIoControl(device, SMART_RCV_DRIVE_DATA, buffer, SendCmdInSize, buffer, SmartBufferSize, &returned,
                        nullptr))
        ReportIdentifyData(drive, buffer + SendCmdOutDataOffset, section);
    GlobalFree(buffer);
}

// An NVMe drive's data through the protocol-specific storage query: STORAGE_PROPERTY_QUERY with
// STORAGE_PROTOCOL_SPECIFIC_DATA in place of its AdditionalParameters, then room for the data.
// The answer comes back in the same buffer as STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version and Size,
// then the same record, whose data offset counts from the record's own start.
constexpr size_t PropertyIdAt = 0;
constexpr size_t ProtocolRecordAt = 8;  // AdditionalParameters; in the answer ProtocolSpecificData
constexpr size_t ProtocolTypeAt = ProtocolRecordAt + 0;
constexpr size_t DataTypeAt = ProtocolRecordAt + 4;
constexpr size_t RequestValueAt = ProtocolRecordAt + 8;  // ProtocolDataRequestValue
constexpr size_t DataOffsetAt = ProtocolRecordAt + 16;   // ProtocolDataOffset
constexpr size_t DataLengthAt = ProtocolRecordAt + 20;   // ProtocolDataLength
constexpr uint32_t ProtocolRecordSize = 40;
constexpr uint32_t ProtocolDescriptorSize = ProtocolRecordAt + ProtocolRecordSize;  // 48
constexpr uint32_t AdapterProtocolQuery = 49;  // StorageAdapterProtocolSpecificProperty
constexpr uint32_t DeviceProtocolQuery = 50;   // StorageDeviceProtocolSpecificProperty
constexpr uint32_t NvmeProtocol = 3;           // ProtocolTypeNvme
constexpr uint32_t NvmeIdentifyData = 1;       // NVMeDataTypeIdentify
constexpr uint32_t NvmeLogPageData = 2;        // NVMeDataTypeLogPage
constexpr uint32_t IdentifyController = 1;     // CNS 1
constexpr uint32_t HealthLogPage = 2;          // SMART / Health Information
constexpr uint32_t IdentifyControllerSize = 4096;
constexpr uint32_t HealthLogSize = 512;
constexpr size_t NvmeBufferSize = ProtocolDescriptorSize + IdentifyControllerSize;
constexpr size_t NvmeTextSize = 1024;

// Asks for `size` bytes of NVMe data into `buffer` (room for the descriptor and them); the data,
// or null when the request fails or the answer is not whole: a descriptor of another version or
// size, data starting inside the record or ending past what came back, or less than was asked.
// The byte count is read here, unlike in the other probes: a short answer leaves zeros where
// the data should be. Windows never counts more than the buffer holds.
const BYTE* AskNvmeData(HANDLE device, BYTE* buffer, uint32_t property, uint32_t dataType, uint32_t value,
                        uint32_t size) {
    const DWORD bufferSize = ProtocolDescriptorSize + size;
    std::memset(buffer, 0, bufferSize);
    PutLe32(buffer + PropertyIdAt, property);  // QueryType stays 0, PropertyStandardQuery
    PutLe32(buffer + ProtocolTypeAt, NvmeProtocol);
    PutLe32(buffer + DataTypeAt, dataType);
    PutLe32(buffer + RequestValueAt, value);
    PutLe32(buffer + DataOffsetAt, ProtocolRecordSize);
    PutLe32(buffer + DataLengthAt, size);
    DWORD returned;
    if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, buffer, bufferSize, buffer, bufferSize, &returned,
                         nullptr))
        return nullptr;
    // Size is the descriptor's own 48 bytes on the drivers we know; it may count the data too.
    uint32_t descriptorSize = GetLe32(buffer + 4);
    uint64_t dataOffset = GetLe32(buffer + DataOffsetAt), dataLength = GetLe32(buffer + DataLengthAt);
    uint64_t dataEnd = ProtocolRecordAt + dataOffset + dataLength;
    bool whole = GetLe32(buffer + 0) == ProtocolDescriptorSize && descriptorSize >= ProtocolDescriptorSize &&
                 descriptorSize <= returned && dataOffset >= ProtocolRecordSize && dataLength >= size &&
                 dataEnd <= returned;
    return whole ? buffer + ProtocolRecordAt + dataOffset : nullptr;
}

// An Identify Controller text field: up to its first zero byte, anything unprintable as '?',
// without the spaces it is padded with.
char* NvmeText(const BYTE* field, size_t size, char* out) {
    size_t length = 0;
    while (length < size && field[length] != 0) {
        out[length] = IsReportPrintable(field[length]) ? static_cast<char>(field[length]) : '?';
        ++length;
    }
    while (length > 0 && out[length - 1] == ' ') --length;
    out[length] = 0;
    size_t first = 0;
    while (out[first] == ' ') ++first;
    return out + first;
}

// A 16-byte little-endian counter of the health log in decimal, every digit of it (at most 39).
// Divided by ten in 16-bit parts, so that 32-bit arithmetic does and no 64-bit division is linked.
char* CounterText(const BYTE* counter, char (&out)[40]) {
    WORD parts[8];
    for (int i = 0; i < 8; ++i) parts[i] = GetLe16(counter + 2 * i);
    char* digit = out + sizeof out - 1;
    *digit = 0;
    WORD left;
    do {
        uint32_t remainder = 0;
        left = 0;
        for (int i = 7; i >= 0; --i) {
            uint32_t part = (remainder << 16) | parts[i];
            parts[i] = static_cast<WORD>(part / 10);
            remainder = part % 10;
            left |= parts[i];
        }
        *--digit = static_cast<char>('0' + remainder);
    } while (left != 0);
    return digit;
}

void ReportNvmeHealth(int drive, const BYTE* log) {
    char counters[6][40];
    char text[NvmeTextSize] = {};
    FormatText(text, sizeof text,
               "\r\nNVMe Health for drive #%d:\r\nCritical Warning: 0x%02X\r\nTemperature (Celsius): %d\r\n"
               "Available Spare (%%): %u\r\nPercentage Used (%%): %u\r\nData Units Read: %s\r\n"
               "Data Units Written: %s\r\nPower Cycles: %s\r\nPower On Hours: %s\r\nUnsafe Shutdowns: %s\r\n"
               "Media Errors: %s\r\n",
               drive, unsigned{log[0]}, GetLe16(log + 1) - 273, unsigned{log[3]}, unsigned{log[5]},
               CounterText(log + 32, counters[0]), CounterText(log + 48, counters[1]),
               CounterText(log + 112, counters[2]), CounterText(log + 128, counters[3]),
               CounterText(log + 144, counters[4]), CounterText(log + 160, counters[5]));
    AppendToReport(text);
}

// One NVMe drive's controller identity and, when it gives it, its health.
void DescribeNvmeDrive(HANDLE device, int drive, Section& section) {
    BYTE* buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, NvmeBufferSize));
    if (buffer == nullptr) return;
    const BYTE* identify =
        AskNvmeData(device, buffer, AdapterProtocolQuery, NvmeIdentifyData, IdentifyController, IdentifyControllerSize);
    if (identify != nullptr) {
        char serial[21], model[41], firmware[9];
        char text[NvmeTextSize] = {};
        FormatText(text, sizeof text,
                   "\r\nNVMe Controller for drive #%d:\r\nModel Number: %s\r\nSerial Number: %s\r\n"
                   "Firmware Revision: %s\r\nPCI Vendor ID: 0x%04X\r\nNamespaces: %u\r\n",
                   drive, NvmeText(identify + 24, 40, model), NvmeText(identify + 4, 20, serial),
                   NvmeText(identify + 64, 8, firmware), static_cast<unsigned>(GetLe16(identify + 0)),
                   static_cast<unsigned>(GetLe32(identify + 516)));
        StartSection(section);
        AppendToReport(text);
        const BYTE* log =
            AskNvmeData(device, buffer, DeviceProtocolQuery, NvmeLogPageData, HealthLogPage, HealthLogSize);
        if (log != nullptr) ReportNvmeHealth(drive, log);
    }
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
    {"\\\\.\\PhysicalDrive%d", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, IdentifyWithAtaCommand,
     "\r\nReading the drive internals using physical access with admin rights\r\n"},
    {"\\\\.\\Scsi%d:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, IdentifyBothTargets,
     "\r\nReading the drive internals using SCSI...\r\n"},
    {"\\\\.\\PhysicalDrive%d", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, DescribeWithStorageQueries,
     "\r\nReading the drive internals using physical access with current user rights\r\n"},
    {"\\\\.\\PhysicalDrive%d", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
     IdentifyWithBareCommand, "\r\nReading the drive internals using SMART\r\n"},
    {"\\\\.\\PhysicalDrive%d", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, DescribeNvmeDrive,
     "\r\nReading the drive internals using NVMe with current user rights\r\n"},
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
        FormatText(path, sizeof path, kind.pathFormat, number);
        HANDLE device = CreateFileA(path, kind.access, kind.share, nullptr, OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE) continue;
        kind.ask(device, number, section);
        CloseHandle(device);
    }
}

// Drivers give these strings either as text or as a hexadecimal dump of it; a dump is taken only
// when every digit pair gives a printable character or a zero. Only a dump of the serial is
// swapped back: the old drivers that dump it hand over the ATA words as they come.
char* DecodeDescriptorString(const BYTE* answer, DWORD offset, bool swap, char (&out)[DescriptorTextAreaSize]) {
    std::span<const BYTE> source = DescriptorSource(answer, offset);
    std::optional<size_t> decoded = ReadHexDump(source, out);
    size_t length = decoded ? *decoded : CopyPlainText(source, out);
    if (swap && decoded) SwapPairs(out, length);
    out[length] = 0;
    TrimWhitespace(out);
    return out;
}
