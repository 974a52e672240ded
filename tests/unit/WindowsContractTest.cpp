// What only the substitute can show: controls keep what they are given (text cut to the caller's
// buffer, a combo box's list, check boxes, icon statics), a modal dialog's messages come in
// order, and misuse of menus, keys, icons and message loops is reported.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class WindowsContractTest : public MachineTest {};

HWND PlainWindow() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Plain";
    RegisterClassExA(&windowClass);
    return CreateWindowExA(0, "Plain", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

HWND Control(HWND parent, const char* className, int id) {
    return CreateWindowExA(0, className, "", WS_CHILD, 0, 0, 10, 10, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

// Text is cut to the caller's buffer and nothing is written past it; a list keeps its items, their
// data and its selection, and finds whole texts in any case; a check box keeps its state and an
// icon static its icon.
TEST_F(WindowsContractTest, ControlsKeepWhatTheyAreGiven) {
    HWND parent = PlainWindow();
    HWND edit = Control(parent, "Edit", 7), combo = Control(parent, "ComboBox", 8),
         preview = Control(parent, "Static", 9);
    Control(parent, "Button", 10);
    EXPECT_EQ(GetDlgItem(parent, 7), edit);
    EXPECT_EQ(GetDlgItem(parent, 11), nullptr);
    EXPECT_EQ(GetLastError(), 0x58Du);  // ERROR_CONTROL_ID_NOT_FOUND
    ASSERT_TRUE(SetWindowTextA(edit, "1234567890123456789"));
    char buffer[20];
    std::memset(buffer, 0xCC, sizeof buffer);
    EXPECT_EQ(GetWindowTextA(edit, buffer, 16), 15);
    EXPECT_EQ(std::string(buffer, 17), std::string("123456789012345\0\xCC", 17));

    auto send = [&](UINT message, WPARAM wParam, const char16_t* text) {
        return SendMessageW(combo, message, wParam, reinterpret_cast<LPARAM>(text));
    };
    EXPECT_EQ(send(CB_GETCURSEL, 0, nullptr), CB_ERR);
    for (const char16_t* item : {u"LogicalDisk(C:)", u"PhysicalDisk(_Total)", u"logicaldisk(c:)"})
        send(CB_ADDSTRING, 0, item);
    EXPECT_EQ(send(CB_GETCOUNT, 0, nullptr), 3);
    EXPECT_EQ(SendMessageA(combo, CB_SETITEMDATA, 1, 7), TRUE);
    EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 1, 0) * 10 + SendMessageA(combo, CB_GETITEMDATA, 0, 0), 70);
    EXPECT_EQ(send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), u"PHYSICALDISK(_total)"), 1);
    EXPECT_EQ(send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), u"LogicalDisk(C"), CB_ERR);
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 9, 0), CB_ERR);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);

    EXPECT_TRUE(CheckDlgButton(parent, 10, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(parent, 10), 1u);
    HICON icon = LoadIconA(substitute::ModuleInstance(), MAKEINTRESOURCEA(113));
    EXPECT_EQ(SendMessageA(preview, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0), 0);
    EXPECT_EQ(SendMessageA(preview, STM_GETICON, 0, 0), reinterpret_cast<LRESULT>(icon));
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(preview));
}

std::vector<UINT> DialogMessages;
INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    DialogMessages.push_back(message);
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0x1234);
    return message == WM_INITDIALOG;
}

// The end takes effect when the procedure returns to the dialog's loop; then comes WM_DESTROY.
TEST_F(WindowsContractTest, DialogRunsFromInitialisationToEndThenGetsDestroy) {
    DialogMessages.clear();
    HWND owner = PlainWindow();
    substitute::QueueDialogAction([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(DialogBoxParamA(substitute::ModuleInstance(), MAKEINTRESOURCEA(103), owner, RecordingProc, 0), 0x1234);
    EXPECT_THAT(DialogMessages, ElementsAre(WM_INITDIALOG, WM_COMMAND, WM_DESTROY));
    DestroyWindow(owner);
}

TEST_F(WindowsContractTest, MisuseIsReported) {
    HMENU menu = LoadMenuA(substitute::ModuleInstance(), MAKEINTRESOURCEA(123));
    DestroyMenu(menu);
    DestroyMenu(menu);
    LoadMenuA(substitute::ModuleInstance(), MAKEINTRESOURCEA(123));
    substitute::QueueUserAction([] {});
    MSG message;
    GetMessageA(&message, nullptr, 0, 0);
    // A dialog whose user does nothing more is ended rather than waited for.
    EXPECT_EQ(DialogBoxParamA(substitute::ModuleInstance(), MAKEINTRESOURCEA(103), nullptr, RecordingProc, 0), 0);
    // A registry key left open, and a shared icon destroyed.
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Orvane\\Contract", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    DestroyIcon(static_cast<HICON>(LoadImageA(substitute::ModuleInstance(), MAKEINTRESOURCEA(114), IMAGE_ICON, 16, 16, LR_SHARED)));
    EXPECT_THAT(TakeProblems(),
                ElementsAre(HasSubstr("DestroyMenu"), HasSubstr("GetMessageA waits"), HasSubstr("modal dialog (template 103)"),
                            HasSubstr("shared icon"), HasSubstr("key was never closed"), HasSubstr("menu was never destroyed")));
}

}  // namespace
