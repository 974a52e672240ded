// Driver answers for made-up drives, built byte by byte as a driver would return them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace samples {

using Words = std::array<uint16_t, 256>;

inline void PutLe(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A fixed drive without the 48-bit feature set. Each text goes into its words two characters a
// word, first character in the high byte, padded with spaces as drives pad them.
inline Words IdentifyWords(const std::string& model, const std::string& revision, const std::string& serial,
                           uint32_t sectors = 0x11000) {
    Words words{};
    auto put = [&words](int first, int last, std::string text) {
        text.resize(static_cast<size_t>(last - first + 1) * 2, ' ');
        for (int k = first; k <= last; ++k)
            words[k] = static_cast<uint16_t>(uint8_t(text[2 * (k - first)]) << 8 | uint8_t(text[2 * (k - first) + 1]));
    };
    words[0] = 0x0040;
    put(10, 19, serial);
    words[21] = 16;
    put(23, 26, revision);
    put(27, 46, model);
    words[60] = static_cast<uint16_t>(sectors);
    words[61] = static_cast<uint16_t>(sectors >> 16);
    return words;
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

// GETVERSIONINPARAMS with the given device map, up to its capabilities; the rest stays zero.
inline std::vector<uint8_t> VersionAnswer(uint8_t deviceMap) {
    return {1, 1, 0, deviceMap, 7, 0, 0, 0};
}

}  // namespace samples
