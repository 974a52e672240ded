// Driver answers for made-up drives, built byte by byte as a driver would return them. Shared by
// the drive report's tests and its benchmark; needs nothing from the test framework.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace samples {

using Words = std::array<uint16_t, 256>;

// Puts `text` into words first..last, two characters a word, first character in the high byte,
// padded with spaces as drives pad them.
inline void PutAtaString(Words& words, int first, int last, const std::string& text) {
    std::string padded = text;
    padded.resize(static_cast<size_t>(last - first + 1) * 2, ' ');
    for (int k = first; k <= last; ++k) {
        size_t at = static_cast<size_t>(k - first) * 2;
        words[k] = static_cast<uint16_t>((static_cast<uint8_t>(padded[at]) << 8) | static_cast<uint8_t>(padded[at + 1]));
    }
}

// A fixed drive without the 48-bit feature set.
inline Words IdentifyWords(const std::string& model, const std::string& revision, const std::string& serial,
                           uint32_t sectors = 0x11000) {
    Words words{};
    words[0] = 0x0040;
    PutAtaString(words, 10, 19, serial);
    words[21] = 16;
    PutAtaString(words, 23, 26, revision);
    PutAtaString(words, 27, 46, model);
    words[60] = static_cast<uint16_t>(sectors);
    words[61] = static_cast<uint16_t>(sectors >> 16);
    return words;
}

inline void PutLe(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// `prefix` zero bytes, the 512 bytes of IDENTIFY data, then `suffix` zero bytes.
inline std::vector<uint8_t> IdentifyAnswer(const Words& words, size_t prefix, size_t suffix = 0) {
    std::vector<uint8_t> bytes(prefix + 512 + suffix, 0);
    for (size_t k = 0; k < words.size(); ++k) PutLe(bytes, prefix + 2 * k, words[k], 2);
    return bytes;
}

// SENDCMDOUTPARAMS as SMART_RCV_DRIVE_DATA returns it: 16 bytes of header, then the data.
inline std::vector<uint8_t> SmartAnswer(const Words& words) {
    std::vector<uint8_t> bytes = IdentifyAnswer(words, 16);
    PutLe(bytes, 0, 512, 4);
    return bytes;
}

// The whole 557-byte SCSI miniport buffer as it comes back: SRB_IO_CONTROL, SENDCMDOUTPARAMS.
inline std::vector<uint8_t> ScsiAnswer(const Words& words) {
    std::vector<uint8_t> bytes = IdentifyAnswer(words, 44, 1);
    PutLe(bytes, 0, 28, 4);
    for (int i = 0; i < 8; ++i) bytes[4 + i] = static_cast<uint8_t>("SCSIDISK"[i]);
    PutLe(bytes, 24, 529, 4);
    return bytes;
}

// GETVERSIONINPARAMS with the given device map.
inline std::vector<uint8_t> VersionAnswer(uint8_t deviceMap) {
    std::vector<uint8_t> bytes(24, 0);
    bytes[0] = 1;
    bytes[1] = 1;
    bytes[3] = deviceMap;
    PutLe(bytes, 4, 7, 4);
    return bytes;
}

// A STORAGE_DEVICE_DESCRIPTOR of 512 bytes with the four strings stored after the fixed part;
// an empty string is left out (offset 0).
inline std::vector<uint8_t> DescriptorAnswer(const std::string& vendor, const std::string& product,
                                             const std::string& revision, const std::string& serial) {
    std::vector<uint8_t> bytes(512, 0);
    PutLe(bytes, 0, 1, 4);    // Version
    PutLe(bytes, 4, 512, 4);  // Size
    size_t next = 40;
    const std::string* strings[] = {&vendor, &product, &revision, &serial};
    for (int i = 0; i < 4; ++i) {
        if (strings[i]->empty()) continue;
        PutLe(bytes, 12 + 4 * i, next, 4);
        for (char c : *strings[i]) bytes[next++] = static_cast<uint8_t>(c);
        ++next;
    }
    return bytes;
}

// DISK_GEOMETRY_EX as far as the report reads it.
inline std::vector<uint8_t> GeometryAnswer(int64_t cylinders, uint32_t mediaType, uint32_t tracksPerCylinder,
                                           uint32_t sectorsPerTrack, uint32_t bytesPerSector, int64_t diskSize) {
    std::vector<uint8_t> bytes(40, 0);
    PutLe(bytes, 0, static_cast<uint64_t>(cylinders), 8);
    PutLe(bytes, 8, mediaType, 4);
    PutLe(bytes, 12, tracksPerCylinder, 4);
    PutLe(bytes, 16, sectorsPerTrack, 4);
    PutLe(bytes, 20, bytesPerSector, 4);
    PutLe(bytes, 24, static_cast<uint64_t>(diskSize), 8);
    return bytes;
}

}  // namespace samples
