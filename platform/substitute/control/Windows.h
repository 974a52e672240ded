// Windows, the thread's message queue, menus, accelerators, dialogs and named mutexes.
//
// The test plays the user. What the user does next is a queue of actions: whenever a message
// loop (GetMessageA, or the loop of an open modal dialog) finds no message waiting, it runs the
// next action, which typically posts a message or sends a command to a dialog. A loop that finds
// neither a message nor an action would wait for ever on Windows; here it records a problem and
// gives up (GetMessageA returns 0, an open dialog is ended with 0).
//
// What the dialog manager does (focus, Enter, Esc, the close box) and what the resource compiler
// puts in the exe (menu items, accelerator keys, dialog templates) are not modelled: the exe check
// and the tests under Wine see the real ones. A dialog here is a window with the controls a test
// gives it; a loaded menu holds one popup, and what the user picks from it is the test's scripted
// choice.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace substitute {

// --- The user ---------------------------------------------------------------------------------

// Queues what the user does next.
void QueueUserAction(std::function<void()> action);
// Queues an action on the innermost open modal dialog; the action fails the test when none is open.
void QueueDialogAction(std::function<void(HWND dialog)> action);

// The next TrackPopupMenu picks this command, as a click on its item would; without a scripted
// choice the menu is dismissed.
void ScriptMenuChoice(UINT commandId);
void SetCursorPosition(LONG x, LONG y);

// --- Named mutexes ----------------------------------------------------------------------------

// Another process holds a mutex of this name. `accessDenied`: it was created in a security
// context the caller cannot open, so CreateMutexA fails with ERROR_ACCESS_DENIED.
void AddForeignMutex(const std::string& name, bool accessDenied = false);

// --- Windows ----------------------------------------------------------------------------------

struct ComboItem {
    std::basic_string<WCHAR> text;
    LPARAM data = 0;
    bool operator==(const ComboItem&) const = default;
};

struct WindowState {
    std::string className = {};  // as given; "#32770" for a dialog
    std::string text = {};
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    HWND parent = nullptr;  // owner of a top-level window or dialog, parent of a control
    HMENU menu = nullptr;   // a control's ID
    HINSTANCE instance = nullptr;
    std::vector<int> shows = {};  // every ShowWindow command, in order
    bool destroyed = false;
    // Controls: a button's check, a combo box's items and selection, a static's icon.
    UINT check = BST_UNCHECKED;
    std::vector<ComboItem> items = {};
    int selection = CB_ERR;
    HICON icon = nullptr;
    bool operator==(const WindowState&) const = default;
};
std::optional<WindowState> DescribeWindow(HWND window);

// The class as RegisterClassExA was given it, without its name.
std::optional<WNDCLASSEXA> RegisteredClass(const std::string& name);

// The period of the window's timer of this id, while it is set.
std::optional<UINT> TimerPeriod(HWND window, UINT_PTR id);

// Messages posted and not yet taken, in order.
std::vector<MSG> PostedMessages();

// --- Menus and accelerators -------------------------------------------------------------------

struct MenuShown {
    int x = 0, y = 0;
    UINT flags = 0;
    HWND owner = nullptr;
    bool ownerInForeground = false;
    std::optional<UINT> chosen;
};
std::vector<MenuShown> MenuLog();

// The accelerator table of this resource ID: a key message (WM_CHAR, WM_SYSCHAR, ...) with this
// wParam becomes the command. Tables not set do not exist.
struct Accelerator {
    UINT message;
    WPARAM key;
    WORD command;
};
void SetAcceleratorTable(WORD resourceId, std::vector<Accelerator> entries);

// --- Dialogs ----------------------------------------------------------------------------------

// A dialog window, not shown and without a loop, with the procedure and the controls (by ID) a
// template would give it; every control takes the messages of every control class. The test sends
// the procedure its messages; EndDialog records the result, DestroyWindow sends WM_DESTROY.
// DialogBoxParamA makes one without controls and runs its modal loop.
HWND MakeDialog(HWND owner, DLGPROC procedure, const std::vector<int>& controls = {});
// What EndDialog ended the dialog with, if it did.
std::optional<INT_PTR> DialogResult(HWND dialog);

struct DialogCall {
    HINSTANCE instance;
    WORD templateId;
    HWND owner;
    DLGPROC procedure;
    LPARAM parameter;
    bool operator==(const DialogCall&) const = default;
};
std::vector<DialogCall> DialogLog();
// Modal dialogs whose DialogBoxParamA has not returned, outermost first.
std::vector<HWND> OpenDialogs();

}  // namespace substitute
