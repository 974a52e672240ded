// Conversions the program makes: tooltips and picked paths from UTF-16 to the ANSI page, on a
// single-byte page and on UTF-8, which Windows 10 and later can make the ANSI page.
#include "tests/contract/Contract.h"

#include <cstring>

namespace {

constexpr char Guard = '\x5A';
constexpr DWORD Sentinel = 0xDEADBEEF;

struct Converted {
    int result;
    DWORD error;  // the last error, or the sentinel when the call left it alone
    std::string bytes;
    bool guardIntact;
};

Converted ToNarrow(UINT page, DWORD flags, const WCHAR* text, int capacity, BOOL* usedDefault = nullptr) {
    char buffer[64];
    std::memset(buffer, Guard, sizeof buffer);
    SetLastError(Sentinel);
    int result = WideCharToMultiByte(page, flags, text, -1, capacity ? buffer : nullptr, capacity, nullptr, usedDefault);
    Converted out{result, GetLastError(), {}, buffer[capacity] == Guard};
    if (result > 0 && capacity > 0) out.bytes.assign(buffer, static_cast<size_t>(result));
    return out;
}

TEST(CodePagesContract, SizingCallCountsTheTerminatorAndAShortBufferFailsWithNothingMore) {
    const WCHAR text[] = WIDE("Disk");
    EXPECT_EQ(ToNarrow(1252, 0, text, 0).result, 5);
    Converted shortBuffer = ToNarrow(1252, 0, text, 3);
    EXPECT_EQ(shortBuffer.result, 0);
    EXPECT_EQ(shortBuffer.error, 0x7Au);  // ERROR_INSUFFICIENT_BUFFER
    EXPECT_TRUE(shortBuffer.guardIntact);
    Converted whole = ToNarrow(1252, 0, text, 5);
    EXPECT_EQ(whole.bytes, std::string("Disk", 5));
}

TEST(CodePagesContract, NoBestFitReportsACharacterTheSingleBytePageLacks) {
    const WCHAR cyrillic[] = {0x0416, 0};
    BOOL used = static_cast<BOOL>(Sentinel);
    Converted out = ToNarrow(1252, WC_NO_BEST_FIT_CHARS, cyrillic, 8, &used);
    EXPECT_EQ(out.result, 2);
    EXPECT_EQ(used, TRUE);
    const WCHAR latin[] = {u'\x00E9', 0};
    used = static_cast<BOOL>(Sentinel);
    EXPECT_EQ(ToNarrow(1252, WC_NO_BEST_FIT_CHARS, latin, 8, &used).bytes, std::string("\xE9", 2));
    EXPECT_EQ(used, FALSE);
}

TEST(CodePagesContract, Utf8RefusesTheBestFitFlagAndTheUsedDefaultReport) {
    // Windows documents both refusals for CP_UTF8: flags other than 0 and WC_ERR_INVALID_CHARS
    // fail with ERROR_INVALID_FLAGS, a default-character argument with ERROR_INVALID_PARAMETER.
    // Wine 8 converts anyway and leaves the last error alone.
    const WCHAR text[] = WIDE("C:\\x.ico");
    Converted bestFit = ToNarrow(CP_UTF8, WC_NO_BEST_FIT_CHARS, text, 32);
    EXPECT_WINE_DIFFERS(bestFit.result, 0, 9);
    EXPECT_WINE_DIFFERS(bestFit.error, 0x3ECu, Sentinel);  // ERROR_INVALID_FLAGS
    BOOL used = FALSE;
    Converted report = ToNarrow(CP_UTF8, 0, text, 32, &used);
    EXPECT_WINE_DIFFERS(report.result, 0, 9);
    EXPECT_WINE_DIFFERS(report.error, 0x57u, Sentinel);  // ERROR_INVALID_PARAMETER
}

TEST(CodePagesContract, Utf8KeepsEveryCharacterAndRefusesALoneSurrogateOnlyWhenAsked) {
    // "C:\Ж\😀.ico": two, then four bytes a character.
    const WCHAR path[] = {u'C', u':', u'\\', 0x0416, u'\\', 0xD83D, 0xDE00, u'.', u'i', u'c', u'o', 0};
    Converted out = ToNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, path, 32);
    EXPECT_EQ(out.bytes, std::string("C:\\\xD0\x96\\\xF0\x9F\x98\x80.ico", 15));

    WCHAR back[32];
    std::fill(std::begin(back), std::end(back), WCHAR{0x5A5A});
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, out.bytes.c_str(), -1, back, 32), 12);
    EXPECT_EQ(std::memcmp(back, path, sizeof path), 0);

    const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
    Converted refused = ToNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 32);
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(refused.error, 0x459u);  // ERROR_NO_UNICODE_TRANSLATION
    EXPECT_EQ(ToNarrow(CP_UTF8, 0, lone, 32).bytes, std::string("a\xEF\xBF\xBD" "b", 6));
}

}  // namespace
