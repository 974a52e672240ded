#include "driveinfo/DriveReport.h"
#include "driveinfo/IdentifyFormat.h"
#include "tests/unit/DriveSamples.h"
#include "tests/unit/Machine.h"

#include <cstring>

namespace {

IdentifyBlock BlockOf(const samples::Words& words) {
    IdentifyBlock block{};
    for (size_t k = 0; k < words.size(); ++k) block[k] = words[k];
    return block;
}

std::string Formatted(int driveNumber, const IdentifyBlock& block) {
    ClearDriveReport();
    FormatIdentifyBlock(driveNumber, block);
    return DriveReport;
}

// The line of the formatted text that starts with `label`, without its line end.
std::string LineStartingWith(const std::string& text, const std::string& label) {
    size_t at = text.find("\r\n" + label);
    if (at == std::string::npos) return "(no line " + label + ")";
    at += 2;
    return text.substr(at, text.find("\r\n", at) - at);
}

class DriveIdentifyTest : public MachineTest {};

TEST_F(DriveIdentifyTest, TheWorkedDriveGivesItsThirteenLines) {
    samples::Words words = samples::IdentifyWords("ABC123", "1.0", "S99");
    words[60] = 0x1000;
    words[61] = 0x0001;
    EXPECT_EQ(Formatted(1, BlockOf(words)),
              "\r\n"
              "Device Descriptor for drive #1:\r\n"
              "Product ID: ABC123\r\n"
              "Product Revision: 1.0\r\n"
              "Serial Number: S99\r\n"
              "Disk Buffer Size (bytes): 8192\r\n"
              "Drive 1 - Primary Controller - Slave drive\r\n"
              "\r\n"
              "Disk Geometry for drive #1:\r\n"
              "Disk is fixed\r\n"
              "Sectors Per Track: 69632\r\n"
              "Bytes Per Sector: 512\r\n"
              "Disk Size (bytes): 35651584\r\n");
}

TEST_F(DriveIdentifyTest, AnAllZeroBlockStillGivesEveryLine) {
    EXPECT_EQ(Formatted(0, IdentifyBlock{}),
              "\r\nDevice Descriptor for drive #0:\r\nProduct ID: \r\nProduct Revision: \r\nSerial Number: \r\n"
              "Disk Buffer Size (bytes): 0\r\nDrive 0 - Primary Controller - Master drive\r\n"
              "\r\nDisk Geometry for drive #0:\r\nDisk is NOT fixed\r\nSectors Per Track: 0\r\n"
              "Bytes Per Sector: 512\r\nDisk Size (bytes): 0\r\n");
}

TEST_F(DriveIdentifyTest, ThePositionLineFollowsTheDriveNumber) {
    const char* const expected[] = {
        "Drive 0 - Primary Controller - Master drive",    "Drive 1 - Primary Controller - Slave drive",
        "Drive 2 - Secondary Controller - Master drive",  "Drive 3 - Secondary Controller - Slave drive",
        "Drive 4 - Tertiary Controller - Master drive",   "Drive 5 - Tertiary Controller - Slave drive",
        "Drive 6 - Quaternary Controller - Master drive", "Drive 7 - Quaternary Controller - Slave drive",
        "Drive 8 - Master drive",                         "Drive 9 - Slave drive",
    };
    for (int drive = 0; drive < 10; ++drive) {
        SCOPED_TRACE(drive);
        EXPECT_EQ(LineStartingWith(Formatted(drive, IdentifyBlock{}), "Drive "), expected[drive]);
    }
    EXPECT_EQ(LineStartingWith(Formatted(31, IdentifyBlock{}), "Drive "), "Drive 31 - Slave drive");
}

struct SizeCase {
    const char* name;
    std::vector<std::pair<int, uint16_t>> words;
    const char* sectors;
    const char* size;
    const char* buffer;
};

TEST_F(DriveIdentifyTest, SizesComeFromTheRightWordsAndWrapAsSixtyFourBitNumbers) {
    const SizeCase cases[] = {
        {"48-bit count", {{83, 0x0400}, {100, 0x6030}, {101, 0x3A38}, {60, 1}}, "976773168", "500107862016", "0"},
        {"48-bit words all zero, no fall-back", {{83, 0x0400}, {60, 0x1000}, {61, 1}}, "0", "0", "0"},
        {"other bits of word 83 do not count", {{83, 0xFBFF}, {60, 5}, {100, 7}}, "5", "2560", "0"},
        {"largest buffer", {{21, 0xFFFF}}, "0", "0", "33553920"},
        {"size past 2^63 reads negative", {{83, 0x0400}, {103, 0x0040}, {100, 1}}, "18014398509481985",
         "-9223372036854775296", "0"},
        {"count past 2^63 reads negative", {{83, 0x0400}, {103, 0x8000}}, "-9223372036854775808", "0", "0"},
        {"largest 28-bit count", {{60, 0xFFFF}, {61, 0xFFFF}}, "4294967295", "2199023255040", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IdentifyBlock block{};
        for (auto [word, value] : c.words) block[word] = value;
        std::string text = Formatted(2, block);
        EXPECT_EQ(LineStartingWith(text, "Sectors Per Track: "), std::string("Sectors Per Track: ") + c.sectors);
        EXPECT_EQ(LineStartingWith(text, "Disk Size (bytes): "), std::string("Disk Size (bytes): ") + c.size);
        EXPECT_EQ(LineStartingWith(text, "Disk Buffer Size (bytes): "),
                  std::string("Disk Buffer Size (bytes): ") + c.buffer);
    }
}

struct StringCase {
    const char* name;
    std::vector<uint16_t> words;
    std::string expected;
};

TEST_F(DriveIdentifyTest, AtaStringsLoseTheirSpacesAndTrailingControlWhitespace) {
    const StringCase cases[] = {
        {"space in the high byte", {0x2041}, "A"},
        {"space in the low byte", {0x4120}, "A"},
        {"spaces only", {0x2020, 0x2020}, ""},
        {"leading spaces", {0x2020, 0x2020, 0x2020, 0x5331, 0x3233}, "S123"},
        {"inner spaces", {0x5859, 0x2031, 0x3233, 0x342D, 0x5A20}, "XY1234-Z"},
        {"trailing tab", {0x312E, 0x3009}, "1.0"},
        {"trailing line ends", {0x410D, 0x0A0B, 0x0C09}, "A"},
        {"a lone tab stays", {0x0920}, "\t"},
        {"whitespace runs to position 0", {0x090A, 0x0D20}, "\t"},
        {"a zero ends the text", {0x4142, 0x0043, 0x4445}, "AB"},
        {"all zero", {0, 0, 0}, ""},
        {"bytes of 0x80 and more are kept", {0x80FF, 0x4120}, "\x80\xFF" "A"},
        {"inner control characters are kept", {0x4109, 0x4220}, "A\tB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IdentifyBlock block{};
        for (size_t i = 0; i < c.words.size(); ++i) block[100 + i] = c.words[i];
        char out[AtaTextAreaSize];
        std::memset(out, 'x', sizeof out);
        char* result = ExtractAtaString(block, 100, 100 + static_cast<int>(c.words.size()) - 1, out);
        EXPECT_EQ(result, out);
        EXPECT_EQ(std::string(out), c.expected);
    }
}

TEST_F(DriveIdentifyTest, TheThreeStringsComeFromTheirOwnWords) {
    samples::Words words{};
    samples::PutAtaString(words, 10, 19, "SERIAL-20-CHARACTERS");
    samples::PutAtaString(words, 23, 26, "REV 8CHR");
    samples::PutAtaString(words, 27, 46, "MODEL NUMBER THAT FILLS FORTY CHARACTERS");
    words[9] = words[20] = words[22] = words[47] = 0x5858;  // neighbours that must not leak in
    std::string text = Formatted(3, BlockOf(words));
    EXPECT_EQ(LineStartingWith(text, "Product ID: "), "Product ID: MODELNUMBERTHATFILLSFORTYCHARACTERS");
    EXPECT_EQ(LineStartingWith(text, "Product Revision: "), "Product Revision: REV8CHR");
    EXPECT_EQ(LineStartingWith(text, "Serial Number: "), "Serial Number: SERIAL-20-CHARACTERS");
}

}  // namespace
