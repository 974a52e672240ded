// The hidden main window's plumbing: one instance, registered messages, the message loop.
#include "tests/contract/Contract.h"

namespace {

TEST(WindowsContract, ASecondMutexOfTheSameNameSaysItExists) {
    SetLastError(0xDEADBEEF);
    HANDLE first = CreateMutexA(nullptr, FALSE, "LumenhopContract");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0x0u);
    HANDLE second = CreateMutexA(nullptr, FALSE, "LumenhopContract");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), 0xB7u);  // ERROR_ALREADY_EXISTS
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(first));
}

TEST(WindowsContract, ARegisteredMessageIsOneNumberInTheStringRange) {
    UINT first = RegisterWindowMessageA("TaskbarCreated");
    EXPECT_GE(first, 0xC000u);
    EXPECT_LE(first, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageA("TaskbarCreated"), first);
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(WindowsContract, PostedMessagesArriveInOrderAndQuitEndsTheLoop) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LumenhopContract";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "LumenhopContract", "LumenhopContract", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PostMessageA(window, WM_USER + 1, 1, 0));
    EXPECT_TRUE(PostMessageA(window, WM_USER + 2, 2, 0));
    MSG message;
    ASSERT_GT(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_GT(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_TRUE(DestroyWindow(window));
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) > 0) DispatchMessageA(&message);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
}

}  // namespace
