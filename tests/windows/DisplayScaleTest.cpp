// What the display scale changes, at the DPI this Wine session runs at (scripts/wine-tests.sh
// runs these again at 120, 144, 168 and 192): the dialogs keep every control inside them. The
// icons' sizes are held to the small-icon size natively, and the end-to-end tests read the tray
// icon's pixels at each scale.
#include "tests/windows/WindowTest.h"

namespace {

using DisplayScaleTest = WindowTest;

// An icon path's variables are expanded into MAX_PATH bytes: one that does not fit yields no icon,
// though its first 259 bytes name a file of icons here. (Held at the small-icon size natively, a
// file's icon shows its own image of that size in the end-to-end tests.)
TEST_F(DisplayScaleTest, AnIconPathThatExpandsPastMaxPathYieldsNoIcon) {
    char folder[MAX_PATH] = {};
    std::string cut(folder, GetTempPathA(sizeof folder, folder));
    cut += std::string(MAX_PATH - 1 - cut.size() - 4, 'x') + ".dll";
    ASSERT_TRUE(CopyFileA("C:\\windows\\system32\\shell32.dll", cut.c_str(), FALSE));
    SetEnvironmentVariableA("LUMENHOP_TEST_LONG", (cut + "x").c_str());
    EXPECT_EQ(ExtractFileIcon("%LUMENHOP_TEST_LONG%", 3), nullptr);
    DeleteFileA(cut.c_str());
}

// The controls that lie outside their dialog's client area, by ID.
std::string ControlsOutside(HWND dialog) {
    RECT client = {};
    GetClientRect(dialog, &client);
    std::string outside;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box = {};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
        if (box.left < 0 || box.top < 0 || box.right > client.right || box.bottom > client.bottom)
            outside += std::to_string(GetDlgCtrlID(child)) + " ";
    }
    return outside;
}

TEST_F(DisplayScaleTest, SettingsAndDiskInformationKeepEveryControlInside) {
    for (auto [id, procedure] : {std::pair{IDD_SETTINGS, &SettingsDialogProc}, {IDD_DISKINFO, &DiskInfoDialogProc}}) {
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, procedure, 0);
        ASSERT_NE(dialog, nullptr) << id;
        EXPECT_EQ(ControlsOutside(dialog), "") << id << " at " << GetSystemMetrics(SM_CXSMICON);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        DestroyWindow(dialog);
    }
}

}  // namespace
