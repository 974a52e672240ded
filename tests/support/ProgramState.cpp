#include "tests/support/ProgramState.h"

#include "driveinfo/DriveReport.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "platform/substitute/Substitute.h"
#include "tray/AppHandles.h"
#include "tray/TrayPresenter.h"

namespace {

// The start values that the program's own initialisers give, read before anything can change them.
const LONG StartRunFlag = RunFlag;
const DWORD StartBlinkDuration = BlinkDuration;

}  // namespace

void ResetProgramState() {
    AppInstance = substitute::ModuleInstance();
    MainWindow = FakeMainWindow();
    InitTrayRecord(nullptr);  // no icon shown, replaced or retried
    TrayRecord = {};
    TooltipText.clear();
    IconPair = {{nullptr, {}, 0, false}, {nullptr, {}, 0, false}};
    CounterCatalogue.clear();
    SelectedCounterPath.clear();
    RunFlag = StartRunFlag;
    BlinkDuration = StartBlinkDuration;
    SamplerThread = nullptr;
    SamplerThreadId = 0;
    ActivityState = Inactive;
    ClearDriveReport();
}

HWND FakeMainWindow() {
    return reinterpret_cast<HWND>(uintptr_t{0x10010});
}
