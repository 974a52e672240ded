// The notification-area icon: added once, modified while shown, deleted once.
#include "tests/contract/Contract.h"

#include <cstring>

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(ShellContract, AnIconIsAddedOnceModifiedWhileShownAndDeletedOnce) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LumenhopShellContract";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "LumenhopShellContract", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);

    NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = 88;  // the first-version record
    record.hWnd = window;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_USER + 9;
    record.hIcon = ExtractIconA(GetModuleHandleA(nullptr), "C:\\windows\\system32\\shell32.dll", 0);
    std::strcpy(record.szTip, "LogicalDisk(_Total)");

    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &record));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &record));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &record));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &record));
    EXPECT_TRUE(DestroyIcon(record.hIcon));
    EXPECT_TRUE(DestroyWindow(window));
}

}  // namespace
