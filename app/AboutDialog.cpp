#include "app/AboutDialog.h"

int AboutDialogOpen = 0;

// Marks the box open while it exists; OK, Enter, Esc and the close box all end it.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            AboutDialogOpen = 1;
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(dialog, LOWORD(wParam));
                    AboutDialogOpen = 0;
                    return TRUE;
            }
            break;
    }
    return FALSE;
}
