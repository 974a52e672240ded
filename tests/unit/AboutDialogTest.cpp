#include "app/AboutDialog.h"
#include "res/resource.h"
#include "tests/unit/Machine.h"

namespace {

class AboutDialogTest : public MachineTest {};

// OK and Cancel (Enter, Esc and the close box reach the procedure as those) end the box with
// their own ID, whatever the notification code; other commands and messages leave it open and
// to the dialog manager.
TEST_F(AboutDialogTest, EndsOnOkOrCancelOnly) {
    for (WORD command : {IDOK, IDCANCEL}) {
        HWND dialog = substitute::MakeDialog(FakeMainWindow(), AboutDialogProc);
        EXPECT_TRUE(AboutDialogProc(dialog, WM_INITDIALOG, 0, 0));  // the manager focuses OK
        for (auto [message, wParam] :
             {std::pair<UINT, WPARAM>{WM_COMMAND, IDC_ABOUT_BLANK}, {WM_COMMAND, 3}, {WM_CLOSE, 0}})
            EXPECT_FALSE(AboutDialogProc(dialog, message, wParam, 0));
        EXPECT_FALSE(substitute::DialogResult(dialog));
        EXPECT_EQ(AboutDialogOpen, 1);
        EXPECT_TRUE(AboutDialogProc(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0));
        EXPECT_EQ(substitute::DialogResult(dialog), command);
        EXPECT_EQ(AboutDialogOpen, 0);
        DestroyWindow(dialog);
    }
}

}  // namespace
