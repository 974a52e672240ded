// The fixture every unit test starts from, the helpers the tests share, and the program's headers
// they use.
#pragma once

#include "app/MonitorSetup.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "platform/substitute/Substitute.h"
#include "settings/SettingsChoices.h"
#include "settings/SettingsStore.h"
#include "tests/support/ProgramState.h"
#include "tray/AppHandles.h"
#include "tray/TrayPresenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// An icon file of three icons on the fixture's machine.
constexpr const char* DiskIcons = "C:\\Icons\\disk.ico";

// A value under the settings key, written straight into the substitute's store or read back;
// a role's stored icon file and index.
inline void Store(const char* name, DWORD type, std::vector<BYTE> data) {
    substitute::SetRegistryValue(SettingsKeyPath, name, type, std::move(data));
}
inline std::optional<substitute::RegistryValue> Stored(const char* name) {
    return substitute::GetRegistryValue(SettingsKeyPath, name);
}
inline void StoreIcon(int role, const std::string& file, DWORD index) {
    Store(role ? ActiveIconFileValue : InactiveIconFileValue, REG_SZ, substitute::TextBytes(file));
    Store(role ? ActiveIconIndexValue : InactiveIconIndexValue, REG_DWORD, substitute::DwordBytes(index));
}

// A fresh machine with LogicalDisk C: and _Total, PhysicalDisk 0 C: and DiskIcons, on which a
// period of 100 ms lasts 5; the program as the main window's creation leaves it, with both roles
// on their built-in icons. At the end any
// sampler is stopped, every thread waited for, and any problem the substitute saw fails the test.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        substitute::Reset();
        ResetProgramState();
        InitTrayRecord(MainWindow);
        IconPair = {{LoadDefaultIcon(DefaultIconId(Active)), {}, 0, false},
                    {LoadDefaultIcon(DefaultIconId(Inactive)), {}, 0, false}};
        substitute::SetTimeScale(0.05);
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
        substitute::AddIconFile(DiskIcons, 3);
    }
    void TearDown() override {
        StopSampler();
        ASSERT_TRUE(substitute::JoinThreads()) << "a sampler thread never ended";
        EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
    }
};
