// The settings key as the store uses it: create or open, sized reads, typed writes of narrow and
// wide values, deletes; and the module path the auto-start entry names.
#include "tests/contract/Contract.h"

#include <cstring>
#include <vector>

static constexpr BYTE Guard = 0xCC;

TEST(RegistryContract, AShortBufferAnswersMoreDataWithTheSizeAndWideTextKeepsItsByteCount) {
    HKEY key = nullptr, missing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\LumenhopContract\\Missing", 0, KEY_ALL_ACCESS, &missing),
              0x2);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\LumenhopContract", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              0);
    const BYTE five[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RegSetValueExA(key, "Five", 0, REG_BINARY, five, sizeof five), ERROR_SUCCESS);
    BYTE buffer[8];
    std::memset(buffer, Guard, sizeof buffer);
    DWORD type = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, &size), 0xEA);  // ERROR_MORE_DATA
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[4], Guard);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "five", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 5), std::vector<BYTE>(five, five + 5));
    EXPECT_EQ(buffer[5], Guard);
    EXPECT_EQ(RegDeleteValueA(key, "FIVE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Five"), 0x2);  // ERROR_FILE_NOT_FOUND
    // The auto-start entry is written wide, counted in bytes with its terminating zero unit, and
    // read back with the same count.
    const WCHAR text[] = WIDE("\"C:\\\u0414\u0438\\a.exe\"");
    ASSERT_EQ(RegSetValueExW(key, WIDE("Wide"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), 0);
    WCHAR back[32];
    std::memset(back, Guard, sizeof back);
    size = sizeof back;
    EXPECT_EQ(RegQueryValueExW(key, WIDE("wide"), nullptr, &type, reinterpret_cast<BYTE*>(back), &size), 0);
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(size, sizeof text);
    EXPECT_EQ(WideString(back, size / 2), WideString(text, size / 2));
    EXPECT_EQ(back[size / 2], WCHAR{0xCCCC});
    EXPECT_EQ(RegDeleteValueA(key, "Wide"), 0);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// The auto-start entry refuses a path that fills the buffer: it may have been cut.
TEST(RegistryContract, AModulePathThatDoesNotFitComesBackCutToTheBufferAndSaysSo) {
    WCHAR path[MAX_PATH + 1], cut[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, MAX_PATH + 1u);
    std::memset(cut, Guard, sizeof cut);
    EXPECT_EQ(GetModuleFileNameW(nullptr, cut, length), length);
    EXPECT_EQ(WideString(cut, length - 1), WideString(path, length - 1));
    EXPECT_EQ(cut[length], WCHAR{0xCCCC});
}
