// Starts Wine's desktop process held just before it creates the notification area, and lets it
// go on once a file appears, so that a program started meanwhile finds no notification area, as
// at a logon where the shell comes late. Built twice: as TrayGate.exe and, with
// TRAY_GATE_HOOK, as TrayGate.dll, the hook that holds the desktop process.
//
//   TrayGate.exe OPEN-FILE    prints "held" once the desktop process waits, "open" once it has
//                             seen the file and goes on
//
// Wine's desktop process creates its "WineAppBar" window right before the notification area;
// the hook waits there, answering sent messages meanwhile, since every new GUI program sends the
// desktop window one before it starts.
#include <windows.h>

#include <cstdio>

#ifdef TRAY_GATE_HOOK

extern "C" __declspec(dllexport) LRESULT CALLBACK HoldDesktop(int code, WPARAM wParam, LPARAM lParam) {
    static bool held = false;
    char className[32] = {};
    if (code == HCBT_CREATEWND && !held && GetClassNameA(reinterpret_cast<HWND>(wParam), className, 32) &&
        lstrcmpiA(className, "WineAppBar") == 0) {
        held = true;
        char openFile[MAX_PATH] = {};
        GetEnvironmentVariableA("TRAY_GATE_OPEN", openFile, MAX_PATH);
        HANDLE state = OpenEventA(EVENT_MODIFY_STATE, FALSE, "TrayGateHeld");
        SetEvent(state);
        CloseHandle(state);
        // Four minutes at most, whatever happens to the test.
        for (DWORD start = GetTickCount();
             GetFileAttributesA(openFile) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 240000;) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_SENDMESSAGE);
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        state = OpenEventA(EVENT_MODIFY_STATE, FALSE, "TrayGateOpen");
        SetEvent(state);
        CloseHandle(state);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

#else

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    // The hook reads the file's name from the environment the desktop process inherits.
    SetEnvironmentVariableA("TRAY_GATE_OPEN", argv[1]);
    char hookFile[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, hookFile, MAX_PATH);
    if (length < 4 || length >= MAX_PATH) return 1;
    lstrcpyA(hookFile + length - 4, ".dll");
    HMODULE hooks = LoadLibraryA(hookFile);
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(hooks, "HoldDesktop@12")));
    if (hook == nullptr) return 1;

    HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, "TrayGateHeld");
    HANDLE open = CreateEventA(nullptr, TRUE, FALSE, "TrayGateOpen");
    char command[] = "C:\\windows\\system32\\explorer.exe /desktop";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION desktop = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &desktop))
        return 1;
    HHOOK installed = SetWindowsHookExA(WH_CBT, hook, hooks, desktop.dwThreadId);
    ResumeThread(desktop.hThread);
    if (installed == nullptr || WaitForSingleObject(waiting, 30000) != WAIT_OBJECT_0) return 1;
    std::puts("held");
    std::fflush(stdout);
    // The hook must see the file before it goes away with this thread.
    if (WaitForSingleObject(open, 250000) != WAIT_OBJECT_0) return 1;
    UnhookWindowsHookEx(installed);
    std::puts("open");
    return 0;
}

#endif
