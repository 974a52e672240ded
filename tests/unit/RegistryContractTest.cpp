// The registry, the module path and icon extraction behave like Windows wherever the program
// relies on them: sizes in and out, nothing copied when data do not fit, access rights, names
// without regard to case, handles accounted for, any call able to fail.
#include "tests/unit/Machine.h"

#include <cstring>
#include <functional>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr BYTE Guard = 0xCC;
constexpr DWORD SentinelSize = 0xDEADBEEF;
const HKEY SentinelKey = reinterpret_cast<HKEY>(uintptr_t{0xBAADF00D});

class RegistryContractTest : public MachineTest {
protected:
    HKEY Open(const char* path, REGSAM access) {
        HKEY key = SentinelKey;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }

};

TEST_F(RegistryContractTest, QuerySizesCopiesOnlyWhatFitsAndReportsTheType) {
    substitute::SetRegistryValue("Software\\Test", "Five", REG_BINARY, {1, 2, 3, 4, 5});
    HKEY key = Open("Software\\Test", KEY_QUERY_VALUE);
    BYTE buffer[8];
    DWORD type = SentinelSize;
    DWORD size = SentinelSize;

    // A null data pointer asks for the size only.
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, nullptr, &size), 0x0);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

    // One byte short: the needed size comes back and not a byte is copied.
    std::memset(buffer, Guard, sizeof buffer);
    type = SentinelSize;
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, &size), 0xEA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_THAT(buffer, ::testing::Each(Guard));

    // Exactly enough, then more than enough: the size out is the data's.
    for (DWORD capacity : {5u, 8u}) {
        std::memset(buffer, Guard, sizeof buffer);
        size = capacity;
        EXPECT_EQ(RegQueryValueExA(key, "five", nullptr, nullptr, buffer, &size), 0x0);
        EXPECT_EQ(size, 5u);
        EXPECT_THAT(buffer, ElementsAre(1, 2, 3, 4, 5, Guard, Guard, Guard));
    }

    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, nullptr, nullptr, nullptr), 0x0);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Six", nullptr, &type, buffer, &size), 0x2);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Five", &reserved, &type, buffer, &size), 0x57);
    EXPECT_EQ(RegQueryValueExA(key, "Five", nullptr, &type, buffer, nullptr), 0x57);
    RegCloseKey(key);
}

TEST_F(RegistryContractTest, EmptyValuesAndTheDefaultValueRead) {
    substitute::SetRegistryValue("Software\\Test", "Empty", REG_SZ, {});
    substitute::SetRegistryValue("Software\\Test", "", REG_SZ, {'d'});
    HKEY key = Open("Software\\Test", KEY_READ);
    BYTE buffer[2] = {Guard, Guard};
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, nullptr, buffer, &size), 0x0);
    EXPECT_EQ(size, 0u);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, buffer, &size), 0x0);
    EXPECT_THAT(buffer, ElementsAre('d', Guard));
    RegCloseKey(key);
}

TEST_F(RegistryContractTest, OpenFindsOnlyExistingKeysWhateverTheirCase) {
    substitute::CreateRegistryKey("SOFTWARE\\Orvane\\Lumenhop");
    HKEY key = SentinelKey;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orvane\\Missing", 0, KEY_READ, &key), 0x2);
    EXPECT_EQ(key, nullptr);
    key = SentinelKey;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\SOFTWARE", 0, KEY_READ, &key), 0xA1);
    EXPECT_EQ(key, nullptr);

    HKEY parent = Open("software\\ORVANE", KEY_READ);
    HKEY child = Open("SOFTWARE\\Orvane\\Lumenhop", KEY_READ);
    HKEY relative = SentinelKey;
    EXPECT_EQ(RegOpenKeyExA(parent, "lumenhop", 0, KEY_READ, &relative), 0x0);
    EXPECT_NE(relative, child);
    EXPECT_EQ(substitute::OpenRegistryKeys(), 3u);
    for (HKEY open : {parent, child, relative}) EXPECT_EQ(RegCloseKey(open), 0x0);
    EXPECT_EQ(substitute::OpenRegistryKeys(), 0u);

    key = SentinelKey;
    EXPECT_EQ(RegOpenKeyExA(parent, "Lumenhop", 0, KEY_READ, &key), 0x6);
    EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryContractTest, CreateMakesTheWholePathOnceAndTellsWhichItDid) {
    DWORD disposition = SentinelSize;
    HKEY key = SentinelKey;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Lumenhop", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              0x0);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    EXPECT_TRUE(substitute::RegistryKeyExists("software\\orvane\\lumenhop"));

    disposition = SentinelSize;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ORVANE\\Lumenhop", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              0x0);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
}

TEST_F(RegistryContractTest, HandlesDoOnlyWhatTheirRightsAllow) {
    substitute::SetRegistryValue("Software\\Test", "Value", REG_DWORD, substitute::DwordBytes(7));
    const BYTE data[4] = {1, 0, 0, 0};
    BYTE buffer[4];
    DWORD size = sizeof buffer;

    HKEY reader = Open("Software\\Test", KEY_READ);
    EXPECT_EQ(RegSetValueExA(reader, "Value", 0, REG_DWORD, data, 4), 0x5);
    EXPECT_EQ(RegDeleteValueA(reader, "Value"), 0x5);
    HKEY sub = SentinelKey;
    EXPECT_EQ(RegCreateKeyExA(reader, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), 0x5);
    EXPECT_EQ(sub, nullptr);
    RegCloseKey(reader);

    HKEY writer = Open("Software\\Test", KEY_SET_VALUE);
    EXPECT_EQ(RegQueryValueExA(writer, "Value", nullptr, nullptr, buffer, &size), 0x5);
    RegCloseKey(writer);

    // A key the user may only read cannot be opened for everything, nor created over.
    substitute::RestrictRegistryKey("Software\\Test", KEY_READ);
    HKEY key = SentinelKey;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_ALL_ACCESS, &key), 0x5);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              0x5);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              0x5);
    RegCloseKey(Open("Software\\Test", KEY_READ));
    EXPECT_EQ(substitute::GetRegistryValue("Software\\Test", "Value")->data, substitute::DwordBytes(7));
}

TEST_F(RegistryContractTest, SetReplacesWhateverTheCaseAndDeleteRemoves) {
    HKEY key = SentinelKey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              0x0);
    const BYTE text[] = {'a', 'b', 'c'};
    EXPECT_EQ(RegSetValueExA(key, "StartUp", 0, REG_SZ, text, 3), 0x0);
    EXPECT_EQ(RegSetValueExA(key, "STARTUP", 0, REG_BINARY, text, 1), 0x0);
    EXPECT_THAT(substitute::RegistryValueNames("Software\\Test"), ElementsAre("StartUp"));
    EXPECT_EQ(substitute::GetRegistryValue("Software\\Test", "startup"), (substitute::RegistryValue{REG_BINARY, {'a'}}));
    EXPECT_EQ(RegSetValueExA(key, "Null", 0, REG_BINARY, nullptr, 1), 0x3E6);

    EXPECT_EQ(RegDeleteValueA(key, "startUP"), 0x0);
    EXPECT_EQ(RegDeleteValueA(key, "StartUp"), 0x2);
    EXPECT_FALSE(substitute::GetRegistryValue("Software\\Test", "StartUp"));
    RegCloseKey(key);
}

TEST_F(RegistryContractTest, HandlesOnARemovedKeyFailAsDeleted) {
    substitute::SetRegistryValue("Software\\Test", "Value", REG_DWORD, substitute::DwordBytes(1));
    HKEY key = Open("Software\\Test", KEY_ALL_ACCESS);
    substitute::RemoveRegistryKey("Software\\Test");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, &size), 0x3FA);
    EXPECT_EQ(RegSetValueExA(key, "Value", 0, REG_DWORD, nullptr, 0), 0x3FA);
    EXPECT_EQ(RegCloseKey(key), 0x0);
    EXPECT_FALSE(substitute::RegistryKeyExists("Software\\Test"));
}

// Every registry function can be made to fail; a failed open or create hands out no key.
struct FailureCase {
    const char* function;
    std::function<LONG(HKEY&)> call;
};

class RegistryFailureTest : public RegistryContractTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RegistryFailureTest, AScriptedFailureIsTheResultAndChangesNothing) {
    substitute::SetRegistryValue("Software\\Test", "Value", REG_DWORD, substitute::DwordBytes(7));
    HKEY key = Open("Software\\Test", KEY_ALL_ACCESS);
    substitute::FailNext(GetParam().function, 0x4C7);
    HKEY target = key;
    EXPECT_EQ(GetParam().call(target), 0x4C7);
    EXPECT_FALSE(substitute::FailurePending(GetParam().function));
    EXPECT_EQ(substitute::GetRegistryValue("Software\\Test", "Value")->data, substitute::DwordBytes(7));
    EXPECT_FALSE(substitute::RegistryKeyExists("Software\\Test\\New"));
    if (target != key) {
        EXPECT_EQ(target, nullptr);
    }
    if (std::string(GetParam().function) != "RegCloseKey") RegCloseKey(key);
    EXPECT_EQ(substitute::OpenRegistryKeys(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryFailureTest,
    ::testing::Values(
        FailureCase{"RegOpenKeyExA",
                    [](HKEY& key) { return RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, &key); }},
        FailureCase{"RegCreateKeyExA",
                    [](HKEY& key) {
                        return RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\New", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
                    }},
        FailureCase{"RegQueryValueExA",
                    [](HKEY& key) {
                        BYTE buffer[4];
                        DWORD size = sizeof buffer;
                        return RegQueryValueExA(key, "Value", nullptr, nullptr, buffer, &size);
                    }},
        FailureCase{"RegSetValueExA",
                    [](HKEY& key) {
                        const BYTE data[4] = {9};
                        return RegSetValueExA(key, "Value", 0, REG_DWORD, data, 4);
                    }},
        FailureCase{"RegDeleteValueA", [](HKEY& key) { return RegDeleteValueA(key, "Value"); }},
        FailureCase{"RegCloseKey", [](HKEY& key) { return RegCloseKey(key); }}),
    [](const auto& info) { return std::string(info.param.function); });

TEST_F(RegistryContractTest, KeysLeftOpenAndKeysClosedTwiceAreReported) {
    substitute::CreateRegistryKey("Software\\Test");
    HKEY once = Open("Software\\Test", KEY_READ);
    RegCloseKey(once);
    EXPECT_EQ(RegCloseKey(once), 0x6);
    Open("Software\\Test", KEY_READ);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), 0x0);
    EXPECT_THAT(TakeProblems(), ElementsAre(HasSubstr("RegCloseKey on a key that is not open"),
                                            HasSubstr("never closed: Software\\Test")));
}

TEST_F(RegistryContractTest, ModuleFileNameFillsWithinTheGivenSize) {
    substitute::SetModuleFileName("C:\\App\\Lumenhop.exe");  // 19 characters
    char buffer[24];

    std::memset(buffer, Guard, sizeof buffer);
    SetLastError(0xDEAD);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 20), 19u);
    EXPECT_STREQ(buffer, "C:\\App\\Lumenhop.exe");
    EXPECT_EQ(static_cast<BYTE>(buffer[20]), Guard);
    EXPECT_EQ(GetModuleFileNameA(substitute::ModuleInstance(), buffer, 20), 19u);

    // No room for the terminator: cut to the size, unterminated, and the size comes back.
    std::memset(buffer, Guard, sizeof buffer);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 19), 19u);
    EXPECT_EQ(GetLastError(), 0x7Au);
    EXPECT_EQ(std::string(buffer, 19), "C:\\App\\Lumenhop.exe");
    EXPECT_EQ(static_cast<BYTE>(buffer[19]), Guard);

    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(uintptr_t{0x10000000}), buffer, 24), 0u);
    EXPECT_EQ(GetLastError(), 0x7Eu);
    substitute::FailNext("GetModuleFileNameA", 0x5);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 24), 0u);
    EXPECT_EQ(GetLastError(), 0x5u);
}

TEST_F(RegistryContractTest, ExtractedIconsAreOwnedAndFilesWithoutIconsAnswerOne) {
    substitute::AddIconFile("C:\\Icons\\disk.ico", 2);
    substitute::AddIconFile("C:\\notes.txt", 0);
    HICON icon = ExtractIconA(substitute::ModuleInstance(), "C:\\Icons\\disk.ico", 1);
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(substitute::DescribeIcon(icon)->shared);
    EXPECT_TRUE(substitute::DescribeIcon(substitute::SharedIcon(113))->shared);
    EXPECT_EQ(ExtractIconA(substitute::ModuleInstance(), "C:\\Icons\\disk.ico", 2), nullptr);
    EXPECT_EQ(ExtractIconA(substitute::ModuleInstance(), "C:\\Icons\\none.ico", 0), nullptr);
    EXPECT_EQ(ExtractIconA(substitute::ModuleInstance(), "C:\\notes.txt", 0), reinterpret_cast<HICON>(uintptr_t{1}));
    EXPECT_TRUE(DestroyIcon(icon));
}

}  // namespace
