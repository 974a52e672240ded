// Icons taken from files, as the set-up and the Settings dialog extract them.
#include "tests/contract/Contract.h"

#include <cstdint>

namespace {

const char Library[] = "C:\\windows\\system32\\shell32.dll";  // holds many icons
const char NotIcons[] = "C:\\windows\\win.ini";               // a file that is no icon file

uintptr_t Extract(const char* file, UINT index) {
    return reinterpret_cast<uintptr_t>(ExtractIconA(GetModuleHandleA(nullptr), file, index));
}

TEST(IconsContract, IndexMinusOneCountsTheIconsInsteadOfExtractingOne) {
    uintptr_t count = Extract(Library, static_cast<UINT>(-1));
    EXPECT_GE(count, 2u);
    EXPECT_LT(count, 10000u);
}

TEST(IconsContract, AFileOfNoIconsAnswersOneAndAMissingIconNull) {
    // Windows documents 1 for a file that is no executable, library or icon file; Wine 8
    // answers null.
    EXPECT_WINE_DIFFERS(Extract(NotIcons, 0), 1u, 0u);
    EXPECT_EQ(Extract(Library, 100000), 0u);
    EXPECT_EQ(Extract("C:\\no such file.ico", 0), 0u);
}

TEST(IconsContract, AnExtractedIconIsDestroyedOnce) {
    HICON icon = ExtractIconA(GetModuleHandleA(nullptr), Library, 0);
    ASSERT_GT(reinterpret_cast<uintptr_t>(icon), 1u);
    EXPECT_TRUE(DestroyIcon(icon));
}

}  // namespace
