#include "app/AboutDialog.h"
#include "res/resource.h"
#include "tests/unit/Machine.h"

namespace {

class AboutDialogTest : public MachineTest {
protected:
    static INT_PTR OpenAbout() {
        return DialogBoxParamA(substitute::ModuleInstance(), MAKEINTRESOURCEA(IDD_ABOUT), FakeMainWindow(),
                               AboutDialogProc, 0);
    }
};

struct Ending {
    const char* name;
    void (*act)(HWND dialog);
    INT_PTR result;
};

class AboutEndingTest : public AboutDialogTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(AboutEndingTest, ClosesTheBoxAndClearsTheFlag) {
    substitute::QueueDialogAction([](HWND dialog) {
        EXPECT_EQ(AboutDialogOpen, 1);
        // The dialog manager gives the focus to OK, the first tab stop.
        EXPECT_EQ(substitute::FocusedControl(dialog), GetDlgItem(dialog, IDOK));
        GetParam().act(dialog);
    });
    EXPECT_EQ(OpenAbout(), GetParam().result);
    EXPECT_EQ(AboutDialogOpen, 0);
    EXPECT_TRUE(substitute::OpenDialogs().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryWay, AboutEndingTest,
    ::testing::Values(Ending{"OkButton", [](HWND d) { substitute::ClickButton(d, IDOK); }, IDOK},
                      Ending{"Enter", [](HWND d) { substitute::PressEnter(d); }, IDOK},
                      Ending{"Escape", [](HWND d) { substitute::PressEscape(d); }, IDCANCEL},
                      Ending{"CloseBox", [](HWND d) { substitute::PressCloseBox(d); }, IDCANCEL},
                      // Only the low word counts: a notification code in the high word changes nothing.
                      Ending{"OkWithNotificationCode",
                             [](HWND d) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 0x300), 0); }, IDOK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutDialogTest, OtherCommandsAndMessagesLeaveItOpen) {
    substitute::QueueDialogAction([](HWND dialog) {
        EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDC_ABOUT_BLANK, 0), FALSE);
        EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, 3, 0), FALSE);
        EXPECT_EQ(SendMessageA(dialog, WM_SETTEXT, 0, 0), FALSE);
        EXPECT_EQ(substitute::TopDialog(), dialog);
        EXPECT_EQ(AboutDialogOpen, 1);
        substitute::PressEscape(dialog);
    });
    OpenAbout();
}

}  // namespace
