// The run-time library substitute behaves like Windows where the program relies on it: loads
// are counted and must be freed, the icon picker is found by its ordinal and takes the text
// width of the platform family, and it never writes past the buffer it is given.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

typedef int(WINAPI* WidePicker)(HWND, LPWSTR, UINT, int*);
typedef int(WINAPI* NarrowPicker)(HWND, LPSTR, UINT, int*);

template <typename Function>
Function Entry(HMODULE library) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, MAKEINTRESOURCEA(62))));
}

class LibraryContractTest : public MachineTest {};

TEST_F(LibraryContractTest, LoadsAreCountedAndThePickerFoundByItsOrdinal) {
    EXPECT_EQ(LoadLibraryA("other.dll"), nullptr);
    EXPECT_EQ(GetLastError(), 0x7Eu);  // ERROR_MOD_NOT_FOUND
    HMODULE shell = LoadLibraryA("shell32.dll");
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(LoadLibraryA("shell32.dll"), shell);
    EXPECT_NE(GetProcAddress(shell, MAKEINTRESOURCEA(62)), nullptr);
    EXPECT_EQ(GetProcAddress(shell, MAKEINTRESOURCEA(61)), nullptr);
    EXPECT_EQ(GetLastError(), 0x7Fu);  // ERROR_PROC_NOT_FOUND
    EXPECT_TRUE(FreeLibrary(shell) && FreeLibrary(shell));
    EXPECT_FALSE(FreeLibrary(shell));
    LoadLibraryA("shell32.dll");
    EXPECT_THAT(TakeProblems(), ElementsAre(HasSubstr("FreeLibrary"), HasSubstr("never freed")));
}

TEST_F(LibraryContractTest, PickerTakesThePlatformsTextWidthAndWritesWithinTheBuffer) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    WCHAR wide[8 + 2];
    std::memset(wide, 0xCC, sizeof wide);
    wide[0] = u'x';
    wide[1] = 0;
    int index = 4;
    substitute::ScriptIconPick(substitute::PickedIcon(u"C:\\icons.dll", 7));
    EXPECT_EQ(Entry<WidePicker>(shell)(FakeMainWindow(), wide, 8, &index), 1);
    EXPECT_EQ(WideString(wide), u"C:\\icon");  // cut to 7 units and its zero
    EXPECT_EQ(index, 7);
    substitute::ScriptIconPick(substitute::IconPickAnswer{false, u"ab", std::nullopt, false});
    EXPECT_EQ(Entry<WidePicker>(shell)(FakeMainWindow(), wide, 8, &index), 0);
    EXPECT_EQ(WideString(wide, 8), u"abxxxxxx");
    EXPECT_EQ(wide[8], 0xCCCC);
    EXPECT_EQ(index, 7);

    substitute::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    char narrow[16] = {};
    substitute::ScriptIconPick(substitute::PickedIcon(u"C:\\\u00e9\u0416.ico", 2));
    EXPECT_EQ(Entry<NarrowPicker>(shell)(nullptr, narrow, sizeof narrow, &index), 1);
    EXPECT_STREQ(narrow, "C:\\\xe9?.ico");  // in the ANSI code page
    FreeLibrary(shell);

    std::vector<std::string> log;
    for (auto& call : substitute::IconPickLog())
        log.push_back(std::string(call.wide ? "wide " : "narrow ") + call.path + " " + std::to_string(call.capacity) +
                      " " + std::to_string(call.index));
    EXPECT_THAT(log, ElementsAre("wide x 8 4", "wide C:\\icon 8 7", "narrow  16 7"));
    EXPECT_EQ(substitute::IconPickLog()[0].owner, FakeMainWindow());
}

}  // namespace
