#include "settings/SettingsDialog.h"

#include "app/MainWindow.h"
#include "app/TrayPresenter.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "res/resource.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

int SettingsDialogOpen = 0;

namespace {

// The shell's icon picker: the same arguments in UTF-16 on the NT family, narrow elsewhere.
typedef int(WINAPI* WideIconPicker)(HWND owner, LPWSTR path, UINT capacity, int* index);
typedef int(WINAPI* NarrowIconPicker)(HWND owner, LPSTR path, UINT capacity, int* index);
constexpr WORD IconPickerOrdinal = 62;

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the platform expects");

// ExtractIconA's answer for a file that is no executable, library or icon file.
const HICON NotAnIconFile = reinterpret_cast<HICON>(uintptr_t{1});

bool IsIcon(HICON icon) { return icon != nullptr && icon != NotAnIconFile; }

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

IconRole& RunningIcon(int role) { return role == Active ? IconPair.Active : IconPair.Inactive; }
int PreviewControl(int role) { return role == Active ? IDC_ACTIVE_PREVIEW : IDC_INACTIVE_PREVIEW; }
WORD DefaultIconId(int role) { return role == Active ? DefaultActiveIconId : DefaultInactiveIconId; }

void ReleasePreview(int role) {
    Preview& shown = Pending[role].Shown;
    if (shown.Extracted) DestroyIcon(shown.Icon);
    shown = Preview{nullptr, false};
}

// Shows the icon in the role's static before the one it replaces is released, so the static
// never holds a destroyed icon.
void ShowPreview(HWND dialog, int role, Preview preview) {
    SendMessageA(GetDlgItem(dialog, PreviewControl(role)), STM_SETICON, reinterpret_cast<WPARAM>(preview.Icon), 0);
    ReleasePreview(role);
    Pending[role].Shown = preview;
}

// Calls the UTF-16 picker through a buffer of its own. The path comes back only when it
// converts to the ANSI code page exactly: a best-fit or replaced character would name another
// file, or none.
BOOL PickWide(WideIconPicker picker, HWND owner, LPSTR path, UINT capacity, int* index) {
    std::vector<WCHAR> wide(capacity, 0);
    int length = static_cast<int>(strnlen(path, capacity));
    if (length > 0 && MultiByteToWideChar(CP_ACP, 0, path, length, wide.data(), static_cast<int>(capacity) - 1) == 0)
        std::fill(wide.begin(), wide.end(), WCHAR{0});
    int chosen = *index;
    if (!picker(owner, wide.data(), capacity, &chosen)) return FALSE;
    // A path that fills the buffer without its zero has lost its end.
    if (std::find(wide.begin(), wide.end(), WCHAR{0}) == wide.end() || wide[0] == 0) return FALSE;
    std::vector<char> narrow(capacity, 0);
    BOOL replaced = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, narrow.data(), static_cast<int>(capacity),
                            nullptr, &replaced) == 0 ||
        replaced)
        return FALSE;
    std::memcpy(path, narrow.data(), capacity);
    *index = chosen;
    return TRUE;
}

// Calls the narrow picker through a copy of the path, so that nothing changes unless it
// answers with a whole path.
BOOL PickNarrow(NarrowIconPicker picker, HWND owner, LPSTR path, UINT capacity, int* index) {
    std::vector<char> narrow(capacity, 0);
    std::memcpy(narrow.data(), path, std::min<size_t>(strnlen(path, capacity), capacity - 1));
    int chosen = *index;
    if (!picker(owner, narrow.data(), capacity, &chosen)) return FALSE;
    if (std::memchr(narrow.data(), 0, capacity) == nullptr || narrow[0] == 0) return FALSE;
    std::memcpy(path, narrow.data(), capacity);
    *index = chosen;
    return TRUE;
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

    for (int role : {Active, Inactive}) {
        const IconRole& running = RunningIcon(role);
        Pending[role] = PendingIcon{running.File, static_cast<int>(running.Index), {nullptr, false}};
        if (running.Icon != nullptr)
            SendMessageA(GetDlgItem(dialog, PreviewControl(role)), STM_SETICON,
                         reinterpret_cast<WPARAM>(running.Icon), 0);
    }
    return TRUE;
}

// Lets the user pick a role's icon. A file that yields no icon returns the role to its
// built-in icon, and the preview shows that one.
void BrowseForIcon(HWND dialog, int role) {
    char path[MAX_PATH] = {};
    int index = Pending[role].Index;
    if (!ChooseIcon(dialog, path, sizeof path, &index)) return;
    std::string file(path, strnlen(path, sizeof path));
    // The store cannot keep this path: refused here, as if the picker had been cancelled,
    // rather than shown now and lost at the next start.
    if (!IconFileFitsStore(file)) return;
    PendingIcon& pending = Pending[role];
    pending.Index = index;
    HICON extracted = ExtractIconA(AppInstance, file.c_str(), static_cast<UINT>(index));
    if (IsIcon(extracted)) {
        pending.File = file;
        ShowPreview(dialog, role, Preview{extracted, true});
    } else {
        pending.File.clear();
        ShowPreview(dialog, role, Preview{LoadDefaultIcon(DefaultIconId(role)), false});
    }
}

void UseDefaultIcons(HWND dialog) {
    for (int role : {Active, Inactive}) {
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

void ApplyIcon(HKEY key, int role) {
    const PendingIcon& pending = Pending[role];
    IconRole& running = RunningIcon(role);
    if (!pending.File.empty()) {
        WriteIconChoice(key, role, pending.File, pending.Index);
        running.Index = pending.Index;
        running.File = pending.File;
        running.Icon = ResolveIcon(role, running.File, running.Index);
    } else {
        running.Icon = LoadDefaultIcon(DefaultIconId(role));
        running.Index = 0;
        running.File.clear();
        WriteIconChoice(key, role, running.File, 0);
    }
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
        return FALSE;
    }
    return FALSE;
}

// Loads the shell's picker for this one call and unloads it after.
BOOL ChooseIcon(HWND owner, LPSTR path, UINT capacity, int* index) {
    if (path == nullptr || capacity == 0 || index == nullptr) return FALSE;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    // Without the platform family the picker's text width is unknown; guessing wrong would
    // hand it a buffer of the other width.
    if (!GetVersionExA(&version)) return FALSE;
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr) return FALSE;
    BOOL picked = FALSE;
    if (FARPROC entry = GetProcAddress(shell, MAKEINTRESOURCEA(IconPickerOrdinal))) {
        // Through the generic function pointer type, which converts to any other.
        auto generic = reinterpret_cast<void (*)()>(entry);
        if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            picked = PickWide(reinterpret_cast<WideIconPicker>(generic), owner, path, capacity, index);
        else
            picked = PickNarrow(reinterpret_cast<NarrowIconPicker>(generic), owner, path, capacity, index);
    }
    FreeLibrary(shell);
    return picked;
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
