// The registry and the module path answer as Windows does wherever the program relies on them:
// open or create, names without regard to case, sizes in and out, ERROR_MORE_DATA, every handle
// accounted for.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr BYTE Guard = 0xCC;
constexpr DWORD Sentinel = 0xDEADBEEF;
const char* const TestKey = "Software\\Orvane\\Contract";

class RegistryContractTest : public MachineTest {};

TEST_F(RegistryContractTest, KeysAndValuesAnswerAsOnWindows) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_ALL_ACCESS, &key), 0x2);
    DWORD disposition = Sentinel;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, TestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              0x0);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const BYTE five[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(RegSetValueExA(key, "Five", 0, REG_SZ, five, 2), 0x0);
    EXPECT_EQ(RegSetValueExA(key, "FIVE", 0, REG_BINARY, five, 5), 0x0);  // the same value
    EXPECT_EQ(RegCloseKey(key), 0x0);

    HKEY created = nullptr;
    disposition = Sentinel;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\orvane\\contract", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, &disposition), 0x0);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_ALL_ACCESS, &key), 0x0);

    // A null buffer asks for the size; a short one gets ERROR_MORE_DATA and the size needed.
    BYTE buffer[8];
    DWORD type = Sentinel, size = Sentinel;
    EXPECT_EQ(RegQueryValueExA(key, "five", nullptr, &type, nullptr, &size), 0x0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, nullptr, buffer, &size), 0xEA);
    EXPECT_EQ(size, 5u);
    std::memset(buffer, Guard, sizeof buffer);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(created, "Five", nullptr, nullptr, buffer, &size), 0x0);
    EXPECT_EQ(size, 5u);
    EXPECT_THAT(buffer, ElementsAre(1, 2, 3, 4, 5, Guard, Guard, Guard));
    EXPECT_EQ(RegQueryValueExA(key, "Six", nullptr, nullptr, buffer, &size), 0x2);

    EXPECT_EQ(RegDeleteValueA(key, "fIVE"), 0x0);
    EXPECT_EQ(RegDeleteValueA(created, "Five"), 0x2);
    EXPECT_EQ(RegCloseKey(key), 0x0);
    EXPECT_EQ(RegCloseKey(created), 0x0);
    EXPECT_EQ(RegCloseKey(created), 0x6);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey, 0, KEY_ALL_ACCESS, &key), 0x0);
    EXPECT_THAT(TakeProblems(), ElementsAre(HasSubstr("RegCloseKey on a key that is not open"),
                                            HasSubstr("never closed: Software\\Orvane\\Contract")));
}

// A path that does not fit comes back cut to the buffer's size, and that size is the result.
TEST_F(RegistryContractTest, ModuleFileNameNeverWritesPastTheGivenSize) {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(path[length], '\0');
    char cut[MAX_PATH + 1];
    std::memset(cut, Guard, sizeof cut);
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, length), length);
    EXPECT_EQ(std::string(cut, length - 1), std::string(path, length - 1));
    EXPECT_EQ(static_cast<BYTE>(cut[length]), Guard);
}

}  // namespace
