#include "app/MainWindow.h"
#include "driveinfo/DiskInfoDialog.h"
#include "driveinfo/DriveReport.h"
#include "res/resource.h"
#include "tests/unit/DriveSamples.h"
#include "tests/unit/Machine.h"

#include <functional>

using ::testing::IsEmpty;

namespace {

const char NotNtReport[] = "\r\nThis utility does allow to get disk internals from NT systems only";

struct Seen {
    std::string reportBox;
    std::string report;
    int open = -1;
    HWND focus = nullptr;
    HWND closeButton = nullptr;
};

class DiskInfoDialogTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        const char drive[] = "\\\\.\\PhysicalDrive0";
        substitute::SetDeviceAnswer(drive, SMART_GET_VERSION, {true, samples::VersionAnswer(1)});
        substitute::SetDeviceAnswer(drive, SMART_RCV_DRIVE_DATA,
                                    {true, samples::SmartAnswer(samples::IdentifyWords("DISK", "R1", "SN1"))});
    }

    // Opens the dialog as the tray command does, looks at it once it is up, then closes it the
    // way `close` does. Returns the dialog's result.
    INT_PTR OpenAndClose(Seen& seen, std::function<void(HWND)> close) {
        substitute::QueueDialogAction([&seen, close](HWND dialog) {
            seen.reportBox = substitute::DialogControl(dialog, IDC_REPORT)->text;
            seen.report = DriveReport;
            seen.open = DiskInfoDialogOpen;
            seen.focus = substitute::FocusedControl(dialog);
            seen.closeButton = GetDlgItem(dialog, IDCANCEL);
            close(dialog);
        });
        return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_DISKINFO), MainWindow, DiskInfoDialogProc, 0);
    }
};

TEST_F(DiskInfoDialogTest, TheReportIsShownWhileOpenAndEmptiedOnEveryWayOfClosing) {
    struct CloseCase {
        const char* name;
        std::function<void(HWND)> close;
        INT_PTR result;
    };
    const CloseCase cases[] = {
        {"Close button", [](HWND d) { substitute::ClickButton(d, IDCANCEL); }, IDCANCEL},
        {"Esc", [](HWND d) { substitute::PressEscape(d); }, IDCANCEL},
        {"close box", [](HWND d) { substitute::PressCloseBox(d); }, IDCANCEL},
        {"Enter on the Close button", [](HWND d) { substitute::PressEnter(d); }, IDCANCEL},
        {"Enter in the report box",
         [](HWND d) {
             substitute::FocusControl(d, IDC_REPORT);
             substitute::PressEnter(d);
         },
         IDOK},
    };
    std::string firstReport;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Seen seen;
        EXPECT_EQ(OpenAndClose(seen, c.close), c.result);
        // Each opening shows a report built from nothing: never the last one's text again.
        EXPECT_THAT(seen.reportBox, ::testing::StartsWith("\r\nReading the drive internals using physical access"));
        if (firstReport.empty()) firstReport = seen.reportBox;
        EXPECT_EQ(seen.reportBox, firstReport);
        EXPECT_EQ(seen.report, seen.reportBox);
        EXPECT_EQ(seen.open, 1);
        EXPECT_EQ(seen.focus, seen.closeButton);
        EXPECT_THAT(DriveReport, IsEmpty());
        EXPECT_EQ(DriveReport.capacity(), std::string().capacity());
        EXPECT_EQ(DiskInfoDialogOpen, 0);
    }
    // The one drive answers two probes: it is listed twice, once under each header.
    size_t listed = 0;
    for (size_t at = 0; (at = firstReport.find("Product ID: DISK", at)) != std::string::npos; ++at) ++listed;
    EXPECT_EQ(listed, 2u);
}

TEST_F(DiskInfoDialogTest, ANonNtPlatformShowsTheOneLineMessage) {
    substitute::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    Seen seen;
    OpenAndClose(seen, [](HWND d) { substitute::PressEscape(d); });
    EXPECT_EQ(seen.reportBox, NotNtReport);
    EXPECT_THAT(substitute::DeviceOpenLog(), IsEmpty());
    EXPECT_THAT(DriveReport, IsEmpty());
}

TEST_F(DiskInfoDialogTest, AnNtSystemWithoutReachableDrivesShowsAnEmptyBox) {
    substitute::Reset();
    Seen seen;
    OpenAndClose(seen, [](HWND d) { substitute::PressEscape(d); });
    EXPECT_EQ(seen.reportBox, "");
    EXPECT_EQ(seen.open, 1);
    EXPECT_EQ(substitute::DeviceOpenLog().size(), 64u);
}

TEST_F(DiskInfoDialogTest, OtherMessagesAndCommandsAreLeftToTheDialogManager) {
    HWND dialog = reinterpret_cast<HWND>(uintptr_t{0x5000});
    DriveReport = "kept";
    DiskInfoDialogOpen = 1;
    const std::pair<UINT, WPARAM> messages[] = {
        {WM_COMMAND, IDC_REPORT}, {WM_COMMAND, MAKEWPARAM(IDC_REPORT, EN_CHANGE)}, {WM_COMMAND, 3},
        {WM_CLOSE, 0},            {WM_SYSCOMMAND, SC_CLOSE},                        {WM_NULL, IDCANCEL},
    };
    for (auto [message, wParam] : messages) EXPECT_FALSE(DiskInfoDialogProc(dialog, message, wParam, 0)) << message;
    EXPECT_EQ(DriveReport, "kept");
    EXPECT_EQ(DiskInfoDialogOpen, 1);
    // The command's high word does not matter, only its identifier.
    EXPECT_TRUE(DiskInfoDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0));
    EXPECT_EQ(DiskInfoDialogOpen, 0);
    EXPECT_THAT(DriveReport, IsEmpty());
}

}  // namespace
