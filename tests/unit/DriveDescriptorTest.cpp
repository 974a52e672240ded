#include "driveinfo/DriveProbes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct DecodeCase {
    const char* name;
    std::string source;
    bool swap;
    std::string expected;
};

// Decodes `source` stored at offset 100 of an otherwise zero answer.
std::string Decode(const std::string& source, bool swap, DWORD offset = 100) {
    BYTE answer[DescriptorAnswerSize] = {};
    std::memcpy(answer + 100, source.data(), std::min<size_t>(source.size(), DescriptorAnswerSize - 100));
    char out[DescriptorTextAreaSize];
    std::memset(out, 'x', sizeof out);
    char* result = DecodeDescriptorString(answer, offset, swap, out);
    EXPECT_EQ(result, out);
    return out;
}

TEST(DriveDescriptorTest, PlainAndHexadecimalStringsDecode) {
    const DecodeCase cases[] = {
        {"plain, trimmed", "ATA     ", false, "ATA"},
        {"hexadecimal", "3130", false, "10"},
        {"upper and lower case digits", "4A4b", false, "JK"},
        {"hex byte that is not printable: plain", "1234", false, "1234"},
        {"DEL is not printable", "7F41", false, "7F41"},
        {"line ends are not printable either", "0D0A41", false, "0D0A41"},
        {"odd digit count drops the last digit", "414", false, "A"},
        {"whitespace counts as the digit 0", "41\t", false, "A"},
        {"a space inside a pair", "4 41", false, "@A"},
        {"decoded zero ends the text", "410042", false, "A"},
        {"inner whitespace stays", "41204220", false, "A B"},
        {"plain text around spaces", "  hello world  ", false, "hello world"},
        {"whitespace only stays", "2020", false, "  "},
        {"whitespace pairs decode to zero bytes", " \t ", false, ""},
        {"a control character gives nothing", "A\x01" "B", false, ""},
        {"a trailing tab in plain text gives nothing", "AB\t", false, ""},
        {"a high byte gives nothing", "AB\x80", false, ""},
        {"a high byte in a hexadecimal run gives nothing", "4141\xC3", false, ""},
        {"empty", "", false, ""},
        {"serial: decoded, swapped, trimmed", "2020415A", true, "ZA"},
        {"serial: plain with an unpaired last character", "ABCDE", true, "BADCE"},
        {"serial: hexadecimal, odd count of bytes", "3132333435", true, "21435"},
        {"serial: a zero swapped to the front empties it", "410042", true, ""},
        {"serial: whitespace swapped to the front is trimmed", "A B", true, "AB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.source, c.swap), c.expected);
    }
}

TEST(DriveDescriptorTest, OffsetsOutsideTheAnswerGiveTheEmptyText) {
    const DWORD offsets[] = {0, 512, 513, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (DWORD offset : offsets) {
        BYTE answer[DescriptorAnswerSize];
        std::memset(answer, 'A', sizeof answer);
        char out[DescriptorTextAreaSize];
        std::memset(out, 'x', sizeof out);
        DecodeDescriptorString(answer, offset, false, out);
        EXPECT_STREQ(out, "") << offset;
    }
}

TEST(DriveDescriptorTest, AStringRunningToTheEndOfTheAnswerStopsThere) {
    // Exactly the answer's size on the heap: a read past it is an error under the sanitizer.
    auto answer = std::make_unique<BYTE[]>(DescriptorAnswerSize);
    std::memset(answer.get(), 'Q', DescriptorAnswerSize);
    char out[DescriptorTextAreaSize];
    DecodeDescriptorString(answer.get(), 1, false, out);
    EXPECT_EQ(std::string(out), std::string(511, 'Q'));
    DecodeDescriptorString(answer.get(), 511, true, out);
    EXPECT_EQ(std::string(out), "Q");
    // 511 digits: 255 bytes, the lone last digit dropped.
    std::memset(answer.get(), '5', DescriptorAnswerSize);
    DecodeDescriptorString(answer.get(), 1, false, out);
    EXPECT_EQ(std::string(out), std::string(255, 'U'));
}

}  // namespace
