#include "settings/SettingsDialog.h"

#include "monitor/CounterCatalogue.h"
#include "platform/TextFormat.h"
#include "res/resource.h"
#include "settings/IconChooser.h"
#include "settings/SettingsChoices.h"
#include "tray/TrayPresenter.h"

#include <cstdio>
#include <cstring>
#include <vector>

int SettingsDialogOpen = 0;

namespace {

// What a preview static shows. Only icons the dialog extracted are its own to destroy; the
// built-in ones are shared with the tray, and the tray's own are the tray presenter's.
struct Preview {
    HICON Icon;
    bool Extracted;
};

// A role's choice while the dialog is open, and what its preview shows: OK commits the choice,
// Cancel drops it.
struct PendingIcon {
    IconChoice Choice;
    Preview Shown;
};

// Indexed by role (Inactive, Active).
PendingIcon Pending[2] = {{{{}, 0}, {nullptr, false}}, {{{}, 0}, {nullptr, false}}};
// The display names the list shows, as they were at opening; an item's data is its position here.
std::vector<WideString> ListedNames;
// Whether the user chose in the list: only a disk chosen there replaces the stored one, so that
// one that is away stays stored while the list shows the disk watched meanwhile.
bool DiskPicked = false;

int PreviewControl(TrayIconRole role) {
    return role == Active ? IDC_ACTIVE_PREVIEW : IDC_INACTIVE_PREVIEW;
}

void ReleasePreview(TrayIconRole role) {
    Preview& shown = Pending[role].Shown;
    if (shown.Extracted) DestroyIcon(shown.Icon);
    shown = Preview{nullptr, false};
}

// Shows the icon in the role's static before the one it replaces is released, so the static
// never holds a destroyed icon.
void ShowPreview(HWND dialog, TrayIconRole role, Preview preview) {
    SendMessageA(GetDlgItem(dialog, PreviewControl(role)), STM_SETICON, reinterpret_cast<WPARAM>(preview.Icon), 0);
    ReleasePreview(role);
    Pending[role].Shown = preview;
}

// The list of disk instances, opened on the one being watched, so that OK without a change
// keeps watching it. Nothing is selected only when nothing is watched.
void FillDiskList(HWND list) {
    ListedNames.clear();
    DiskPicked = false;
    const int watched = WatchedEntry();
    for (size_t i = 0; i < CounterCatalogue.size(); ++i) {
        ListedNames.push_back(CounterCatalogue[i].DisplayName);
        LRESULT item = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ListedNames.back().c_str()));
        if (item < 0) continue;
        SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
        if (static_cast<int>(i) == watched) SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    }
}

// Fills the controls from things as they are: the auto-start entry, the stored blink duration,
// the watched disk and the running icons, from which the pending choices start.
BOOL InitSettingsDialog(HWND dialog) {
    SettingsDialogOpen = 1;
    // The previews start with the running icons; none of them may be destroyed meanwhile.
    HoldReplacedIcons(true);
    SettingsChoices current = CurrentSettingsChoices();
    if (HWND list = GetDlgItem(dialog, IDC_DISK)) FillDiskList(list);
    CheckDlgButton(dialog, IDC_AUTOSTART, current.AutoStart ? BST_CHECKED : BST_UNCHECKED);
    char blinkText[16] = {};
    FormatText(blinkText, sizeof blinkText, "%i", static_cast<int>(current.BlinkDuration));
    SetWindowTextA(GetDlgItem(dialog, IDC_BLINK_DURATION), blinkText);

    for (TrayIconRole role : {Active, Inactive}) {
        Pending[role] = PendingIcon{current.Icons[role], {nullptr, false}};
        if (HICON running = RoleIcon(role).Icon)
            SendMessageA(GetDlgItem(dialog, PreviewControl(role)), STM_SETICON, reinterpret_cast<WPARAM>(running), 0);
    }
    return TRUE;
}

// Lets the user pick a role's icon. A file that yields no icon returns the role to its
// built-in icon, and the preview shows that one.
void BrowseForIcon(HWND dialog, TrayIconRole role) {
    char path[MAX_PATH] = {};
    int index = Pending[role].Choice.Index;
    if (!ChooseIcon(dialog, path, sizeof path, &index)) return;
    std::string file(path, strnlen(path, sizeof path));
    // The store cannot keep this path: refused here, as if the picker had been cancelled,
    // rather than shown now and lost at the next start.
    if (!IconFileFitsStore(file)) return;
    IconChoice& choice = Pending[role].Choice;
    choice.Index = index;
    if (HICON extracted = ExtractFileIcon(file, index)) {
        choice.File = file;
        ShowPreview(dialog, role, Preview{extracted, true});
    } else {
        choice.File.clear();
        ShowPreview(dialog, role, Preview{LoadDefaultIcon(DefaultIconId(role)), false});
    }
}

void UseDefaultIcons(HWND dialog) {
    for (TrayIconRole role : {Active, Inactive}) {
        Pending[role].Choice = IconChoice{{}, 0};
        ShowPreview(dialog, role, Preview{LoadDefaultIcon(DefaultIconId(role)), false});
    }
}

// What the controls say at OK.
SettingsChoices ChoicesInDialog(HWND dialog) {
    SettingsChoices choices;
    choices.AutoStart = IsDlgButtonChecked(dialog, IDC_AUTOSTART) == BST_CHECKED;
    char text[16] = {};
    GetWindowTextA(GetDlgItem(dialog, IDC_BLINK_DURATION), text, sizeof text);
    text[sizeof text - 1] = 0;
    choices.BlinkDuration = BlinkDurationFromText(text);
    HWND list = GetDlgItem(dialog, IDC_DISK);
    if (list != nullptr && DiskPicked) {
        LRESULT item = SendMessageA(list, CB_GETCURSEL, 0, 0);
        LRESULT listed = item < 0 ? CB_ERR : SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
        if (listed >= 0 && static_cast<size_t>(listed) < ListedNames.size())
            choices.Disk = ListedNames[static_cast<size_t>(listed)];
    }
    for (TrayIconRole role : {Active, Inactive}) choices.Icons[role] = Pending[role].Choice;
    return choices;
}

}  // namespace

// OK stores and applies the choices; Cancel, Esc and the close box drop them. Browse and
// Default Icons change only the dialog's own copies.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return InitSettingsDialog(dialog);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    ApplySettingsChoices(ChoicesInDialog(dialog));
                    EndDialog(dialog, IDOK);
                    SettingsDialogOpen = 0;
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, IDCANCEL);
                    SettingsDialogOpen = 0;
                    return TRUE;
                case IDC_BROWSE_ACTIVE:
                    BrowseForIcon(dialog, Active);
                    return FALSE;
                case IDC_BROWSE_INACTIVE:
                    BrowseForIcon(dialog, Inactive);
                    return FALSE;
                case IDC_DEFAULT_ICONS:
                    UseDefaultIcons(dialog);
                    return FALSE;
                case IDC_DISK:
                    if (HIWORD(wParam) == CBN_SELCHANGE) DiskPicked = true;
                    return FALSE;
            }
            break;
        case WM_DESTROY:
            ReleasePreview(Active);
            ReleasePreview(Inactive);
            HoldReplacedIcons(false);
            return FALSE;
    }
    return FALSE;
}
