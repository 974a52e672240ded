// The fixture every unit test starts from: a fresh substitute machine and the program's
// process-wide values as they are when the process starts.
#pragma once

#include "platform/Win32.h"
#include "platform/substitute/Substitute.h"
#include "tests/support/ProgramState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// UTF-8 test text as the UTF-16 the program keeps.
WideString Wide(const std::string& text);
// UTF-16 text with every unit outside ASCII shown as '?'.
std::string AsciiText(const WideString& text);

// A value under the settings key: written straight into the substitute's store, or read back.
void Store(const char* name, DWORD type, std::vector<BYTE> data);
std::optional<substitute::RegistryValue> Stored(const char* name);

// A role's stored icon file and index.
void StoreIcon(int role, const std::string& file, DWORD index);

// "null", "not an icon", "shared 113" for a built-in icon, "file#index" for an extracted one.
std::string Describe(HICON icon);

// Waits for something another thread does; false after 20 s.
bool Eventually(const std::function<bool()>& done);

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Stops any sampler, waits for every thread and fails on any problem the substitute saw.
    void TearDown() override;
    // Misuse tests end by taking back the problems they provoked on purpose.
    std::vector<std::string> TakeProblems();
};
