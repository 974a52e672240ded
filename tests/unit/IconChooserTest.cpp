// The shell's icon picker through ChooseIcon: a pick comes back only as a whole path in the ANSI
// code page, and nothing is written past the caller's buffer.
#include "settings/IconChooser.h"

#include "tests/unit/Machine.h"

#include <cstring>

namespace {

substitute::IconPickAnswer Picked(const WideString& path, int index) {
    return {true, path, index, true};
}

TEST(IconChooserTest, GivesBackOnlyAWholePathInTheAnsiCodePage) {
    const DWORD nt = VER_PLATFORM_WIN32_NT, nine = VER_PLATFORM_WIN32_WINDOWS;
    const std::tuple<DWORD, UINT, const char*, substitute::IconPickAnswer, std::string> cases[] = {
        // The platform, the code page, a call that fails instead, the user's answer, the path that
        // comes back (none: refused, and the path and index stay as they were).
        {nt, 1252, nullptr, Picked(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico"},
        {nine, 1252, nullptr, Picked(u"C:\\Icons\\disk.ico", 2), "C:\\Icons\\disk.ico"},
        {nt, 1252, nullptr, {false, u"C:\\x.ico", 9, true}, ""},  // cancelled after writing
        {nt, 1252, nullptr, Picked(u"", 1), ""},
        {nt, 1252, nullptr, {true, u"C:\\x.ico", 1, false}, ""},  // unterminated
        {nine, 1252, nullptr, {true, u"C:\\x.ico", 1, false}, ""},
        {nt, 1252, nullptr, Picked(u"C:\\\u0418\u043a.ico", 1), ""},  // as '?', a name of no file
        {nt, 932, nullptr, Picked(u"C:\\\u4e00\u4e01.ico", 1), "C:\\\x81\x40\x81\x41.ico"},
        {nt, 932, nullptr, Picked(WideString(200, u'\u4e00'), 1), ""},  // 400 bytes cannot come back in 260
        // A UTF-8 ANSI page holds every character, but not a lone surrogate.
        {nt, CP_UTF8, nullptr, Picked(u"C:\\\u0418\\\xD83D\xDE00.ico", 2), "C:\\\xD0\x98\\\xF0\x9F\x98\x80.ico"},
        {nt, CP_UTF8, nullptr, Picked(WideString(u"C:\\a") + WCHAR{0xD800} + u".ico", 2), ""},
        {nt, 1252, "GetVersionExA", {}, ""},
        {nt, 1252, "LoadLibraryA", {}, ""},
        {nt, 1252, "GetProcAddress", {}, ""},
    };
    // Each from a path and from none: the start is handed on, and stays unless a pick replaces it.
    for (const char* start : {"C:\\old.ico", ""}) {
        for (const auto& row : cases) {
            auto& [platform, codePage, failing, answer, picked] = row;
            SCOPED_TRACE(testing::Message() << "row " << &row - cases << " from \"" << start << '"');
            substitute::Reset();
            substitute::SetPlatformId(platform);
            substitute::UseCodePage(codePage);
            if (failing) substitute::FailNext(failing, ERROR_INVALID_PARAMETER);
            if (!failing) substitute::ScriptIconPick(answer);
            char path[MAX_PATH + 4];
            std::memset(path, 0xCC, sizeof path);
            std::strcpy(path, start);
            int index = 4;
            EXPECT_EQ(ChooseIcon(FakeMainWindow(), path, MAX_PATH, &index), !picked.empty());
            EXPECT_EQ(std::string(path), picked.empty() ? start : picked);
            EXPECT_EQ(index, picked.empty() ? 4 : *answer.index);
            EXPECT_EQ(path[MAX_PATH] & 0xFF, 0xCC) << "written past the buffer";
            for (auto& given : substitute::IconPickLog()) {
                EXPECT_EQ(given.path, start);
                EXPECT_EQ(given.index, 4);
            }
            EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
        }
    }
    // Without a buffer, a capacity or an index nothing is asked.
    substitute::Reset();
    char path[4] = "";
    int index = 0;
    EXPECT_FALSE(ChooseIcon(nullptr, nullptr, 4, &index));
    EXPECT_FALSE(ChooseIcon(nullptr, path, 0, &index));
    EXPECT_FALSE(ChooseIcon(nullptr, path, 4, nullptr));
    EXPECT_TRUE(substitute::IconPickLog().empty());
    EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
}

}  // namespace
