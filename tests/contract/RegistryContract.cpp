// The settings key as the store uses it: create or open, sized reads, typed writes, deletes; and
// the module path the auto-start entry names.
#include "tests/contract/Contract.h"

#include <cstring>

static constexpr BYTE Guard = 0xCC;

TEST(RegistryContract, AQuerySizesItselfAndAShortBufferAnswersMoreDataWithTheSize) {
    HKEY key = nullptr, missing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\LumenhopContract\\Missing", 0, KEY_ALL_ACCESS, &missing),
              0x2);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\LumenhopContract", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr), 0);
    const BYTE five[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RegSetValueExA(key, "Five", 0, REG_BINARY, five, sizeof five), ERROR_SUCCESS);
    BYTE buffer[8];
    std::memset(buffer, Guard, sizeof buffer);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "five", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type * 100 + size, REG_BINARY * 100 + 5u);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, &size), 0xEA);  // ERROR_MORE_DATA
    EXPECT_EQ(size * 1000 + buffer[4], 5u * 1000 + Guard);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(buffer, five, 5) + size * 1000 + buffer[5], 5u * 1000 + Guard);
    EXPECT_EQ(RegDeleteValueA(key, "FIVE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Five"), 0x2);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// The auto-start entry refuses a path that fills the buffer: it may have been cut.
TEST(RegistryContract, AModulePathThatDoesNotFitComesBackCutToTheBufferAndSaysSo) {
    char path[MAX_PATH + 1], cut[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_TRUE(length > 3 && length < sizeof path);
    std::memset(cut, Guard, sizeof cut);
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, length), length);
    EXPECT_EQ(std::string(cut, length - 1) + static_cast<char>(cut[length]), std::string(path, length - 1) + '\xCC');
}
