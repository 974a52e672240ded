// What the display scale changes, at the DPI this Wine session runs at (scripts/wine-tests.sh
// runs these again at 120, 144, 168 and 192): the built-in tray icons are the generator's square
// at the small-icon size, a file's icon comes at that size, and the dialogs keep every control
// inside them. The end-to-end tests show a file's own image of the size in the tray.
#include "tests/windows/WindowTest.h"

#include <map>

namespace {

using DisplayScaleTest = WindowTest;

// An icon's pixels, top row first: '.' where masked out, else '#' black, 'G' 0,255,0, 'g' 0,128,0,
// '?' anything else.
std::string Picture(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return "no icon";
    BITMAP bitmap = {};
    GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
    const int size = bitmap.bmWidth;
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> colour(size * size), mask(size * size);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, size, colour.data(), &format, DIB_RGB_COLORS);
    GetDIBits(screen, info.hbmMask, 0, size, mask.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    std::string picture;
    const std::map<DWORD, char> names = {{0, '#'}, {0xFF00, 'G'}, {0x8000, 'g'}};
    for (int i = 0; i < size * size; ++i) {
        auto named = names.find(colour[i] & 0xFFFFFF);
        picture += (mask[i] & 0xFFFFFF) != 0 ? '.' : named != names.end() ? named->second : '?';
    }
    return picture;
}

// The generator's square at `size`: margin and border of the 16-pixel picture (2 and 1) scaled by
// size / 16, rounded down.
std::string Square(int size, char interior) {
    const int margin = size * 2 / 16, border = size / 16;
    std::string picture;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int inset = std::min({x - margin, y - margin, size - margin - 1 - x, size - margin - 1 - y});
            picture += inset < 0 ? '.' : inset < border ? '#' : interior;
        }
    return picture;
}

TEST_F(DisplayScaleTest, TheBuiltInIconsAreTheGeneratorsSquareAtTheSmallIconSize) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    EXPECT_EQ(Picture(LoadDefaultIcon(IDI_TRAY_ACTIVE)), Square(size, 'G')) << size;
    EXPECT_EQ(Picture(LoadDefaultIcon(IDI_TRAY_INACTIVE)), Square(size, 'g')) << size;
}

// A file's icon is its small image, whatever its path's variables expand to. An expansion that
// does not fit MAX_PATH yields no icon, though its first 259 bytes name a file of icons here.
TEST_F(DisplayScaleTest, AFilesIconIsItsSmallImage) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    const char* library = "%SystemRoot%\\system32\\shell32.dll";
    HICON icon = ExtractFileIcon(library, 3);
    EXPECT_EQ(Picture(icon).size(), static_cast<size_t>(size * size));
    EXPECT_TRUE(DestroyIcon(icon));
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
