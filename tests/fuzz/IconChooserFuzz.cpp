// Plays an icon picker that answers anything (any text, terminated or not, confirmed or not,
// any index) on either platform family and code page, through ChooseIcon. Nothing is written past
// a buffer, a refused pick changes nothing, and nothing is left open.
#include "app/MainWindow.h"
#include "tray/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "app/MonitorSetup.h"
#include "platform/substitute/Substitute.h"
#include "tests/support/ProgramState.h"
#include "settings/IconChooser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "icon chooser fuzz: %s\n", what);
    std::abort();
}

}  // namespace

// Input: flags, a 4-byte index, then the answer's path as UTF-16LE code units.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    substitute::Reset();
    substitute::SetTimeScale(0);
    substitute::SetSleepLogging(false);
    ResetProgramState();
    InitTrayRecord(MainWindow);
    uint8_t flags = data[0];
    if (flags & 1) substitute::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    if (flags & 2) substitute::UseCodePage(932);
    int index = static_cast<int>(data[1] | data[2] << 8 | data[3] << 16 | static_cast<uint32_t>(data[4]) << 24);
    WideString path;
    for (size_t at = 5; at + 1 < size; at += 2) path.push_back(static_cast<WCHAR>(data[at] | data[at + 1] << 8));
    substitute::IconPickAnswer answer{(flags & 4) != 0, path, index, (flags & 8) == 0};
    // Sometimes the picked file holds icons, so that a pick goes all the way to the store.
    if (flags & 0x10) {
        char ansi[2 * MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
        substitute::AddIconFile(ansi, 2);
    }
    substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:"});
    RunMonitorSetup();

    // The chooser alone: a refusal leaves path and index alone, a pick is a whole path.
    substitute::ScriptIconPick(answer);
    char buffer[MAX_PATH + 8];
    std::memset(buffer, 0, MAX_PATH);
    std::memset(buffer + MAX_PATH, 0xCC, 8);
    int chosen = -7;
    BOOL picked = ChooseIcon(MainWindow, buffer, MAX_PATH, &chosen);
    for (int i = 0; i < 8; ++i) Check(static_cast<uint8_t>(buffer[MAX_PATH + i]) == 0xCC, "a write past the path");
    if (picked) {
        Check(std::memchr(buffer, 0, MAX_PATH) != nullptr && buffer[0] != 0, "a pick without a whole path");
        Check(chosen == index, "a pick without its index");
    } else {
        for (int i = 0; i < MAX_PATH; ++i) Check(buffer[i] == 0, "a refused pick changed the path");
        Check(chosen == -7, "a refused pick changed the index");
    }

    StopSampler();
    Check(substitute::JoinThreads(), "the sampler never ended");
    for (auto& problem : substitute::Problems()) {
        std::fprintf(stderr, "icon chooser fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
