#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/MonitorSetup.h"
#include "driveinfo/DiskInfoDialog.h"
#include "monitor/ActivitySampler.h"
#include "res/resource.h"
#include "settings/SettingsChoices.h"
#include "settings/SettingsDialog.h"
#include "tray/TrayPresenter.h"

UINT TaskbarCreatedMessage = 0;

namespace {

// Opens one of the modal dialogs, owned by the main window; its result is of no interest. Its flag
// is set while its loop dispatches our messages: then no second copy opens, and the open one comes
// to the foreground instead, since a dialog owned by a hidden window has no taskbar button and is
// lost behind other windows.
void RunDialog(HWND window, int open, WORD templateId, DLGPROC procedure) {
    if (!open) {
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(templateId), window, procedure, 0);
        return;
    }
    for (HWND dialog = nullptr; (dialog = FindWindowExA(nullptr, dialog, "#32770", nullptr)) != nullptr;)
        if (GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId() &&
            GetWindowLongPtrA(dialog, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(procedure)) {
            SetForegroundWindow(dialog);
            return;
        }
}

// Acts on a command of the tray menu or of an accelerator.
void RunCommand(HWND window, WORD command) {
    switch (command) {
        case IDM_ABOUT:
            RunDialog(window, AboutDialogOpen, IDD_ABOUT, AboutDialogProc);
            break;
        case IDM_SETTINGS:
            // The disks of this moment, not those of the start: one plugged in since is listed.
            if (!SettingsDialogOpen) RebuildDiskCatalogue();
            RunDialog(window, SettingsDialogOpen, IDD_SETTINGS, SettingsDialogProc);
            break;
        case IDM_DISKINFO:
            RunDialog(window, DiskInfoDialogOpen, IDD_DISKINFO, DiskInfoDialogProc);
            break;
        case IDM_EXIT:
            DestroyWindow(window);
            break;
    }
}

// Whether a device broadcast says that a volume arrived or went.
bool IsVolumeChange(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
    const DEV_BROADCAST_HDR* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    return header != nullptr && header->dbch_devicetype == DBT_DEVTYP_VOLUME;
}

// Shows the tray menu at the pointer. The choice arrives afterwards as a WM_COMMAND.
void ShowTrayMenu(HWND window) {
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    if (menu == nullptr) return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        POINT point = {};
        GetCursorPos(&point);
        // Without the foreground the menu would not close when the user clicks elsewhere, and
        // the posted message makes it close at once when it should.
        SetForegroundWindow(window);
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, point.x, point.y, 0, window, nullptr);
        PostMessageA(window, WM_NULL, 0, 0);
    }
    DestroyMenu(menu);
}

}  // namespace

// Lets `message` reach the window from processes of a lower integrity level: run as administrator,
// the window would otherwise never hear the shell's restart broadcast, nor a second start. Windows
// before Vista have no such filter; Vista filters per process.
void AllowMessageFromBelow(HWND window, UINT message) {
    // Both filters' "allow" and "add" are 1.
    constexpr DWORD allow = 1;
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (FARPROC entry = GetProcAddress(user32, "ChangeWindowMessageFilterEx")) {
        using WindowFilter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
        reinterpret_cast<WindowFilter>(reinterpret_cast<void (*)()>(entry))(window, message, allow, nullptr);
    } else if (FARPROC entry = GetProcAddress(user32, "ChangeWindowMessageFilter")) {
        using ProcessFilter = BOOL(WINAPI*)(UINT, DWORD);
        reinterpret_cast<ProcessFilter>(reinterpret_cast<void (*)()>(entry))(message, allow);
    }
}

// Creates the hidden main window, fills the tray record and runs the first monitor set-up.
BOOL CreateMainWindow(HINSTANCE instance) {
    AppInstance = instance;
    MainWindow = CreateWindowExA(0, MainWindowName, MainWindowName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                 CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (MainWindow == nullptr) return FALSE;
    InitTrayRecord(MainWindow);
    ShowWindow(MainWindow, SW_HIDE);
    UpdateWindow(MainWindow);
    RunMonitorSetup();
    return TRUE;
}

// Routes the shell's restart broadcast, the window's end, the menu's commands, the tray icon's
// right-button press and the retries of a refused icon add; everything else gets the default
// handling.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // 0 is WM_NULL, which the menu posts; it is not the restart message while none is registered.
    if (message != WM_NULL && message == TaskbarCreatedMessage) {
        RunMonitorSetup();
        return 0;
    }
    switch (message) {
        case WM_DESTROY:
            TrayNotify(NIM_DELETE, nullptr);
            StopSampler();
            PostQuitMessage(0);
            return 0;
        case WM_COMMAND:
            RunCommand(window, LOWORD(wParam));
            return 0;
        case TrayCallbackMessage:
            if (lParam == WM_RBUTTONDOWN) ShowTrayMenu(window);
            return 0;
        case WM_DEVICECHANGE:
            // A burst of volume broadcasts (a disk with several volumes, a dock) makes one rebuild,
            // once they have settled.
            if (IsVolumeChange(wParam, lParam)) SetTimer(window, DiskChangeTimer, DiskChangeSettleTime, nullptr);
            return TRUE;
        case WM_TIMER:
            if (wParam == DiskChangeTimer) {
                KillTimer(window, DiskChangeTimer);
                RebuildDiskCatalogue();
                return 0;
            }
            if (wParam != TrayAddRetryTimer) break;
            RetryActivityIconAdd();
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
