#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "driveinfo/DiskInfoDialog.h"
#include "monitor/ActivitySampler.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "tests/unit/Machine.h"
#include "tray/TrayPresenter.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class MainWindowTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        MainWindow = nullptr;
        AppInstance = nullptr;
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:", u"_Total"});
        substitute::SetCursorPosition(900, 700);
        substitute::SetAcceleratorTable(IDR_ACCELERATORS, {{WM_SYSCHAR, '?', IDM_ABOUT}});
    }

    static int RunProgram(int show = SW_SHOW) {
        char commandLine[] = "";
        return WinMain(substitute::ModuleInstance(), nullptr, commandLine, show);
    }

    // The main window as the program creates it, with the first set-up done, outside WinMain.
    static HWND CreateWindowOnly() {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = MainWindowProc;
        windowClass.lpszClassName = MainWindowName;
        RegisterClassExA(&windowClass);
        EXPECT_TRUE(CreateMainWindow(substitute::ModuleInstance()));
        return MainWindow;
    }

    static void UserPosts(UINT message, WPARAM wParam, LPARAM lParam = 0) {
        substitute::QueueUserAction([=] { PostMessageA(MainWindow, message, wParam, lParam); });
    }
    static void UserChooses(UINT command) {
        substitute::QueueUserAction([=] {
            substitute::ScriptMenuChoice(command);
            PostMessageA(MainWindow, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
        });
    }
    static size_t Adds() {
        size_t adds = 0;
        for (auto& call : substitute::NotifyLog()) adds += call.message == NIM_ADD;
        return adds;
    }
    static void ExpectEndedCleanly() {
        EXPECT_FALSE(IsWindow(MainWindow));
        EXPECT_FALSE(substitute::TrayIcon().has_value());
        EXPECT_EQ(substitute::NotifyLog().back().message, static_cast<DWORD>(NIM_DELETE));
        EXPECT_FALSE(SamplerRecorded());
        EXPECT_TRUE(substitute::JoinThreads());
    }
};

// --- Start-up and the end of the program ---

// Whatever the show command says, the window is never shown.
TEST_F(MainWindowTest, StartsHiddenWithTheInactiveIconAndExitEndsWithZero) {
    UserChooses(IDM_EXIT);
    EXPECT_EQ(RunProgram(SW_SHOW), 0);

    substitute::WindowState created{.className = "Lumenhop", .text = "Lumenhop", .style = WS_OVERLAPPEDWINDOW,
                                    .x = CW_USEDEFAULT, .width = CW_USEDEFAULT,
                                    .instance = substitute::ModuleInstance(), .shows = {SW_HIDE}, .destroyed = true};
    EXPECT_TRUE(substitute::DescribeWindow(MainWindow) == created);
    auto windowClass = substitute::RegisteredClass("Lumenhop");
    ASSERT_TRUE(windowClass);
    EXPECT_EQ(windowClass->style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(Describe(windowClass->hIcon) + ", " + Describe(windowClass->hIconSm), "shared 110, shared 111");
    EXPECT_EQ(windowClass->hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(windowClass->hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));

    auto first = substitute::NotifyLog().front();
    EXPECT_EQ(first.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(first.record.hWnd, MainWindow);
    EXPECT_EQ(Describe(first.record.hIcon), "shared 114");
    EXPECT_EQ(substitute::ThreadsStarted(), 1u);
    ExpectEndedCleanly();
}

// Another instance holds the mutex, or one in another user's context: no icon or thread. Any other
// failure of the mutex lets the start go on. A window that cannot be created ends it before any
// set-up. The exit code is 0 on every path.
TEST_F(MainWindowTest, RefusedStartsEndAtOnceWithZero) {
    for (int how : {0, 1, 2, 3}) {
        SCOPED_TRACE(how);
        substitute::Reset();
        ResetProgramState();
        if (how < 2) substitute::AddForeignMutex("Lumenhop", how == 1);
        if (how == 2) substitute::FailNext("CreateMutexA", ERROR_INVALID_PARAMETER);
        if (how == 2) UserChooses(IDM_EXIT);
        if (how == 3) substitute::FailNext("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(Adds(), how == 2 ? 1u : 0u);
        EXPECT_EQ(substitute::ThreadsStarted(), how == 2 ? 1u : 0u);
        EXPECT_EQ(substitute::RegisteredClass("Lumenhop").has_value(), how >= 2);
        EXPECT_THAT(substitute::Problems(), IsEmpty());
    }
}

// --- The shell's restart broadcast ---

// The rerun starts again from the store of that moment: an icon file no longer stored is dropped.
TEST_F(MainWindowTest, TaskbarCreatedRerunsTheWholeSetUp) {
    substitute::AddIconFile("C:\\disk.ico", 1);
    Store(InactiveIconFileValue, REG_SZ, substitute::TextBytes("C:\\disk.ico"));
    substitute::QueueUserAction([] {
        EXPECT_EQ(Describe(substitute::TrayIcon()->icon), "C:\\disk.ico#0");
        substitute::RemoveRegistryValue(SettingsKeyPath, InactiveIconFileValue);
        substitute::RestartShell();
        PostMessageA(MainWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    });
    substitute::QueueUserAction([] {
        EXPECT_EQ(Adds(), 2u);
        ASSERT_TRUE(substitute::TrayIcon());
        EXPECT_EQ(Describe(substitute::TrayIcon()->icon) + " " + IconPair.Inactive.File, "shared 114 ");
        EXPECT_EQ(substitute::ThreadsStarted(), 2u);
    });
    UserChooses(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    ExpectEndedCleanly();
}

// The first set-up runs inside the window's creation, before the restart message is registered,
// so WM_NULL (0) is never taken for it. Only the right button's press opens the menu, at the
// pointer, with the main window in the foreground; a WM_NULL posted after it lets a dismissed menu
// close at once. A menu that cannot be loaded shows nothing (the fixture fails on a loaded menu
// not destroyed), and other commands do nothing.
TEST_F(MainWindowTest, WindowProcedureRoutesNullMouseAndOtherCommands) {
    HWND window = CreateWindowOnly();
    ASSERT_EQ(TaskbarCreatedMessage, 0u);
    MainWindowProc(window, WM_NULL, 0, 0);
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    MainWindowProc(window, WM_NULL, 0, 0);
    EXPECT_EQ(Adds(), 1u);
    EXPECT_EQ(MainWindowProc(window, TaskbarCreatedMessage, 0, 0), 0);
    EXPECT_EQ(Adds(), 2u);

    for (const char* function : {"LoadMenuA", "GetSubMenu"}) {
        substitute::FailNext(function, ERROR_RESOURCE_NAME_NOT_FOUND);
        MainWindowProc(window, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
    }
    for (LPARAM other : {WM_RBUTTONUP, WM_LBUTTONDOWN})
        EXPECT_EQ(MainWindowProc(window, TrayCallbackMessage, 0, other), 0);
    EXPECT_TRUE(substitute::MenuLog().empty() && substitute::PostedMessages().empty());
    EXPECT_EQ(MainWindowProc(window, TrayCallbackMessage, 0, WM_RBUTTONDOWN), 0);
    auto menus = substitute::MenuLog();
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_TRUE(menus[0].x == 900 && menus[0].y == 700 && menus[0].flags == 0 && menus[0].owner == window);
    EXPECT_TRUE(menus[0].ownerInForeground);
    auto posted = substitute::PostedMessages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_TRUE(posted[0].hwnd == window && posted[0].message == WM_NULL && posted[0].wParam == 0 &&
                posted[0].lParam == 0);

    for (WPARAM command : {WPARAM{0}, WPARAM{IDOK}, WPARAM{119}})
        EXPECT_EQ(MainWindowProc(window, WM_COMMAND, command, 0), 0);
    EXPECT_TRUE(substitute::DialogLog().empty() && IsWindow(window));
    DestroyWindow(window);
}

// --- Command routing ---

// From the menu or, with 1 in the high word, as an accelerator, each command opens its dialog
// owned by the main window; while the dialog is open its own command does nothing.
TEST_F(MainWindowTest, CommandsOpenTheirDialogOwnedByTheMainWindowOnlyOnce) {
    const std::tuple<WORD, WORD, DLGPROC, int*> routes[] = {
        {IDM_ABOUT, IDD_ABOUT, AboutDialogProc, &AboutDialogOpen},
        {IDM_SETTINGS, IDD_SETTINGS, SettingsDialogProc, &SettingsDialogOpen},
        {IDM_DISKINFO, IDD_DISKINFO, DiskInfoDialogProc, &DiskInfoDialogOpen}};
    for (auto [command, templateId, procedure, open] : routes) {
        SCOPED_TRACE(command);
        substitute::Reset();
        ResetProgramState();
        UserChooses(command);
        substitute::QueueDialogAction([command = command](HWND) {
            substitute::ScriptMenuChoice(command);
            PostMessageA(MainWindow, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
        });
        substitute::QueueDialogAction([open = open](HWND dialog) {
            EXPECT_EQ(substitute::OpenDialogs().size(), 1u);
            EXPECT_EQ(*open, 1);
            SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        UserPosts(WM_COMMAND, MAKEWPARAM(command, 1));
        substitute::QueueDialogAction([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
        UserChooses(IDM_EXIT);
        EXPECT_EQ(RunProgram(), 0);
        substitute::DialogCall call{substitute::ModuleInstance(), templateId, MainWindow, procedure, 0};
        EXPECT_THAT(substitute::DialogLog(), ElementsAre(call, call));
        EXPECT_EQ(*open, 0);
        EXPECT_THAT(substitute::Problems(), IsEmpty());
    }
}

// Keys go through the program's accelerator table before they are dispatched; other dialogs and
// Exit still act while a dialog is open.
TEST_F(MainWindowTest, AcceleratorOpensAboutAndOtherDialogsAndExitActWhileItIsOpen) {
    UserPosts(WM_CHAR, '?');  // not in the table
    UserPosts(WM_SYSCHAR, '?');
    substitute::QueueDialogAction([](HWND) { SendMessageA(MainWindow, WM_COMMAND, IDM_DISKINFO, 0); });
    substitute::QueueDialogAction([](HWND) {
        EXPECT_EQ(substitute::OpenDialogs().size(), 2u);
        substitute::ScriptMenuChoice(IDM_EXIT);
        PostMessageA(MainWindow, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
    });
    EXPECT_EQ(RunProgram(), 0);
    auto calls = substitute::DialogLog();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].templateId * 1000 + calls[1].templateId, IDD_ABOUT * 1000 + IDD_DISKINFO);
    EXPECT_THAT(substitute::OpenDialogs(), IsEmpty());
    ExpectEndedCleanly();
}

}  // namespace
