// The windowing substitute behaves like Windows where the program relies on it: text cut to the
// caller's buffer, list boxes of a combo box, the mutex's last error, the order of posted
// messages and of a modal dialog's messages, and the menu's choice arriving as a command.
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class WindowsContractTest : public MachineTest {
protected:
    static INT_PTR OpenSettingsTemplate(DLGPROC procedure) {
        return DialogBoxParamA(substitute::ModuleInstance(), MAKEINTRESOURCEA(103), FakeMainWindow(), procedure, 0);
    }
};

std::vector<UINT> DialogMessages;
INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    DialogMessages.push_back(message);
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0x1234);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

TEST_F(WindowsContractTest, DialogRunsFromInitialisationToEndThenGetsDestroy) {
    DialogMessages.clear();
    substitute::QueueDialogAction([](HWND dialog) {
        EXPECT_EQ(DialogMessages, std::vector<UINT>{WM_INITDIALOG});
        substitute::PressEscape(dialog);
        // The end takes effect when the procedure returns to the dialog's loop.
        EXPECT_EQ(DialogMessages.back(), static_cast<UINT>(WM_COMMAND));
    });
    EXPECT_EQ(OpenSettingsTemplate(RecordingProc), 0x1234);
    EXPECT_THAT(DialogMessages, ElementsAre(WM_INITDIALOG, WM_COMMAND, WM_DESTROY));
    EXPECT_FALSE(IsWindow(substitute::DialogLog().back().dialog));
}

TEST_F(WindowsContractTest, GetWindowTextCutsToTheBufferAndNeverWritesPastIt) {
    substitute::QueueDialogAction([](HWND dialog) {
        HWND edit = GetDlgItem(dialog, 1013);
        ASSERT_TRUE(SetWindowTextA(edit, "1234567890123456789"));
        char buffer[20];
        std::memset(buffer, 0xCC, sizeof buffer);
        EXPECT_EQ(GetWindowTextA(edit, buffer, 16), 15);
        EXPECT_STREQ(buffer, "123456789012345");
        EXPECT_EQ(static_cast<unsigned char>(buffer[16]), 0xCCu);
        std::memset(buffer, 0xCC, sizeof buffer);
        EXPECT_EQ(GetWindowTextA(edit, buffer, 0), 0);
        EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xCCu);
        EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
        EXPECT_EQ(GetLastError(), 0x58Du);  // ERROR_CONTROL_ID_NOT_FOUND
        substitute::PressEscape(dialog);
    });
    OpenSettingsTemplate(RecordingProc);
}

TEST_F(WindowsContractTest, ComboBoxKeepsItemsDataAndSelectionAsWindowsDoes) {
    substitute::QueueDialogAction([](HWND dialog) {
        HWND combo = GetDlgItem(dialog, 1010);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"LogicalDisk(C:)")), 0);
        EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"PhysicalDisk(_Total)")), 1);
        EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("logicaldisk(c:)")), 2);
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendMessageA(combo, CB_SETITEMDATA, 1, 7), TRUE);
        EXPECT_EQ(SendMessageA(combo, CB_SETITEMDATA, 3, 7), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 1, 0), 7);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 0, 0), 0);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(-1), 0), CB_ERR);
        // Whole text, any case; from the top with -1, else after the start item, wrapping.
        auto find = [&](WPARAM start, const char16_t* text) {
            return SendMessageW(combo, CB_FINDSTRINGEXACT, start, reinterpret_cast<LPARAM>(text));
        };
        EXPECT_EQ(find(static_cast<WPARAM>(-1), u"LOGICALDISK(C:)"), 0);
        EXPECT_EQ(find(0, u"LogicalDisk(C:)"), 2);
        EXPECT_EQ(find(2, u"LogicalDisk(C:)"), 0);
        EXPECT_EQ(find(static_cast<WPARAM>(-1), u"LogicalDisk(C"), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 9, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        substitute::PressEscape(dialog);
    });
    OpenSettingsTemplate(RecordingProc);
}

TEST_F(WindowsContractTest, CheckBoxAndIconStaticKeepWhatTheyAreGiven) {
    substitute::QueueDialogAction([](HWND dialog) {
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), 0u);
        substitute::ClickButton(dialog, 1000);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), 1u);
        EXPECT_TRUE(CheckDlgButton(dialog, 1000, BST_UNCHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), 0u);
        HICON icon = substitute::SharedIcon(113);
        EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1002), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0), 0);
        EXPECT_EQ(substitute::DialogControl(dialog, 1002)->icon, icon);
        substitute::PressEscape(dialog);
    });
    OpenSettingsTemplate(RecordingProc);
}

TEST_F(WindowsContractTest, NamedMutexReportsItsLastError) {
    SetLastError(0xDEAD);
    HANDLE first = CreateMutexA(nullptr, FALSE, "Name");
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_NE(CreateMutexA(nullptr, FALSE, "Name"), nullptr);
    EXPECT_EQ(GetLastError(), 0xB7u);  // ERROR_ALREADY_EXISTS
    substitute::AddForeignMutex("Other", true);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Other"), nullptr);
    EXPECT_EQ(GetLastError(), 0x5u);  // ERROR_ACCESS_DENIED
}

LRESULT CALLBACK DefaultOnly(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND PlainWindow() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefaultOnly;
    windowClass.lpszClassName = "Plain";
    RegisterClassExA(&windowClass);
    return CreateWindowExA(0, "Plain", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(WindowsContractTest, QuitComesAfterEveryPostedMessage) {
    HWND window = PlainWindow();
    PostQuitMessage(3);
    PostMessageA(window, WM_NULL, 0, 0);
    MSG message;
    std::memset(&message, 0xCC, sizeof message);
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_NULL));
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), FALSE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 3u);
    // WM_CLOSE left to the default procedure destroys the window.
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(PostMessageA(window, WM_NULL, 0, 0), FALSE);
}

TEST_F(WindowsContractTest, MenuChoiceArrivesAfterwardsAsAPostedCommand) {
    HWND window = PlainWindow();
    HMENU menu = LoadMenuA(substitute::ModuleInstance(), MAKEINTRESOURCEA(123));
    substitute::ScriptMenuChoice(121);
    EXPECT_TRUE(TrackPopupMenu(GetSubMenu(menu, 0), 0, 1, 2, 0, window, nullptr));
    auto posted = substitute::PostedMessages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(posted[0].wParam, 121u);
    // Without a scripted choice the menu is dismissed.
    EXPECT_FALSE(TrackPopupMenu(GetSubMenu(menu, 0), 0, 1, 2, 0, window, nullptr));
    EXPECT_EQ(substitute::PostedMessages().size(), 1u);
    DestroyMenu(menu);
    MSG message;
    GetMessageA(&message, nullptr, 0, 0);
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
    EXPECT_EQ(OpenSettingsTemplate(RecordingProc), 0);
    auto problems = TakeProblems();
    EXPECT_THAT(problems, ElementsAre(HasSubstr("DestroyMenu"), HasSubstr("GetMessageA waits"),
                                      HasSubstr("modal dialog (template 103)"), HasSubstr("menu was never destroyed")));
}

}  // namespace
