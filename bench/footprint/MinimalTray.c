/* The smallest tray program that does Lumenhop's main job, for comparing footprints: a hidden
 * window, one notification icon, and a thread that samples the same disk counter every 100 ms
 * through the same pdh.dll and changes the icon when the disk turns busy or idle. Ends when its
 * window is closed. */
#include <windows.h>
#include <shellapi.h>
#include <pdh.h>

#define ACTIVE_ICON 1
#define INACTIVE_ICON 2

static NOTIFYICONDATAA tray;
static HICON icons[2];
static volatile LONG running = 1;

static DWORD WINAPI Sample(LPVOID unused) {
    PDH_HQUERY query;
    PDH_HCOUNTER counter;
    PDH_FMT_COUNTERVALUE value;
    int active = 0;
    (void)unused;
    if (PdhOpenQueryA(NULL, 0, &query) != ERROR_SUCCESS) return 0;
    if (PdhAddCounterW(query, L"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer", 0, &counter) == ERROR_SUCCESS &&
        PdhCollectQueryData(query) == ERROR_SUCCESS) {
        while (running) {
            if (PdhCollectQueryData(query) == ERROR_SUCCESS &&
                PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, NULL, &value) == ERROR_SUCCESS &&
                (value.longValue > 100) != active) {
                active = !active;
                tray.hIcon = icons[active];
                Shell_NotifyIconA(NIM_MODIFY, &tray);
            }
            Sleep(100);
        }
    }
    PdhCloseQuery(query);
    return 0;
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        Shell_NotifyIconA(NIM_DELETE, &tray);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    WNDCLASSA windowClass = {0};
    MSG message;
    HANDLE thread;
    (void)previous, (void)commandLine, (void)show;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "MinimalTray";
    RegisterClassA(&windowClass);
    tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tray.hWnd =
        CreateWindowA("MinimalTray", "MinimalTray", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, NULL, NULL, instance, NULL);
    icons[0] = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(INACTIVE_ICON), IMAGE_ICON, 16, 16, LR_SHARED);
    icons[1] = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(ACTIVE_ICON), IMAGE_ICON, 16, 16, LR_SHARED);
    tray.uFlags = NIF_ICON | NIF_TIP;
    tray.hIcon = icons[0];
    lstrcpyA(tray.szTip, "MinimalTray");
    Shell_NotifyIconA(NIM_ADD, &tray);
    thread = CreateThread(NULL, 0, Sample, NULL, 0, NULL);
    while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);
    running = 0;
    WaitForSingleObject(thread, 1000);
    CloseHandle(thread);
    return 0;
}
