// Conversions the program makes: tooltips and picked paths from UTF-16 to the ANSI page, on a
// single-byte page and on UTF-8, which Windows 10 and later can make the ANSI page.
#include "tests/contract/Contract.h"

#include <algorithm>

// "result/last error/bytes written", the last error being 0xDEADBEEF (3735928559) when the call
// left it alone; a '!' when the byte after the capacity was written; then whether the default
// character was used, when that is asked.
static std::string ToNarrow(UINT page, DWORD flags, const WCHAR* text, int capacity, bool askUsed = false) {
    std::string buffer(64, 'Z');
    SetLastError(0xDEADBEEF);
    BOOL used = 7;
    int result = WideCharToMultiByte(page, flags, text, -1, capacity ? buffer.data() : nullptr, capacity, nullptr,
                                     askUsed ? &used : nullptr);
    return std::to_string(result) + "/" + std::to_string(GetLastError()) + "/" +
           buffer.substr(0, capacity ? std::max(result, 0) : 0) + (buffer[capacity] == 'Z' ? "" : "!") +
           (askUsed ? "/" + std::to_string(used) : "");
}

static const std::string Untouched = "/3735928559/";

TEST(CodePagesContract, ASizingCallCountsTheTerminatorAndAShortBufferFailsWithNothingMore) {
    EXPECT_EQ(ToNarrow(1252, 0, WIDE("Disk"), 0), "5" + Untouched);
    EXPECT_EQ(ToNarrow(1252, 0, WIDE("Disk"), 3), "0/122/");  // ERROR_INSUFFICIENT_BUFFER
    EXPECT_EQ(ToNarrow(1252, 0, WIDE("Disk"), 5), "5" + Untouched + std::string("Disk", 5));
    EXPECT_EQ(ToNarrow(1252, WC_NO_BEST_FIT_CHARS, WIDE("\u0416"), 8, true), "2" + Untouched + std::string("?\0/1", 4));
    EXPECT_EQ(ToNarrow(1252, WC_NO_BEST_FIT_CHARS, WIDE("\u00E9"), 8, true),
              "2" + Untouched + std::string("\xE9\0/0", 4));
}

TEST(CodePagesContract, Utf8KeepsEveryCharacterAndRefusesALoneSurrogateOnlyWhenAsked) {
    // "C:\Ж\😀.ico": two, then four bytes a character.
    const WCHAR path[] = {u'C', u':', u'\\', 0x0416, u'\\', 0xD83D, 0xDE00, u'.', u'i', u'c', u'o', 0};
    const std::string bytes("C:\\\xD0\x96\\\xF0\x9F\x98\x80.ico", 15);
    EXPECT_EQ(ToNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, path, 32), "15" + Untouched + bytes);
    const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(ToNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 32), "0/1113/");  // ERROR_NO_UNICODE_TRANSLATION
    EXPECT_EQ(ToNarrow(CP_UTF8, 0, lone, 32), "6" + Untouched +
                                                  std::string("a\xEF\xBF\xBD"
                                                              "b",
                                                              6));
}
