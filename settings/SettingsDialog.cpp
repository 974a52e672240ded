#include "settings/SettingsDialog.h"

#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "res/resource.h"
#include "settings/IconChooser.h"
#include "settings/SettingsStore.h"
#include "tray/TrayPresenter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int SettingsDialogOpen = 0;

namespace {

// What a preview static shows. Only icons the dialog extracted are its own to destroy; the
// built-in ones are shared with the tray, and the tray's own are the tray presenter's.
struct Preview {
    HICON Icon;
    bool Extracted;
};

// A role's choice while the dialog is open: OK commits it, Cancel drops it.
struct PendingIcon {
    std::string File;  // empty: the built-in icon
    int Index;
    Preview Shown;
};

// Indexed by role (Inactive, Active).
PendingIcon Pending[2] = {{{}, 0, {nullptr, false}}, {{}, 0, {nullptr, false}}};
bool CheckedAtOpen = false;

int PreviewControl(TrayIconRole role) { return role == Active ? IDC_ACTIVE_PREVIEW : IDC_INACTIVE_PREVIEW; }

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

// The list of disk instances, each item carrying its entry's catalogue index.
void FillDiskList(HWND list) {
    for (size_t i = 0; i < CounterCatalogue.size(); ++i) {
        LRESULT item = SendMessageW(list, CB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(CounterCatalogue[i].DisplayName.c_str()));
        if (item >= 0) SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
    }
    if (SendMessageA(list, CB_GETCOUNT, 0, 0) > 0) SendMessageA(list, CB_SETCURSEL, 0, 0);
}

// Fills the controls from the store (box, duration, selection) and the icons from the running
// tray, and starts the pending choices from the running ones.
BOOL InitSettingsDialog(HWND dialog) {
    SettingsDialogOpen = 1;
    // The previews start with the running icons; none of them may be destroyed meanwhile.
    HoldReplacedIcons(true);
    HWND list = GetDlgItem(dialog, IDC_DISK);
    if (list != nullptr) FillDiskList(list);

    // Without a settings key: unchecked, 100 and the first item.
    DialogSettings stored = ReadDialogSettings();
    CheckDlgButton(dialog, IDC_AUTOSTART, stored.StartUp ? BST_CHECKED : BST_UNCHECKED);
    char blinkText[16] = {};
    std::snprintf(blinkText, sizeof blinkText, "%i", static_cast<int>(stored.BlinkDuration));
    SetWindowTextA(GetDlgItem(dialog, IDC_BLINK_DURATION), blinkText);
    // The whole name, in any case: a part of one, as the set-up accepts it, selects nothing here.
    if (stored.SelectedName && list != nullptr) {
        LRESULT item = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(stored.SelectedName->c_str()));
        if (item >= 0) SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    }
    CheckedAtOpen = IsDlgButtonChecked(dialog, IDC_AUTOSTART) == BST_CHECKED;

    for (TrayIconRole role : {Active, Inactive}) {
        const IconRole& running = RoleIcon(role);
        Pending[role] = PendingIcon{running.File, static_cast<int>(running.Index), {nullptr, false}};
        if (running.Icon != nullptr)
            SendMessageA(GetDlgItem(dialog, PreviewControl(role)), STM_SETICON,
                         reinterpret_cast<WPARAM>(running.Icon), 0);
    }
    return TRUE;
}

// Lets the user pick a role's icon. A file that yields no icon returns the role to its
// built-in icon, and the preview shows that one.
void BrowseForIcon(HWND dialog, TrayIconRole role) {
    char path[MAX_PATH] = {};
    int index = Pending[role].Index;
    if (!ChooseIcon(dialog, path, sizeof path, &index)) return;
    std::string file(path, strnlen(path, sizeof path));
    // The store cannot keep this path: refused here, as if the picker had been cancelled,
    // rather than shown now and lost at the next start.
    if (!IconFileFitsStore(file)) return;
    PendingIcon& pending = Pending[role];
    pending.Index = index;
    if (HICON extracted = ExtractFileIcon(file, index)) {
        pending.File = file;
        ShowPreview(dialog, role, Preview{extracted, true});
    } else {
        pending.File.clear();
        ShowPreview(dialog, role, Preview{LoadDefaultIcon(DefaultIconId(role)), false});
    }
}

void UseDefaultIcons(HWND dialog) {
    for (TrayIconRole role : {Active, Inactive}) {
        Pending[role].Index = 0;
        Pending[role].File.clear();
        ShowPreview(dialog, role, Preview{LoadDefaultIcon(DefaultIconId(role)), false});
    }
}

DWORD BlinkDurationInBox(HWND dialog) {
    char text[16] = {};
    GetWindowTextA(GetDlgItem(dialog, IDC_BLINK_DURATION), text, sizeof text);
    text[sizeof text - 1] = 0;
    return BlinkDurationFromText(text);
}

// Watches the list's selected entry from the next sampler on, and shows its name in the tray
// at once. Nothing happens without a selection or for an entry the catalogue no longer has.
void ApplySelection(HWND dialog, HKEY key) {
    HWND list = GetDlgItem(dialog, IDC_DISK);
    if (list == nullptr) return;
    LRESULT item = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (item < 0) return;
    LRESULT entry = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
    if (entry < 0 || static_cast<size_t>(entry) >= CounterCatalogue.size()) return;
    SelectCounterEntry(static_cast<int>(entry));
    WriteSelectedName(key, CounterCatalogue[static_cast<size_t>(entry)].DisplayName);
    TrayNotify(NIM_MODIFY, IconPair.Inactive.Icon);
}

void ApplyIcon(HKEY key, TrayIconRole role) {
    const PendingIcon& pending = Pending[role];
    IconRole& running = RoleIcon(role);
    if (!pending.File.empty()) {
        WriteIconChoice(key, role, pending.File, pending.Index);
        running.Index = pending.Index;
        running.File = pending.File;
    } else {
        running.Index = 0;
        running.File.clear();
        WriteIconChoice(key, role, running.File, 0);
    }
    ResolveIcon(role);
}

// Stores and applies everything with no sampler running, then starts a new one. When the key
// can be neither opened nor created, nothing is applied either, so memory and store agree.
void ApplySettings(HWND dialog) {
    StopSampler();
    bool checked = IsDlgButtonChecked(dialog, IDC_AUTOSTART) == BST_CHECKED;
    if (HKEY key = OpenSettingsKeyForWriting()) {
        WriteStartUp(key, checked);
        BlinkDuration = BlinkDurationInBox(dialog);
        WriteBlinkDuration(key, BlinkDuration);
        ApplySelection(dialog, key);
        ApplyIcon(key, Active);
        ApplyIcon(key, Inactive);
        RegCloseKey(key);
    }
    // The Run key is touched only for a change, so an entry removed by other means stays away.
    if (checked != CheckedAtOpen) SetAutoStart(checked);
    StartSampler();
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
            ApplySettings(dialog);
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

// Reads the number as the C library's atol would, but saturating where atol's result would be
// undefined: every such text is far outside the range anyway.
DWORD BlinkDurationFromText(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        magnitude = std::min<uint64_t>(magnitude * 10 + static_cast<uint64_t>(*text - '0'), uint64_t{1} << 32);
    // A negative number, taken as unsigned, is above every duration.
    if (negative && magnitude != 0) return DialogBlinkMax;
    return static_cast<DWORD>(std::clamp<uint64_t>(magnitude, DialogBlinkMin, DialogBlinkMax));
}
