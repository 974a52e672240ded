// The shell library loaded for one call of its icon picker, by ordinal.
#include "tests/contract/Contract.h"

namespace {

TEST(LibraryContract, TheIconPickerIsOrdinal62OfTheShellLibrary) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    ASSERT_NE(shell, nullptr);
    EXPECT_NE(GetProcAddress(shell, MAKEINTRESOURCEA(62)), nullptr);
    EXPECT_TRUE(FreeLibrary(shell));
}

TEST(LibraryContract, AMissingLibraryIsNull) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryA("no-such-library.dll"), nullptr);
    EXPECT_EQ(GetLastError(), 0x7Eu);  // ERROR_MOD_NOT_FOUND
}

}  // namespace
