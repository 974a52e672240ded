#include "driveinfo/DiskInfoDialog.h"

#include "driveinfo/DriveReport.h"
#include "res/resource.h"

int DiskInfoDialogOpen = 0;

namespace {

// Builds the report before the dialog is first shown; the edit box keeps its own copy.
void ShowDriveReport(HWND dialog) {
    HWND reportBox = GetDlgItem(dialog, IDC_REPORT);
    SetWindowTextA(reportBox, BuildDriveReport());
    DiskInfoDialogOpen = 1;
}

}  // namespace

// Shows a report built afresh at each opening and empties it at each closing, whether by Close,
// Esc, the close box or Enter in the edit box.
INT_PTR CALLBACK DiskInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            ShowDriveReport(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(dialog, LOWORD(wParam));
                    ClearDriveReport();
                    DiskInfoDialogOpen = 0;
                    return TRUE;
            }
            break;
    }
    return FALSE;
}
