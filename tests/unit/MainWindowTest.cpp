#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "tray/TrayPresenter.h"
#include "driveinfo/DiskInfoDialog.h"
#include "monitor/ActivitySampler.h"
#include "res/resource.h"
#include "settings/SettingsDialog.h"
#include "tests/unit/Machine.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr const char* SettingsKey = "SOFTWARE\\Orvane\\Lumenhop";

class MainWindowTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        MainWindow = nullptr;
        AppInstance = nullptr;
        substitute::SeedDiskObjects({u"C:", u"_Total"}, {u"0 C:", u"_Total"});
        substitute::SetCursorPosition(900, 700);
    }

    static int RunProgram(int show = SW_SHOWDEFAULT) {
        char commandLine[] = "";
        return WinMain(substitute::ModuleInstance(), nullptr, commandLine, show);
    }

    // The main window as the program creates it, with the first set-up done, outside WinMain.
    static HWND CreateWindowOnly() {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = MainWindowProc;
        windowClass.hInstance = substitute::ModuleInstance();
        windowClass.lpszClassName = MainWindowName;
        RegisterClassExA(&windowClass);
        EXPECT_TRUE(CreateMainWindow(substitute::ModuleInstance()));
        return MainWindow;
    }

    static void UserPostsToMainWindow(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        substitute::QueueUserAction([=] { PostMessageA(MainWindow, message, wParam, lParam); });
    }
    static void UserRightClicksIcon() { UserPostsToMainWindow(TrayCallbackMessage, 0, WM_RBUTTONDOWN); }
    static void UserChoosesFromMenu(UINT command) {
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
    static std::vector<WORD> DialogsOpened() {
        std::vector<WORD> opened;
        for (auto& call : substitute::DialogLog()) opened.push_back(call.templateId);
        return opened;
    }
    static bool DefaultGot(UINT message) {
        for (auto& processed : substitute::DefaultProcessed())
            if (processed.message == message) return true;
        return false;
    }
    static void ExpectEndedCleanly() {
        EXPECT_FALSE(substitute::TrayIcon().has_value());
        EXPECT_EQ(substitute::NotifyLog().back().message, static_cast<DWORD>(NIM_DELETE));
        EXPECT_FALSE(SamplerRecorded());
        EXPECT_TRUE(substitute::JoinThreads());
        EXPECT_EQ(substitute::ThreadsRunning(), 0u);
    }
};

// --- Start-up and the end of the program ---

class ShowCommandTest : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShowCommandTest, StartsHiddenWithInactiveIconAndExitEndsWithZero) {
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(GetParam()), 0);

    EXPECT_THAT(substitute::MutexLog(), ElementsAre("Lumenhop"));
    auto window = substitute::DescribeWindow(MainWindow);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->everVisible);
    EXPECT_EQ(window->className, "Lumenhop");
    EXPECT_EQ(window->text, "Lumenhop");
    EXPECT_EQ(window->style, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(window->exStyle, 0u);
    EXPECT_EQ(window->x, CW_USEDEFAULT);
    EXPECT_EQ(window->y, 0);
    EXPECT_EQ(window->width, CW_USEDEFAULT);
    EXPECT_EQ(window->height, 0);
    EXPECT_EQ(window->parent, nullptr);
    EXPECT_EQ(window->menu, nullptr);
    EXPECT_EQ(window->instance, substitute::ModuleInstance());
    EXPECT_TRUE(window->destroyed);
    EXPECT_THAT(substitute::ShowWindowLog(), ElementsAre(std::make_pair(MainWindow, SW_HIDE)));

    auto calls = substitute::NotifyLog();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls.front().record.hWnd, MainWindow);
    EXPECT_EQ(calls.front().record.hIcon, substitute::SharedIcon(IDI_TRAY_INACTIVE));
    EXPECT_EQ(substitute::ThreadsStarted(), 1u);
    ExpectEndedCleanly();
}

INSTANTIATE_TEST_SUITE_P(EveryShowCommand, ShowCommandTest,
                         ::testing::Values(SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED,
                                           SW_SHOW, SW_RESTORE, SW_SHOWDEFAULT));

TEST_F(MainWindowTest, RegistersTheWindowClassWithTheEmblemAndTheArrow) {
    UserChoosesFromMenu(IDM_EXIT);
    RunProgram();
    auto windowClass = substitute::RegisteredClass("Lumenhop");
    ASSERT_TRUE(windowClass);
    EXPECT_EQ(windowClass->size, sizeof(WNDCLASSEXA));
    EXPECT_EQ(windowClass->style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(windowClass->procedure, &MainWindowProc);
    EXPECT_EQ(windowClass->classExtra, 0);
    EXPECT_EQ(windowClass->windowExtra, 0);
    EXPECT_EQ(windowClass->instance, substitute::ModuleInstance());
    EXPECT_EQ(windowClass->icon, substitute::SharedIcon(IDI_EMBLEM));
    EXPECT_EQ(windowClass->smallIcon, substitute::SharedIcon(IDI_EMBLEM_SMALL));
    EXPECT_EQ(windowClass->cursor, substitute::ArrowCursor());
    EXPECT_EQ(windowClass->background, reinterpret_cast<HBRUSH>(uintptr_t{6}));
    EXPECT_FALSE(windowClass->hasMenuName);
}

struct RefusedStart {
    const char* name;
    bool accessDenied;
};

class RefusedStartTest : public MainWindowTest, public ::testing::WithParamInterface<RefusedStart> {};

TEST_P(RefusedStartTest, EndsAtOnceWithoutWindowTrayOrRegistry) {
    substitute::AddForeignMutex("Lumenhop", GetParam().accessDenied);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(substitute::TopLevelWindows(), IsEmpty());
    EXPECT_FALSE(substitute::RegisteredClass("Lumenhop"));
    EXPECT_THAT(substitute::NotifyLog(), IsEmpty());
    EXPECT_THAT(substitute::RegistryLog(), IsEmpty());
    EXPECT_THAT(substitute::LookedUpNames(), IsEmpty());
    EXPECT_EQ(substitute::ThreadsStarted(), 0u);
}

INSTANTIATE_TEST_SUITE_P(MutexErrors, RefusedStartTest,
                         ::testing::Values(RefusedStart{"AlreadyExists", false}, RefusedStart{"AccessDenied", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, SecondStartWhileRunningAddsNoSecondIcon) {
    int secondExit = -1;
    substitute::QueueUserAction([&] { secondExit = RunProgram(); });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(secondExit, 0);
    EXPECT_EQ(Adds(), 1u);
    EXPECT_EQ(substitute::TopLevelWindows().size(), 1u);
    EXPECT_EQ(substitute::ThreadsStarted(), 1u);
}

TEST_F(MainWindowTest, OtherMutexFailureLetsTheStartGoOn) {
    substitute::FailNext("CreateMutexA", ERROR_INVALID_PARAMETER);
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Adds(), 1u);
}

TEST_F(MainWindowTest, FailedWindowCreationEndsWithZeroBeforeAnySetUp) {
    substitute::FailNext("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(MainWindow, nullptr);
    EXPECT_THAT(substitute::NotifyLog(), IsEmpty());
    EXPECT_THAT(substitute::RegistryLog(), IsEmpty());
    EXPECT_EQ(substitute::ThreadsStarted(), 0u);
}

TEST_F(MainWindowTest, CloseEndsLikeExit) {
    UserPostsToMainWindow(WM_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(substitute::DescribeWindow(MainWindow)->destroyed);
    ExpectEndedCleanly();
}

TEST_F(MainWindowTest, FirstSetUpRunsInsideWindowCreationBeforeTheRestartMessageExists) {
    std::optional<UINT> restartAtFirstAdd;
    substitute::QueueUserAction([&] { restartAtFirstAdd = TaskbarCreatedMessage; });
    UserChoosesFromMenu(IDM_EXIT);
    RunProgram();
    // The loop took the first action, so the number was registered after the set-up added the icon.
    EXPECT_EQ(restartAtFirstAdd, substitute::RegisteredMessage("TaskbarCreated"));
    EXPECT_EQ(Adds(), 1u);
}

// --- The shell's restart broadcast ---

TEST_F(MainWindowTest, TaskbarCreatedRerunsTheWholeSetUpEvenWhileTheIconExists) {
    substitute::QueueUserAction([] { substitute::Broadcast(substitute::RegisteredMessage("TaskbarCreated")); });
    substitute::QueueUserAction([] {
        EXPECT_EQ(Adds(), 2u);
        EXPECT_EQ(substitute::ThreadsStarted(), 2u);
        substitute::RestartShell();
        substitute::Broadcast(substitute::RegisteredMessage("TaskbarCreated"));
    });
    substitute::QueueUserAction([] {
        EXPECT_EQ(Adds(), 3u);
        ASSERT_TRUE(substitute::TrayIcon());
        EXPECT_EQ(substitute::TrayIcon()->icon, substitute::SharedIcon(IDI_TRAY_INACTIVE));
        EXPECT_EQ(substitute::ThreadsStarted(), 3u);
    });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    ExpectEndedCleanly();
}

TEST_F(MainWindowTest, NullMessageIsNeverTheRestartMessage) {
    HWND window = CreateWindowOnly();
    ASSERT_EQ(TaskbarCreatedMessage, 0u);
    MainWindowProc(window, WM_NULL, 0, 0);
    TaskbarCreatedMessage = substitute::RegisteredMessage("TaskbarCreated");
    MainWindowProc(window, WM_NULL, 0, 0);
    EXPECT_EQ(Adds(), 1u);
    EXPECT_EQ(substitute::DefaultProcessed().back().message, static_cast<UINT>(WM_NULL));
    DestroyWindow(window);
}

// --- The tray menu ---

TEST_F(MainWindowTest, RightButtonPressOpensTheSixEntryMenuAtThePointer) {
    UserRightClicksIcon();
    UserChoosesFromMenu(IDM_EXIT);
    RunProgram();

    auto menus = substitute::MenuLog();
    ASSERT_EQ(menus.size(), 2u);
    const auto& menu = menus.front();
    std::vector<std::pair<std::string, UINT>> entries;
    for (auto& item : menu.items) entries.emplace_back(item.text, item.flags & MF_SEPARATOR ? 0xFFFF : item.id);
    EXPECT_THAT(entries, ElementsAre(std::make_pair("About", 120), std::make_pair("Settings", 121),
                                     std::make_pair("", 0xFFFF), std::make_pair("Disk Information", 32772),
                                     std::make_pair("", 0xFFFF), std::make_pair("Exit", 122)));
    EXPECT_EQ(menu.x, 900);
    EXPECT_EQ(menu.y, 700);
    EXPECT_EQ(menu.flags, 0u);
    EXPECT_EQ(menu.owner, MainWindow);
    EXPECT_TRUE(menu.ownerInForeground);
    EXPECT_FALSE(menu.chosen);
    EXPECT_EQ(substitute::OpenMenus(), 0u);
}

TEST_F(MainWindowTest, MenuDismissedPostsNullThatReachesTheDefaultProcedureOnly) {
    UserRightClicksIcon();
    substitute::QueueUserAction([] {
        EXPECT_TRUE(DefaultGot(WM_NULL));
        EXPECT_EQ(Adds(), 1u);
        EXPECT_EQ(substitute::ThreadsStarted(), 1u);
    });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
}

class MouseEventTest : public MainWindowTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(MouseEventTest, OpensNoMenu) {
    HWND window = CreateWindowOnly();
    EXPECT_EQ(MainWindowProc(window, TrayCallbackMessage, 0, GetParam()), 0);
    EXPECT_THAT(substitute::MenuLog(), IsEmpty());
    EXPECT_FALSE(DefaultGot(TrayCallbackMessage));
    DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(OtherThanRightButtonDown, MouseEventTest,
                         ::testing::Values(WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP,
                                           WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MOUSEMOVE));

class MenuLoadFailureTest : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MenuLoadFailureTest, ShowsNothingAndKeepsRunning) {
    HWND window = CreateWindowOnly();
    substitute::FailNext(GetParam(), ERROR_RESOURCE_NAME_NOT_FOUND);
    MainWindowProc(window, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
    EXPECT_THAT(substitute::MenuLog(), IsEmpty());
    EXPECT_THAT(substitute::PostedMessages(), IsEmpty());
    // The fixture's leak check fails on a loaded menu that was not destroyed.
    EXPECT_EQ(substitute::OpenMenus(), 0u);
    DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(LoadMenuOrSubmenu, MenuLoadFailureTest, ::testing::Values("LoadMenuA", "GetSubMenu"));

// --- Command routing ---

struct Route {
    const char* name;
    WORD command;
    WORD templateId;
    DLGPROC procedure;
    int* open;
};

class RouteTest : public MainWindowTest, public ::testing::WithParamInterface<Route> {};

TEST_P(RouteTest, OpensItsDialogOwnedByTheMainWindow) {
    const Route route = GetParam();
    // The high word says menu (0) or accelerator (1) and does not matter.
    UserPostsToMainWindow(WM_COMMAND, MAKEWPARAM(route.command, 1));
    substitute::QueueDialogAction([&](HWND dialog) {
        EXPECT_EQ(*route.open, 1);
        substitute::PressEscape(dialog);
    });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);

    auto calls = substitute::DialogLog();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].instance, substitute::ModuleInstance());
    EXPECT_EQ(calls[0].templateId, route.templateId);
    EXPECT_EQ(calls[0].owner, MainWindow);
    EXPECT_EQ(calls[0].procedure, route.procedure);
    EXPECT_EQ(calls[0].parameter, 0);
    EXPECT_EQ(*route.open, 0);
}

TEST_P(RouteTest, CommandForTheOpenDialogDoesNothingAndWorksAgainAfterItCloses) {
    const Route route = GetParam();
    UserChoosesFromMenu(route.command);
    substitute::QueueDialogAction([&](HWND dialog) {
        // The menu is reachable while the dialog is open; its own entry does nothing now.
        PostMessageA(MainWindow, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
        substitute::ScriptMenuChoice(route.command);
        (void)dialog;
    });
    substitute::QueueDialogAction([&](HWND dialog) {
        EXPECT_EQ(substitute::OpenDialogs().size(), 1u);
        EXPECT_EQ(substitute::MenuLog().size(), 2u);
        substitute::PressEscape(dialog);
    });
    UserChoosesFromMenu(route.command);
    substitute::QueueDialogAction([](HWND dialog) { substitute::PressEscape(dialog); });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(DialogsOpened(), ElementsAre(route.templateId, route.templateId));
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, RouteTest,
    ::testing::Values(Route{"About", IDM_ABOUT, IDD_ABOUT, AboutDialogProc, &AboutDialogOpen},
                      Route{"Settings", IDM_SETTINGS, IDD_SETTINGS, SettingsDialogProc, &SettingsDialogOpen},
                      Route{"DiskInformation", IDM_DISKINFO, IDD_DISKINFO, DiskInfoDialogProc, &DiskInfoDialogOpen}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, OtherCommandsActWhileADialogIsOpen) {
    UserChoosesFromMenu(IDM_ABOUT);
    substitute::QueueDialogAction([](HWND) { SendMessageA(MainWindow, WM_COMMAND, IDM_DISKINFO, 0); });
    substitute::QueueDialogAction([](HWND dialog) {
        EXPECT_EQ(substitute::TemplateOf(dialog), IDD_DISKINFO);
        substitute::PressEscape(dialog);
    });
    substitute::QueueDialogAction([](HWND dialog) {
        EXPECT_EQ(substitute::TemplateOf(dialog), IDD_ABOUT);
        substitute::PressEscape(dialog);
    });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(DialogsOpened(), ElementsAre(IDD_ABOUT, IDD_DISKINFO));
}

TEST_F(MainWindowTest, ExitWhileADialogIsOpenStillEndsCleanly) {
    UserChoosesFromMenu(IDM_ABOUT);
    substitute::QueueDialogAction([](HWND) {
        PostMessageA(MainWindow, TrayCallbackMessage, 0, WM_RBUTTONDOWN);
        substitute::ScriptMenuChoice(IDM_EXIT);
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(substitute::OpenDialogs(), IsEmpty());
    ExpectEndedCleanly();
}

class OtherCommandTest : public MainWindowTest, public ::testing::WithParamInterface<WPARAM> {};

TEST_P(OtherCommandTest, DoesNothing) {
    HWND window = CreateWindowOnly();
    EXPECT_EQ(MainWindowProc(window, WM_COMMAND, GetParam(), 0), 0);
    EXPECT_THAT(substitute::DialogLog(), IsEmpty());
    EXPECT_FALSE(substitute::DescribeWindow(window)->destroyed);
    EXPECT_FALSE(substitute::QuitPosted());
    EXPECT_FALSE(DefaultGot(WM_COMMAND));
    DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(UnknownIds, OtherCommandTest,
                         ::testing::Values(WPARAM{0}, WPARAM{IDOK}, WPARAM{IDCANCEL}, WPARAM{119}, WPARAM{123},
                                           WPARAM{1016}, WPARAM{32771}, WPARAM{32773}, WPARAM{0xFFFF}));

// --- Accelerators ---

struct Keystroke {
    UINT message;
    WPARAM character;
    bool alt;
    bool opensAbout;
};

class AcceleratorTest : public MainWindowTest, public ::testing::WithParamInterface<Keystroke> {};

TEST_P(AcceleratorTest, OnlyAltQuestionMarkAndAltSlashOpenAbout) {
    const Keystroke key = GetParam();
    UserPostsToMainWindow(key.message, key.character, key.alt ? LPARAM{1} << 29 : 0);
    if (key.opensAbout) substitute::QueueDialogAction([](HWND dialog) { substitute::PressEnter(dialog); });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(DialogsOpened(), key.opensAbout ? std::vector<WORD>{IDD_ABOUT} : std::vector<WORD>{});
}

INSTANTIATE_TEST_SUITE_P(Keys, AcceleratorTest,
                         ::testing::Values(Keystroke{WM_SYSCHAR, '?', true, true},
                                           Keystroke{WM_SYSCHAR, '/', true, true},
                                           Keystroke{WM_CHAR, '?', false, false},
                                           Keystroke{WM_CHAR, '/', false, false},
                                           Keystroke{WM_SYSCHAR, 'a', true, false},
                                           Keystroke{WM_SYSKEYDOWN, 0xBF, true, false}));

TEST_F(MainWindowTest, MissingAcceleratorTableLeavesTheProgramRunning) {
    substitute::FailNext("LoadAcceleratorsA", ERROR_RESOURCE_NAME_NOT_FOUND);
    UserPostsToMainWindow(WM_SYSCHAR, '?', LPARAM{1} << 29);
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(DialogsOpened(), IsEmpty());
}

TEST_F(MainWindowTest, RunWithoutOkCreatesNoSettingsKey) {
    UserChoosesFromMenu(IDM_ABOUT);
    substitute::QueueDialogAction([](HWND dialog) { substitute::ClickButton(dialog, IDOK); });
    UserChoosesFromMenu(IDM_EXIT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_FALSE(substitute::RegistryKeyExists(SettingsKey));
}

}  // namespace
