#include "app/MainWindow.h"
#include "driveinfo/DiskInfoDialog.h"
#include "driveinfo/DriveReport.h"
#include "res/resource.h"
#include "tests/unit/DriveSamples.h"
#include "tests/unit/Machine.h"

using ::testing::IsEmpty;

namespace {

class DiskInfoDialogTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        const char drive[] = "\\\\.\\PhysicalDrive0";
        substitute::SetDeviceAnswer(drive, SMART_GET_VERSION, {true, samples::VersionAnswer(1)});
        substitute::SetDeviceAnswer(drive, SMART_RCV_DRIVE_DATA,
                                    {true, samples::SmartAnswer(samples::IdentifyWords("DISK", "R1", "SN1"))});
    }
};

// Each opening shows a report built from nothing, never the last one's text again; OK (Enter in
// the report box) and Cancel (Close, Esc, the close box) end the dialog and free the report.
TEST_F(DiskInfoDialogTest, EachOpeningShowsAFreshReportAndEachEndEmptiesIt) {
    std::string first;
    for (WORD command : {IDOK, IDCANCEL, IDCANCEL}) {
        HWND dialog = substitute::MakeDialog(MainWindow, DiskInfoDialogProc, {IDC_REPORT});
        EXPECT_TRUE(DiskInfoDialogProc(dialog, WM_INITDIALOG, 0, 0));  // the manager focuses Close
        std::string shown = substitute::DescribeWindow(GetDlgItem(dialog, IDC_REPORT))->text;
        EXPECT_THAT(shown, ::testing::StartsWith("\r\nReading the drive internals using physical access"));
        if (first.empty()) first = shown;
        EXPECT_EQ(shown, first);
        for (auto [message, wParam] : {std::pair<UINT, WPARAM>{WM_COMMAND, MAKEWPARAM(IDC_REPORT, EN_CHANGE)},
                                       {WM_COMMAND, 3}, {WM_CLOSE, 0}, {WM_NULL, IDCANCEL}})
            EXPECT_FALSE(DiskInfoDialogProc(dialog, message, wParam, 0));
        EXPECT_EQ(DriveReport, shown);
        EXPECT_EQ(DiskInfoDialogOpen, 1);
        EXPECT_FALSE(substitute::DialogResult(dialog));

        EXPECT_TRUE(DiskInfoDialogProc(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0));
        EXPECT_EQ(substitute::DialogResult(dialog), command);
        EXPECT_THAT(DriveReport, IsEmpty());
        EXPECT_EQ(DriveReport.capacity(), std::string().capacity());
        EXPECT_EQ(DiskInfoDialogOpen, 0);
        DestroyWindow(dialog);
    }
}

}  // namespace
