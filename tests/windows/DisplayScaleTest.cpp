// What the display scale changes, at the DPI this Wine session runs at (scripts/wine-tests.sh
// runs these again at 120, 144, 168 and 192): the built-in tray icons are the generator's square
// at the small-icon size, a file's icon is the file's own image of that size, and the dialogs
// keep every control inside them.
#include "tests/windows/WindowTest.h"

#include <fstream>

namespace {

using DisplayScaleTest = WindowTest;

// A pixel as '#' black, 'G' 0,255,0, 'g' 0,128,0, 'r' red, 'b' blue, '?' anything else.
char Colour(DWORD pixel) {
    switch (pixel & 0xFFFFFF) {
    case 0: return '#';
    case 0xFF00: return 'G';
    case 0x8000: return 'g';
    case 0xFF0000: return 'r';
    case 0xFF: return 'b';
    default: return '?';
    }
}

// An icon's pixels, top row first, '.' where masked out.
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
    for (int i = 0; i < size * size; ++i) picture += (mask[i] & 0xFFFFFF) != 0 ? '.' : Colour(colour[i]);
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

// An icon file of two solid squares, 16 pixels red and 32 pixels blue, 24 bits, nothing masked.
void WriteTwoSizeIcon(const std::string& path) {
    std::string bytes("\0\0\1\0\2\0", 6), images;
    auto put = [](std::string& out, DWORD value, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>(value >> 8 * i);
    };
    for (int size : {16, 32}) {
        std::string image;
        for (auto [value, width] : {std::pair{40, 4}, {size, 4}, {2 * size, 4}, {1, 2}, {24, 2}}) put(image, value, width);
        image.append(24, '\0');
        for (int i = 0; i < size * size; ++i) image += size == 16 ? std::string("\0\0\xff", 3) : std::string("\xff\0\0", 3);
        image.append(size * 4 * ((size + 31) / 32), '\0');
        for (auto [value, width] : {std::pair{size, 1}, {size, 1}, {0, 2}, {1, 2}, {24, 2}}) put(bytes, value, width);
        put(bytes, image.size(), 4);
        put(bytes, 6 + 2 * 16 + images.size(), 4);
        images += image;
    }
    std::ofstream(path, std::ios::binary) << bytes << images;
}

TEST_F(DisplayScaleTest, TheBuiltInIconsAreTheGeneratorsSquareAtTheSmallIconSize) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    EXPECT_EQ(Picture(LoadDefaultIcon(IDI_TRAY_ACTIVE)), Square(size, 'G')) << size;
    EXPECT_EQ(Picture(LoadDefaultIcon(IDI_TRAY_INACTIVE)), Square(size, 'g')) << size;
}

// The path is stored with a variable, as the shell's picker may give it; one whose expansion
// does not fit MAX_PATH yields no icon rather than a cut path's.
TEST_F(DisplayScaleTest, AFilesIconIsItsOwnImageOfTheSmallIconSize) {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    WriteTwoSizeIcon(std::string(folder) + "two-sizes.ico");
    SetEnvironmentVariableA("LUMENHOP_TEST_FOLDER", folder);
    SetEnvironmentVariableA("LUMENHOP_TEST_LONG", std::string(MAX_PATH, 'x').c_str());
    const int size = GetSystemMetrics(SM_CXSMICON);
    HICON icon = ExtractFileIcon("%LUMENHOP_TEST_FOLDER%two-sizes.ico", 0);
    const std::string picture = Picture(icon);
    EXPECT_EQ(picture.size(), static_cast<size_t>(size * size));
    // Where the file has an image of this size, that one; elsewhere the system scales one.
    if (size == 16 || size == 32) {
        EXPECT_EQ(picture, std::string(size * size, size == 16 ? 'r' : 'b'));
    }
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(ExtractFileIcon("%LUMENHOP_TEST_LONG%.ico", 0), nullptr);
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
    IconPair.Active.Icon = LoadDefaultIcon(IDI_TRAY_ACTIVE);
    IconPair.Inactive.Icon = LoadDefaultIcon(IDI_TRAY_INACTIVE);
    for (auto [id, procedure] : {std::pair{IDD_SETTINGS, &SettingsDialogProc}, {IDD_DISKINFO, &DiskInfoDialogProc}}) {
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, procedure, 0);
        ASSERT_NE(dialog, nullptr) << id;
        EXPECT_EQ(ControlsOutside(dialog), "") << id << " at " << GetSystemMetrics(SM_CXSMICON);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        DestroyWindow(dialog);
    }
}

}  // namespace
