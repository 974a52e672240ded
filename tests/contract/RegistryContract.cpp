// The settings key as the store uses it: create or open, sized reads, typed writes, deletes.
#include "tests/contract/Contract.h"

#include <cstring>

namespace {

constexpr const char* TestKey = "Software\\LumenhopContract";
constexpr BYTE Guard = 0xCC;
constexpr DWORD Sentinel = 0xDEADBEEF;

class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override {
        key = reinterpret_cast<HKEY>(uintptr_t{Sentinel});
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, TestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        for (const char* name : {"Five", "Text", "Number"}) RegDeleteValueA(key, name);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
    HKEY key;
};

TEST_F(RegistryContract, AMissingKeyDoesNotOpenAndLeavesTheHandleAlone) {
    HKEY missing = reinterpret_cast<HKEY>(uintptr_t{Sentinel});
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\LumenhopContract\\Missing", 0, KEY_ALL_ACCESS, &missing),
              0x2);  // ERROR_FILE_NOT_FOUND
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\LUMENHOPCONTRACT", 0, KEY_ALL_ACCESS, &again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
}

TEST_F(RegistryContract, AQuerySizesItselfAndAShortBufferAnswersMoreDataWithTheSize) {
    const BYTE five[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RegSetValueExA(key, "Five", 0, REG_BINARY, five, sizeof five), ERROR_SUCCESS);

    DWORD type = Sentinel, size = Sentinel;
    EXPECT_EQ(RegQueryValueExA(key, "five", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);

    BYTE buffer[8];
    std::memset(buffer, Guard, sizeof buffer);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, &size), 0xEA);  // ERROR_MORE_DATA
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[4], Guard);

    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(buffer, five, 5), 0);
    EXPECT_EQ(buffer[5], Guard);
}

TEST_F(RegistryContract, TextIsStoredAsGivenAndADeletedValueIsGone) {
    ASSERT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\a.ico"), 8), ERROR_SUCCESS);
    BYTE buffer[16];
    std::memset(buffer, Guard, sizeof buffer);
    DWORD type = Sentinel, size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), "C:\\a.ico");

    const BYTE number[] = {0x2C, 0x01, 0, 0};
    ASSERT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, number, 4), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "NUMBER"), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Number", nullptr, nullptr, buffer, &size), 0x2);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(RegDeleteValueA(key, "Number"), 0x2);
}

// The auto-start entry refuses a path that fills the buffer: it may have been cut.
TEST(ModulePathContract, APathThatDoesNotFitComesBackCutToTheBufferAndSaysSo) {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, sizeof path);
    char cut[MAX_PATH + 1];
    std::memset(cut, Guard, sizeof cut);
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, length), length);
    EXPECT_EQ(std::string(cut, length - 1), std::string(path, length - 1));
    EXPECT_EQ(static_cast<BYTE>(cut[length]), Guard);
}

}  // namespace
