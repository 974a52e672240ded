#include "tests/windows/WindowTest.h"

// The import slots through which this program, the program's code in it included, calls these:
// the mutex WinMain holds for the life of its process is released after each run, and the icon
// picker, the message filters and the shell's answers can be scripted.
extern "C" HANDLE(WINAPI* ImportedCreateMutexA)(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) __asm__("__imp__CreateMutexA@12");
extern "C" FARPROC(WINAPI* ImportedGetProcAddress)(HMODULE, LPCSTR) __asm__("__imp__GetProcAddress@8");
extern "C" BOOL(WINAPI* ImportedShell_NotifyIconA)(DWORD, PNOTIFYICONDATAA) __asm__("__imp__Shell_NotifyIconA@8");

std::vector<std::string> Menus;
std::pair<std::string, int> PickedIcon;
std::set<std::string> MissingEntries;
std::string Filtered;
std::atomic<bool> ShellRefuses;

namespace {

std::vector<std::function<void()>> Steps;
bool Forced = false;
UINT_PTR Timer = 0;

decltype(ImportedCreateMutexA) RealCreateMutexA = nullptr;
decltype(ImportedGetProcAddress) RealGetProcAddress = nullptr;
decltype(ImportedShell_NotifyIconA) RealShell_NotifyIconA = nullptr;
HANDLE ProgramMutex = nullptr;

HANDLE WINAPI RecordMutex(LPSECURITY_ATTRIBUTES attributes, BOOL owned, LPCSTR name) {
    return ProgramMutex = RealCreateMutexA(attributes, owned, name);
}

BOOL WINAPI RefusingOrReal(DWORD message, PNOTIFYICONDATAA record) {
    return !ShellRefuses && RealShell_NotifyIconA(message, record);
}

int WINAPI ScriptedPicker(HWND, LPWSTR path, UINT capacity, int* index) {
    MultiByteToWideChar(CP_ACP, 0, PickedIcon.first.c_str(), -1, path, static_cast<int>(capacity));
    *index = PickedIcon.second;
    return TRUE;
}

// "TaskbarCreated 1": the message a filter was asked to change, and the action.
std::string Asked(UINT message, DWORD action) {
    return (message == RegisterWindowMessageA("TaskbarCreated") ? "TaskbarCreated " : "other ") +
           std::to_string(action);
}

BOOL WINAPI FilterForWindow(HWND window, UINT message, DWORD action, void* status) {
    Filtered +=
        (window == MainWindow ? "main window " : "other window ") + Asked(message, action) + (status ? " status" : "");
    return TRUE;
}

BOOL WINAPI FilterForProcess(UINT message, DWORD action) {
    Filtered += "process " + Asked(message, action);
    return TRUE;
}

FARPROC WINAPI ScriptedOrReal(HMODULE module, LPCSTR name) {
    auto entry = [](auto function) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
    };
    if (!PickedIcon.first.empty() && name == MAKEINTRESOURCEA(62)) return entry(ScriptedPicker);
    if (IS_INTRESOURCE(name)) return RealGetProcAddress(module, name);
    if (MissingEntries.count(name)) return nullptr;
    if (std::string_view(name) == "ChangeWindowMessageFilterEx") return entry(FilterForWindow);
    if (std::string_view(name) == "ChangeWindowMessageFilter") return entry(FilterForProcess);
    return RealGetProcAddress(module, name);
}

template <typename Function>
bool Redirect(Function& slot, Function replacement, Function& real) {
    DWORD protection = 0;
    if (!VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &protection)) return false;
    real = std::exchange(slot, replacement);
    return VirtualProtect(&slot, sizeof slot, protection, &protection);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu != nullptr && IsWindowVisible(menu)) {
        auto items = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
        Menus.emplace_back();
        for (int i = 0; i < GetMenuItemCount(items); ++i) Menus.back() += std::to_string(GetMenuItemID(items, i)) + " ";
        EndMenu();
    } else if (!Steps.empty()) {
        std::function<void()> step = std::move(Steps.front());
        Steps.erase(Steps.begin());
        step();
    } else {
        // Nothing more was to happen, yet a loop runs: a fault left a dialog open or the program's
        // loop running. Ended here, so that no test waits for ever.
        Forced = true;
        if (!DestroyWindow(NewestDialog())) PostQuitMessage(0);
    }
}

}  // namespace

void Inside(std::function<void()> step) {
    Steps.push_back(std::move(step));
}

HWND NewestDialog() {
    // Top-level windows come newest first; other processes (the shell's) may have dialogs too.
    for (HWND dialog = nullptr; (dialog = FindWindowExA(nullptr, dialog, "#32770", nullptr)) != nullptr;)
        if (GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId()) return dialog;
    return nullptr;
}

int RunWinMain(int show) {
    ProgramMutex = nullptr;
    char commandLine[] = "";
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, show);
    if (ProgramMutex != nullptr) CloseHandle(ProgramMutex);
    return code;
}

void CleanRegistry() {
    SHDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath);
    // Set first, so that the Run key exists: the program never creates it, and a fresh prefix may lack it.
    SHSetValueA(HKEY_CURRENT_USER, RunKeyPath, AutoStartValueName, REG_SZ, "", 1);
    SHDeleteValueA(HKEY_CURRENT_USER, RunKeyPath, AutoStartValueName);
}

void WindowTest::SetUp() {
    static const bool redirected = Redirect(ImportedCreateMutexA, RecordMutex, RealCreateMutexA) &&
                                   Redirect(ImportedGetProcAddress, ScriptedOrReal, RealGetProcAddress) &&
                                   Redirect(ImportedShell_NotifyIconA, RefusingOrReal, RealShell_NotifyIconA);
    ASSERT_TRUE(redirected);
    AboutDialogOpen = SettingsDialogOpen = DiskInfoDialogOpen = 0;
    TaskbarCreatedMessage = 0;
    AppInstance = GetModuleHandleA(nullptr);
    MainWindow = nullptr;
    InitTrayRecord(nullptr);  // no icon shown, replaced or retried
    TrayRecord = {};
    IconPair = {{nullptr, {}, 0, false}, {nullptr, {}, 0, false}};
    ShellRefuses = false;
    CounterCatalogue.clear();
    SelectedCounterPath.clear();
    ClearDriveReport();
    CleanRegistry();
    Steps.clear();
    Menus.clear();
    Forced = false;
    PickedIcon = {};
    MissingEntries.clear();
    Filtered.clear();
    Timer = SetTimer(nullptr, 0, 10, Tick);
}

void WindowTest::TearDown() {
    while (DestroyWindow(NewestDialog())) {
    }
    if (IsWindow(MainWindow)) DestroyWindow(MainWindow);
    StopSampler();
    KillTimer(nullptr, Timer);
    UnregisterClassA(MainWindowName, GetModuleHandleA(nullptr));
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
    }
    EXPECT_FALSE(Forced) << "the test had to end a dialog or a message loop that did not end by itself";
}
