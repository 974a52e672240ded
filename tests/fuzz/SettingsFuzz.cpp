// Fills the settings key with arbitrary values (any name of ours, any type, any size, any
// bytes), sometimes fails one registry call, and runs the monitor set-up and the Settings
// dialog's reads over it. Whatever is stored, nothing is read past a buffer, the blink
// duration ends inside its range, the sampler starts and nothing is left open.
#include "app/MainWindow.h"
#include "tray/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "app/MonitorSetup.h"
#include "platform/substitute/Substitute.h"
#include "tests/support/ProgramState.h"
#include "settings/SettingsStore.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* const ValueNames[] = {
    StartUpValue,          BlinkDurationValue,     SelectedDiskCounterValue, ActiveIconFileValue,
    ActiveIconIndexValue,  InactiveIconFileValue,  InactiveIconIndexValue,   "Unrelated",
};
const char* const RegistryFunctions[] = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "ExtractIconA"};

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "settings fuzz: %s\n", what);
    std::abort();
}

void ResetProgram() {
    ResetProgramState();
    InitTrayRecord(MainWindow);
}

bool IconUsable(HICON icon) { return icon != nullptr && icon != reinterpret_cast<HICON>(uintptr_t{1}); }

}  // namespace

// Input: one control byte, then records of [name][type][length, 2 bytes little-endian][data].
// A record cut short by the end of the input keeps what there is of its data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    substitute::Reset();
    substitute::SetTimeScale(0);
    // The sampler spins with zero-length sleeps here; their log would only grow.
    substitute::SetSleepLogging(false);
    ResetProgram();
    substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C:", u"1 D:"});
    substitute::AddIconFile("a", 2);
    substitute::AddIconFile("C:\\Icons\\disk.ico", 4);
    substitute::AddIconFile("t", 0);
    substitute::CreateRegistryKey(SettingsKeyPath);

    size_t at = 0;
    if (size > 0) {
        uint8_t control = data[at++];
        if (control & 0x80)
            substitute::FailNext(RegistryFunctions[(control >> 3) & 3], ERROR_ACCESS_DENIED, control & 7);
    }
    while (at + 4 <= size) {
        const char* name = ValueNames[data[at] % std::size(ValueNames)];
        DWORD type = data[at + 1];
        size_t length = data[at + 2] | data[at + 3] << 8;
        at += 4;
        if (length > size - at) length = size - at;
        substitute::SetRegistryValue(SettingsKeyPath, name, type, std::vector<BYTE>(data + at, data + at + length));
        at += length;
    }

    RunMonitorSetup();
    Check(BlinkDuration >= LoadedBlinkMin && BlinkDuration <= LoadedBlinkMax, "blink duration out of range");
    Check(substitute::ThreadsStarted() == 1, "no sampler started");
    Check(IconUsable(IconPair.Active.Icon) && IconUsable(IconPair.Inactive.Icon), "a role has no usable icon");
    Check(IconPair.Active.File.size() < IconFileCapacity && IconPair.Inactive.File.size() < IconFileCapacity,
          "an icon file longer than the store holds");
    Check(!substitute::NotifyLog().empty() && substitute::NotifyLog().front().message == NIM_ADD, "no icon added");

    DWORD shown = StoredDialogBlinkDuration();
    Check(shown >= DialogBlinkMin && shown <= DialogBlinkMax, "dialog blink duration out of range");

    StopSampler();
    Check(substitute::JoinThreads(), "the sampler never ended");
    for (auto& problem : substitute::Problems()) {
        std::fprintf(stderr, "settings fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
