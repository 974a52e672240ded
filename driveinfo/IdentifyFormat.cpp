#include "driveinfo/IdentifyFormat.h"

#include "driveinfo/DriveReport.h"
#include "platform/ByteLayout.h"
#include "platform/TextFormat.h"

namespace {

// Each block is formatted here before it is appended; the strings in it are at most 40
// characters, so no block comes near the size.
constexpr size_t ScratchAreaSize = 5120;

constexpr DWORD FixedDeviceBit = 0x0040;  // word 0
constexpr DWORD Address48Bit = 0x0400;    // word 83

const char* const ControllerNames[] = {
    "Primary Controller - ",
    "Secondary Controller - ",
    "Tertiary Controller - ",
    "Quaternary Controller - ",
};

void AppendPositionLine(int driveNumber) {
    char text[ScratchAreaSize] = {};
    int length = FormatText(text, sizeof text, "Drive %d - ", driveNumber);
    int controller = driveNumber / 2;
    if (controller >= 0 && controller < 4)
        length += FormatText(text + length, sizeof text - length, "%s", ControllerNames[controller]);
    FormatText(text + length, sizeof text - length, "%s",
               driveNumber % 2 == 0 ? "Master drive\r\n" : "Slave drive\r\n");
    AppendToReport(text);
}

// The drive's sector count: the 48-bit count whenever the drive claims the feature set, even
// when that count is zero.
uint64_t TotalSectors(const IdentifyBlock& block) {
    if (block[83] & Address48Bit)
        return uint64_t{block[100]} | (uint64_t{block[101]} << 16) | (uint64_t{block[102]} << 32) |
               (uint64_t{block[103]} << 48);
    return uint64_t{block[60]} | (uint64_t{block[61]} << 16);
}

// The ATA string held in words firstWord..lastWord (two characters a word, high byte first),
// without its spaces and with trailing control whitespace trimmed; returns `out`. Spaces go
// wherever they stand; the last character is never trimmed away from position 0. The callers'
// ranges lie inside the block.
char* ExtractAtaString(const IdentifyBlock& block, int firstWord, int lastWord, char (&out)[AtaTextAreaSize]) {
    size_t length = 0;
    for (int k = firstWord; k <= lastWord; ++k) {
        const BYTE bytes[2] = {static_cast<BYTE>(block[k] >> 8), static_cast<BYTE>(block[k])};
        for (BYTE c : bytes)
            if (c != ' ' && length < AtaTextAreaSize - 1) out[length++] = static_cast<char>(c);
    }
    out[length] = 0;
    for (size_t i = length; i-- > 1 && IsReportWhitespace(static_cast<BYTE>(out[i]));) out[i] = 0;
    return out;
}

}  // namespace

void ReadIdentifyBlock(const BYTE* data, IdentifyBlock& block) {
    for (size_t k = 0; k < block.size(); ++k) block[k] = GetLe16(data + 2 * k);
}

void FormatIdentifyBlock(int driveNumber, const IdentifyBlock& block) {
    char serial[AtaTextAreaSize] = {};
    char model[AtaTextAreaSize] = {};
    char revision[AtaTextAreaSize] = {};
    ExtractAtaString(block, 10, 19, serial);
    ExtractAtaString(block, 27, 46, model);
    ExtractAtaString(block, 23, 26, revision);

    char text[ScratchAreaSize] = {};
    FormatText(text, sizeof text,
               "\r\nDevice Descriptor for drive #%d:\r\nProduct ID: %s\r\nProduct Revision: %s\r\n"
               "Serial Number: %s\r\nDisk Buffer Size (bytes): %u\r\n",
               driveNumber, model, revision, serial, static_cast<unsigned>(block[21] * 512u));
    AppendToReport(text);

    AppendPositionLine(driveNumber);

    // Corrupt data can claim 2^54 sectors and more: the size in bytes is then the 64-bit product,
    // wrapped, and like the count it is printed unsigned, never as a negative number.
    uint64_t total = TotalSectors(block);
    char geometry[ScratchAreaSize] = {};
    FormatText(geometry, sizeof geometry,
               "\r\nDisk Geometry for drive #%d:\r\nDisk is%s fixed\r\nSectors Per Track: %" FORMAT_I64U
               "\r\nBytes Per Sector: 512\r\nDisk Size (bytes): %" FORMAT_I64U "\r\n",
               driveNumber, (block[0] & FixedDeviceBit) ? "" : " NOT", total, total * 512u);
    AppendToReport(geometry);
}
