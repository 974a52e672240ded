// The program's entry point: one instance, the hidden main window and the message loop.
#include "app/MainWindow.h"
#include "platform/SystemLibraries.h"

#include "res/resource.h"

namespace {

// Registers the class of the hidden main window.
void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_EMBLEM));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = MainWindowName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_EMBLEM_SMALL));
    RegisterClassExA(&windowClass);
}

}  // namespace

#ifdef _WIN32
static_assert(sizeof(WNDCLASSEXA) == 48, "the 32-bit window class record");
#endif

// Takes the single-instance mutex, creates the main window and runs the message loop until the
// window is destroyed. Reads no command line and never shows the window, whatever the show
// command says. The exit code is 0 on every path.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    KeepLibrarySearchInSystem();
    // The handle is held, never closed, for the life of the process.
    CreateMutexA(nullptr, FALSE, MainWindowName);
    DWORD error = GetLastError();
    // Already running, or running in another user's context of this logon. The running one puts
    // its icon up again as after a shell restart, so a user who lost the icon gets it back by
    // starting the program again; the wait is bounded, should that one hang.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        if (HWND running = FindWindowA(MainWindowName, MainWindowName))
            SendMessageTimeoutA(running, RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                                nullptr);
        return 0;
    }

    RegisterMainWindowClass(instance);
    if (!CreateMainWindow(instance)) return 0;
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    AllowMessageFromBelow(MainWindow, TaskbarCreatedMessage);
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

    MSG message = {};
    BOOL got;
    // GetMessageA answers -1 on an error; looping on it would spin for ever.
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}
