// The Settings dialog from its template: what it opens with, what OK applies and Cancel drops, the
// icons its previews show and destroy, and Browse with the real shell32's icon picker.
#include "tests/windows/WindowTest.h"

namespace {

using SettingsDialogTest = WindowTest;
using Disks = std::vector<const wchar_t*>;

const std::string IconLibrary = "C:\\windows\\system32\\shell32.dll";  // many icons

HICON ExtractedIcon(int index) {
    return ExtractIconA(GetModuleHandleA(nullptr), IconLibrary.c_str(), index);
}

// Whether an icon is live, never destroyed.
bool Alive(HICON icon) {
    return DestroyIcon(CopyIcon(icon));
}

std::string Narrow(const WideString& text) {
    return std::string(text.begin(), text.end());
}

// The program's values in the settings key, as "Name=value ...": numbers in decimal, texts in
// ASCII.
std::string Stored() {
    std::string stored;
    for (const char* name : {BlinkDurationValue, ActiveIconFileValue, ActiveIconIndexValue, InactiveIconFileValue,
                             InactiveIconIndexValue, SelectedDiskCounterValue, StartUpValue}) {
        DWORD data[128] = {}, size = sizeof data, type = 0;
        if (SHGetValueA(HKEY_CURRENT_USER, SettingsKeyPath, name, &type, data, &size) != ERROR_SUCCESS) continue;
        stored += " " + std::string(name) + "=" + (type == REG_DWORD ? std::to_string(data[0]) : "");
        for (DWORD at = 0; type != REG_DWORD && at < size; ++at)
            if (char c = reinterpret_cast<char*>(data)[at]) stored += c;
    }
    return stored.erase(0, 1);
}

// The catalogue as a set-up builds it; each path is its name and its position, so that an entry
// found by its name after a rebuild shows where it came from.
void Catalogue(const Disks& names) {
    CounterCatalogue.clear();
    for (const wchar_t* name : names)
        CounterCatalogue.push_back({0, name, name + (L"#" + std::to_wstring(CounterCatalogue.size()))});
}

HWND OpenSettings() {
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, SettingsDialogProc, 0);
    ShowWindow(dialog, SW_SHOWNA);
    EXPECT_EQ(SettingsDialogOpen, 1);
    return dialog;
}

// OK or Cancel ends the dialog; the tests destroy it when they want it gone.
void End(HWND dialog, WORD command) {
    SendMessageA(dialog, WM_COMMAND, command, 0);
    StopSampler();  // OK starts one
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(SettingsDialogOpen, 0);
}

void Command(HWND dialog, int control) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), 0);
}

HICON Preview(HWND dialog, int control) {
    return reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, control, STM_GETICON, 0, 0));
}

// The list's items with their data, its selection, the box and the period.
std::string Shown(HWND dialog) {
    std::string shown;
    for (LRESULT i = 0; i < SendDlgItemMessageA(dialog, IDC_DISK, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t text[64] = {};
        SendDlgItemMessageW(dialog, IDC_DISK, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        shown += Narrow(text) + "#" + std::to_string(SendDlgItemMessageA(dialog, IDC_DISK, CB_GETITEMDATA, i, 0)) + " ";
    }
    char period[16] = {};
    GetDlgItemTextA(dialog, IDC_BLINK_DURATION, period, sizeof period);
    return shown + "| item " + std::to_string(SendDlgItemMessageA(dialog, IDC_DISK, CB_GETCURSEL, 0, 0)) + " | box " +
           std::to_string(IsDlgButtonChecked(dialog, IDC_AUTOSTART)) + " | " + period;
}

// The list holds every entry in the catalogue's order, each with its position, and opens on the
// one being watched; the box shows whether the Run entry exists, whatever StartUp says; the
// period shows the stored one held to 100..2000.
TEST_F(SettingsDialogTest, OpensOnWhatRuns) {
    const std::tuple<Disks, int, bool, DWORD, DWORD, const char*> cases[] = {
        {{L"C:", L"D:", L"_Total"}, 0, true, 0, 3000, "C:#0 D:#1 _Total#2 | item 0 | box 1 | 2000"},
        {{L"C:", L"D:", L"_Total"}, 2, false, 1, 500, "C:#0 D:#1 _Total#2 | item 2 | box 0 | 500"}};
    for (auto& [disks, watched, runEntry, startUp, period, shown] : cases) {
        CleanRegistry();
        Catalogue(disks);
        SelectedCounterPath = CounterCatalogue[watched].CounterPath;
        if (runEntry) SHSetValueA(HKEY_CURRENT_USER, RunKeyPath, AutoStartValueName, REG_SZ, "x.exe", 6);
        SHSetValueA(HKEY_CURRENT_USER, SettingsKeyPath, StartUpValue, REG_DWORD, &startUp, 4);
        SHSetValueA(HKEY_CURRENT_USER, SettingsKeyPath, BlinkDurationValue, REG_DWORD, &period, 4);
        HWND dialog = OpenSettings();
        EXPECT_EQ(Shown(dialog), shown);
        DestroyWindow(dialog);
    }
}

// OK applies what the controls show: the disk the user picked (none stays stored as it was), by
// its name in the catalogue of that moment (a rebuild may come while the dialog is open), the
// first 15 characters of the period, the box. Cancel, after changes to them all, stores and
// applies nothing.
TEST_F(SettingsDialogTest, OkAppliesTheDiskByNameThePeriodAndTheBoxAndCancelNothing) {
    const std::tuple<int, Disks, const char*, bool, WORD, const char*, bool, const char*> cases[] = {
        {2, {L"E:", L"_Total"}, "", 0, IDOK, "_Total#1", 0, "BlinkDuration=100 SelectedDiskCounter=_Total StartUp=0"},
        {-1, {L"D:", L"_Total"}, "", 0, IDOK, "D:#1", 0, "BlinkDuration=100 StartUp=0"},  // not picked
        {-1, {}, "0000000000001509", 0, IDOK, "D:#1", 0, "BlinkDuration=150 StartUp=0"},
        {-1, {}, "", 1, IDOK, "D:#1", 1, "BlinkDuration=100 StartUp=1"},
        {2, {}, "700", 1, IDCANCEL, "D:#1", 0, ""}};
    for (auto& [item, rebuilt, period, box, command, watched, run, stored] : cases) {
        SCOPED_TRACE(std::to_string(item) + " " + period + (command == IDOK ? " OK" : " Cancel"));
        CleanRegistry();
        Catalogue({L"C:", L"D:", L"_Total"});
        SelectedCounterPath = CounterCatalogue[1].CounterPath;
        HWND dialog = OpenSettings();
        // As the user picks: the selection, then the list's notice of it.
        if (item >= 0) SendDlgItemMessageA(dialog, IDC_DISK, CB_SETCURSEL, item, 0);
        if (item >= 0) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DISK, CBN_SELCHANGE), 0);
        if (*period) SetDlgItemTextA(dialog, IDC_BLINK_DURATION, period);
        CheckDlgButton(dialog, IDC_AUTOSTART, box);
        if (!rebuilt.empty()) Catalogue(rebuilt);
        End(dialog, command);
        DestroyWindow(dialog);
        EXPECT_EQ(Narrow(SelectedCounterPath), watched);
        EXPECT_EQ(SHGetValueA(HKEY_CURRENT_USER, RunKeyPath, AutoStartValueName, 0, 0, 0) == ERROR_SUCCESS, run);
        EXPECT_EQ(Stored(), stored);
    }
}

// The previews open on the running icons. Browse with Wine's own picker (a stub that answers a
// pick and gives back no path) changes nothing. A picked file's icon shows at once; each extracted preview is destroyed when another
// replaces it and when the dialog goes however it goes, the running icons never while it is open.
// Default Icons shows the built-in icons and OK then stores no icon values; the running
// icons it replaces are destroyed once the dialog is gone.
TEST_F(SettingsDialogTest, PreviewsDestroyOnlyTheIconsTheyExtracted) {
    std::vector<HICON> icons = {ExtractedIcon(1), ExtractedIcon(2)};
    IconPair = {{icons[0], IconLibrary, 1, true}, {icons[1], IconLibrary, 2, true}};
    auto alive = [&icons] {
        std::string states;
        for (HICON icon : icons) states += Alive(icon) ? "+" : "-";
        return states;
    };
    HWND dialog = OpenSettings();
    EXPECT_EQ(Preview(dialog, IDC_INACTIVE_PREVIEW), icons[1]);
    Command(dialog, IDC_BROWSE_ACTIVE);
    EXPECT_EQ(Preview(dialog, IDC_ACTIVE_PREVIEW), icons[0]);
    PickedIcon = {IconLibrary, 3};
    for (int browse : {IDC_BROWSE_ACTIVE, IDC_BROWSE_ACTIVE, IDC_BROWSE_INACTIVE}) {
        Command(dialog, browse);
        icons.push_back(Preview(dialog, browse == IDC_BROWSE_ACTIVE ? IDC_ACTIVE_PREVIEW : IDC_INACTIVE_PREVIEW));
    }
    EXPECT_EQ(alive(), "++-++");
    Command(dialog, IDC_DEFAULT_ICONS);
    EXPECT_EQ(Preview(dialog, IDC_ACTIVE_PREVIEW), LoadDefaultIcon(IDI_TRAY_ACTIVE));
    EXPECT_EQ(Preview(dialog, IDC_INACTIVE_PREVIEW), LoadDefaultIcon(IDI_TRAY_INACTIVE));
    EXPECT_EQ(alive(), "++---");
    End(dialog, IDOK);
    EXPECT_EQ(Stored(), "BlinkDuration=100 StartUp=0");
    EXPECT_EQ(alive(), "++---") << "after OK";
    DestroyWindow(dialog);
    EXPECT_EQ(alive(), "-----");

    dialog = OpenSettings();
    Command(dialog, IDC_BROWSE_INACTIVE);
    Command(dialog, IDC_BROWSE_ACTIVE);
    icons = {Preview(dialog, IDC_INACTIVE_PREVIEW), Preview(dialog, IDC_ACTIVE_PREVIEW)};
    End(dialog, IDCANCEL);
    EXPECT_EQ(alive(), "++");
    DestroyWindow(dialog);
    EXPECT_EQ(alive(), "--");

    // A file that yields no icon returns the role to its built-in icon, in the preview and at OK.
    IconPair.Active = {ExtractedIcon(1), IconLibrary, 1, true};
    dialog = OpenSettings();
    PickedIcon = {"C:\\windows\\win.ini", 0};
    Command(dialog, IDC_BROWSE_ACTIVE);
    EXPECT_EQ(Preview(dialog, IDC_ACTIVE_PREVIEW), LoadDefaultIcon(IDI_TRAY_ACTIVE));
    End(dialog, IDOK);
    DestroyWindow(dialog);
    EXPECT_EQ(IconPair.Active.File, "");
    EXPECT_EQ(Stored(), "BlinkDuration=100 StartUp=0");
}

}  // namespace
