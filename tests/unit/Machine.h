// The fixture every unit test starts from: a fresh substitute machine and the program's
// process-wide values as they are when the process starts.
#pragma once

#include "platform/Win32.h"
#include "platform/substitute/Substitute.h"
#include "tests/support/ProgramState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>


// UTF-8 test text as the UTF-16 the program keeps.
WideString Wide(const std::string& text);

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Stops any sampler, waits for every thread and fails on any problem the substitute saw.
    void TearDown() override;
};
