// WinMain and the hidden main window: one instance, the loop and its accelerators, and the routing
// of the shell's broadcast, the menu's commands, the tray icon's mouse events and the retry
// timer. The About and Disk Information dialogs.
#include "tests/windows/WindowTest.h"

#include <cstring>

namespace {

using MainWindowTest = WindowTest;

// "Settings owned": the dialog's caption, from its template, and whether the main window owns it.
std::string DescribeDialog(HWND dialog) {
    if (dialog == nullptr) return "no dialog";  // Wine's GetWindowTextA answers garbage for none
    char caption[32] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    return caption + std::string(GetWindow(dialog, GW_OWNER) == MainWindow ? " owned" : "");
}

// Alt as accelerators and key translation read it: this thread's keyboard state.
void PressAlt(bool down) {
    BYTE keys[256] = {};
    keys[VK_MENU] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// A record of the program's icon that changes nothing in it: NIM_MODIFY answers whether the shell
// holds the icon now, NIM_DELETE takes it away behind the program's back.
BOOL NotifyShell(DWORD message) {
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = MainWindow;
    return Shell_NotifyIconA(message, &record);
}

// The main window's own procedure, but the window shows itself as it is created, as a hook or a
// start-up option could make it.
LRESULT CALLBACK ShownAtCreation(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) ShowWindow(window, SW_SHOWNA);
    return MainWindowProc(window, message, wParam, lParam);
}

// Whatever the show command, the window stays hidden while its icon shows and the sampler runs.
// Alt+? and Alt+/ open About through the accelerators, the second pressed as a key, which only
// the loop's translation makes a character. Exit and the close box end the loop with 0: the
// shell took the icon's delete and the sampler is stopped. The shell's broadcast is let through
// the window's message filter, else the process's, else (before Vista) nowhere. From WinMain on,
// a DLL loaded by its name comes from the system directory alone: a copy of the system's pdh.dll
// beside this program is no longer found.
TEST_F(MainWindowTest, WinMainRunsHiddenWithItsIconAndAcceleratorsUntilExitOrClose) {
    char system[MAX_PATH] = {};
    char beside[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    GetModuleFileNameA(nullptr, beside, MAX_PATH);
    lstrcpyA(std::strrchr(beside, '\\') + 1, "PlantedBeside.dll");
    ASSERT_TRUE(CopyFileA((std::string(system) + "\\pdh.dll").c_str(), beside, FALSE));
    const char* ex = "ChangeWindowMessageFilterEx";
    for (auto [show, end, missing, filtered] : {std::tuple<int, UINT, std::set<std::string>, std::string>{
                                                    SW_SHOW, WM_COMMAND, {}, "main window TaskbarCreated 1"},
                                                {SW_SHOWMAXIMIZED, WM_CLOSE, {ex}, "process TaskbarCreated 1"},
                                                {SW_SHOWNORMAL, WM_CLOSE, {ex, "ChangeWindowMessageFilter"}, ""}}) {
        SCOPED_TRACE(show);
        MissingEntries = missing;
        Filtered.clear();
        std::string seen;
        auto about = [&seen] {
            seen += ", " + DescribeDialog(NewestDialog()) + (AboutDialogOpen ? " open" : "");
            SendMessageA(NewestDialog(), WM_COMMAND, IDCANCEL, 0);
        };
        Inside([&seen] {
            seen = IsWindowVisible(MainWindow) ? "shown" : "hidden";
            seen += std::string(NotifyShell(NIM_MODIFY) ? " in tray" : "") + (SamplerRecorded() ? " sampling" : "");
            PressAlt(true);
            PostMessageA(MainWindow, WM_SYSCHAR, '?', 0);
        });
        Inside(about);
        Inside([] { PostMessageA(MainWindow, WM_SYSKEYDOWN, VK_OEM_2, 0x20350001); });
        Inside(about);
        Inside([end = end] { PostMessageA(MainWindow, end, end == WM_COMMAND ? IDM_EXIT : 0, 0); });
        EXPECT_EQ(RunWinMain(show), 0);
        PressAlt(false);
        EXPECT_EQ(seen, "hidden in tray sampling, About Varrowin owned open, About Varrowin owned open");
        EXPECT_EQ(Filtered, filtered);
        EXPECT_FALSE(IsWindow(MainWindow));
        EXPECT_FALSE(NotifyShell(NIM_MODIFY)) << "the icon outlived the exit";
        EXPECT_FALSE(SamplerRecorded());
    }
    EXPECT_EQ(LoadLibraryA("PlantedBeside.dll"), nullptr);
    DeleteFileA(beside);
}

// Another instance holds the mutex: WinMain ends at once with 0, without a window.
TEST_F(MainWindowTest, ASecondInstanceEndsAtOnce) {
    HANDLE first = CreateMutexA(nullptr, FALSE, "Lumenhop");
    EXPECT_EQ(RunWinMain(SW_SHOW), 0);
    EXPECT_EQ(MainWindow, nullptr);
    CloseHandle(first);
}

// The main window as WinMain creates it, outside any loop, hidden even when something shows it as
// it is created. The shell's restart broadcast reruns the set-up, which adds the icon again;
// WM_NULL, which the menu posts, never does, not even while no broadcast is registered (0). Timer 1
// retries an add the shell refused; timer 2 rebuilds the catalogue and adds nothing. Only the right
// button's press on the icon shows the tray menu: About, Settings, a separator, Disk Information, a
// separator, Exit. Each command opens its dialog, owned by the main window, once: the same command
// while it is open opens no second one (which only the fixture would end, failing the test) but
// brings the open one in front of the window that covers it; the dialog's flag is 1 while it is
// open and 0 after. OK and Cancel (Enter, Esc and the close box come as these) end About and Disk
// Information.
TEST_F(MainWindowTest, RoutesTheBroadcastTheRetryTimerTheMouseAndTheCommands) {
    WNDCLASSA windowClass = {0, ShownAtCreation, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, MainWindowName};
    RegisterClassA(&windowClass);
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr)));
    EXPECT_FALSE(IsWindowVisible(MainWindow)) << "a window shown at its creation stays shown";
    const UINT broadcast = RegisterWindowMessageA("TaskbarCreated");
    // Each row starts with the icon taken away; a refused broadcast arms the retries for the rows
    // after it.
    const std::tuple<UINT, UINT, WPARAM, bool, bool> rows[] = {
        {0, WM_NULL, 0, false, false},          {broadcast, WM_NULL, 0, false, false},
        {broadcast, broadcast, 0, false, true}, {broadcast, broadcast, 0, true, false},
        {broadcast, WM_TIMER, 2, false, false}, {broadcast, WM_TIMER, TrayAddRetryTimer, false, true}};
    for (auto [registered, message, wParam, refused, added] : rows) {
        NotifyShell(NIM_DELETE);
        TaskbarCreatedMessage = registered;
        ShellRefuses = refused;
        EXPECT_EQ(SendMessageA(MainWindow, message, wParam, 0), 0) << message << " " << wParam;
        ShellRefuses = false;
        EXPECT_EQ(NotifyShell(NIM_MODIFY), added) << message << " " << wParam << (refused ? " refused" : "");
    }

    // The menus shown so far, after each event.
    std::string shown;
    for (LPARAM event : {WM_RBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE, WM_RBUTTONDOWN}) {
        EXPECT_EQ(SendMessageA(MainWindow, TrayCallbackMessage, 0, event), 0);
        shown += std::to_string(Menus.size());
    }
    EXPECT_EQ(shown, "00001");
    EXPECT_EQ(Menus, std::vector<std::string>{"120 121 0 32772 0 122 "});

    // Each dialog shows what it is for: About the emblem and no report, Disk Information no icon and
    // the report built at its opening, which its end empties.
    const auto emblem = reinterpret_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_EMBLEM_LARGE), IMAGE_ICON, 0, 0, LR_SHARED));
    const std::tuple<WORD, const char*, int*, WORD> dialogs[] = {
        {IDM_ABOUT, "About Varrowin", &AboutDialogOpen, IDOK},  // Cancel: the WinMain test
        {IDM_SETTINGS, "Settings", &SettingsDialogOpen, IDCANCEL},
        {IDM_DISKINFO, "Disk Information", &DiskInfoDialogOpen, IDOK},
        {IDM_DISKINFO, "Disk Information", &DiskInfoDialogOpen, IDCANCEL}};
    for (auto [command, caption, open, end] : dialogs) {
        SCOPED_TRACE(std::string(caption) + (end == IDOK ? " OK" : " Cancel"));
        std::string seen;
        HICON icon = nullptr;
        std::string report;
        Inside([&, command = command, open = open, end = end] {
            HWND shown = NewestDialog();
            seen = DescribeDialog(shown) + " flag " + std::to_string(*open);
            HWND cover = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                                         nullptr, nullptr);
            seen += SetForegroundWindow(cover) && GetForegroundWindow() == cover ? " covered" : "";
            SendMessageA(MainWindow, WM_COMMAND, command, 0);
            seen += GetForegroundWindow() == shown ? " in front" : " behind";
            DestroyWindow(cover);
            for (HWND control = GetWindow(shown, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
                if (HICON shows = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0))) icon = shows;
            report.resize(GetWindowTextLengthA(GetDlgItem(shown, IDC_REPORT)) + 1);
            report.resize(GetDlgItemTextA(shown, IDC_REPORT, report.data(), static_cast<int>(report.size())));
            EXPECT_EQ(report, DriveReport);
            SendMessageA(shown, WM_COMMAND, end, 0);
        });
        SendMessageA(MainWindow, WM_COMMAND, command, 0);
        EXPECT_EQ(seen, std::string(caption) + " owned flag 1 covered in front");
        EXPECT_EQ(*open, 0) << "the flag after the end";
        if (command != IDM_SETTINGS) {
            EXPECT_EQ(icon, command == IDM_ABOUT ? emblem : nullptr) << "the emblem";
        }
        EXPECT_EQ(report.empty(), command != IDM_DISKINFO);
        EXPECT_EQ(DriveReport, "");
    }

    // Volume broadcasts arm the short timer whose tick rebuilds the catalogue once they settle;
    // other device broadcasts arm nothing. No broadcast's request is refused.
    DEV_BROADCAST_VOLUME volume = {sizeof volume, DBT_DEVTYP_VOLUME, 0, 1u << 16, 0};
    DEV_BROADCAST_HDR port = {sizeof port, DBT_DEVTYP_PORT, 0};
    EXPECT_EQ(SendMessageA(MainWindow, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port)), TRUE);
    EXPECT_FALSE(KillTimer(MainWindow, DiskChangeTimer)) << "a port's arrival armed the rebuild";
    auto sentinel = [] {
        return CounterCatalogue.size() == 1 && CounterCatalogue[0].DisplayName == L"sentinel";
    };
    CounterCatalogue = {{0, L"sentinel", L"sentinel"}};
    for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE})
        EXPECT_EQ(SendMessageA(MainWindow, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume)), TRUE);
    EXPECT_TRUE(sentinel()) << "rebuilt before the broadcasts settled";
    EXPECT_EQ(SendMessageA(MainWindow, WM_TIMER, DiskChangeTimer, 0), 0);
    EXPECT_FALSE(sentinel()) << "the tick did not rebuild";
    EXPECT_FALSE(KillTimer(MainWindow, DiskChangeTimer)) << "the tick left its timer running";
}

}  // namespace
