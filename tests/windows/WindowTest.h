// What the window and dialog tests share. They run the program's own windows and dialogs from the
// resources linked into this program, against the real user32, comctl32 and shell32 (Wine's, in
// practice), and act inside the modal loops the program runs by a thread timer, as Wine's own
// conformance tests do.
#pragma once

#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "driveinfo/DiskInfoDialog.h"
#include "driveinfo/DriveReport.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Runs `step` at a later tick of the test's thread timer, one step a tick, in whatever message
// loop runs then. A tick comes only when no posted message waits, so each step sees what the
// messages before it did. A popup menu is read into Menus and closed on the tick that finds it.
void Inside(std::function<void()> step);
// The item IDs of each popup menu shown in this test, as "120 121 0 32772 0 122 " (0: separator).
extern std::vector<std::string> Menus;
// The newest dialog of this thread still there, or null. A dialog or a loop that outlives the test's steps is
// ended by the timer, and fails the test.
HWND NewestDialog();

// The program's WinMain with this show command. The mutex it takes is released after it returns,
// so the next run is a first instance again.
int RunWinMain(int show);

// Until the end of the test, shell32's ordinal 62 is a picker that picks this file and index; with
// no file, the real picker answers.
extern std::pair<std::string, int> PickedIcon;
// Until the end of the test, GetProcAddress finds none of these names, and finds the message filters
// of window and process as recorders that write here what they were asked, as "main window
// TaskbarCreated 1" or "process TaskbarCreated 1".
extern std::set<std::string> MissingEntries;
extern std::string Filtered;
// While set, Shell_NotifyIconA refuses every call, as at logon before the notification area is there.
extern std::atomic<bool> ShellRefuses;

// Deletes the settings key and the Run entry; the Run key itself stays, as on Windows.
void CleanRegistry();

// Puts the program's window-side values back as they are at start (this module's instance, no
// main window), cleans the registry, and ends whatever a test left open. A loop that had to be
// ended for the test (a dialog that never ended, say) fails it.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
