// What the report's formatting relies on from the C runtime, through FormatText: a text ends
// inside its area, also when it fills it or is cut (the system's _vsnprintf leaves both without an
// end), and the 64-bit and hexadecimal conversions print alike on both sides.
#include "platform/TextFormat.h"
#include "tests/contract/Contract.h"

#include <cstdint>
#include <cstring>

TEST(TextFormatContract, ATextEndsInsideItsAreaAndNumbersPrintWhole) {
    char area[8];
    std::memset(area, 'Q', sizeof area);
    EXPECT_EQ(FormatText(area, sizeof area, "%s", "cut here"), 7);
    EXPECT_STREQ(area, "cut her");
    EXPECT_EQ(FormatText(area, sizeof area, "%d", -123456), 7);
    EXPECT_STREQ(area, "-123456");
    char text[80];
    FormatText(text, sizeof text, "%" FORMAT_I64D " %" FORMAT_I64U " 0x%04X 0x%02X %u", INT64_MIN, UINT64_MAX, 0x1Cu,
               0xFFu, 4294967295u);
    EXPECT_STREQ(text, "-9223372036854775808 18446744073709551615 0x001C 0xFF 4294967295");
}
