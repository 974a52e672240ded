// Windows, the thread's message queue, menus, accelerators, dialogs and named mutexes.
//
// The test plays the user. What the user does next is a queue of actions: whenever a message
// loop (GetMessageA, or the loop of an open modal dialog) finds no message waiting, it runs the
// next action, which typically posts a message, clicks a dialog button or types into a control.
// A loop that finds neither a message nor an action would wait for ever on Windows; here it
// records a problem and gives up (GetMessageA returns 0, an open dialog is ended with 0).
//
// The module's resources (dialog templates 101, 102 and 103 with their controls, menu 123 and
// accelerator table 105) are those of the program's resource script.
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
// Queues an action on the innermost open dialog; the action fails the test when none is open.
void QueueDialogAction(std::function<void(HWND dialog)> action);
size_t PendingUserActions();

// The next TrackPopupMenu picks the item with this command ID, as a click on it would; without a
// scripted choice the menu is dismissed.
void ScriptMenuChoice(UINT commandId);
void SetCursorPosition(LONG x, LONG y);

// --- Named mutexes ----------------------------------------------------------------------------

// Another process holds a mutex of this name. `accessDenied`: it was created in a security
// context the caller cannot open, so CreateMutexA fails with ERROR_ACCESS_DENIED.
void AddForeignMutex(const std::string& name, bool accessDenied = false);
// Names of the mutexes created or opened through CreateMutexA, in order.
std::vector<std::string> MutexLog();

// --- Windows and messages ---------------------------------------------------------------------

struct WindowState {
    std::string className;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    HWND parent = nullptr;  // owner of a top-level window or dialog, parent of a control
    HMENU menu = nullptr;
    HINSTANCE instance = nullptr;
    bool visible = false;
    bool everVisible = false;  // shown at any moment of its life
    bool destroyed = false;
};
std::optional<WindowState> DescribeWindow(HWND window);
// Top-level windows created through CreateWindowExA, in order, destroyed ones included.
std::vector<HWND> TopLevelWindows();

struct ClassState {
    UINT size = 0;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    int classExtra = 0, windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr, smallIcon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    bool hasMenuName = false;
};
std::optional<ClassState> RegisteredClass(const std::string& name);

// The system arrow cursor that LoadCursorA(NULL, IDC_ARROW) returns.
HCURSOR ArrowCursor();

// The number RegisterWindowMessageA gives this name, registering it if need be.
UINT RegisteredMessage(const std::string& name);
// Posts the message to every top-level window that exists, as a broadcast does.
void Broadcast(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Messages that reached DefWindowProcA, in order.
std::vector<MSG> DefaultProcessed();
// Messages posted and not yet taken, in order; whether PostQuitMessage was called, and its code.
std::vector<MSG> PostedMessages();
std::optional<int> QuitPosted();
// Every ShowWindow call: window and command.
std::vector<std::pair<HWND, int>> ShowWindowLog();
// The window that SetForegroundWindow last brought to the foreground.
HWND ForegroundWindow();

// --- Menus ------------------------------------------------------------------------------------

struct MenuItemState {
    std::string text;  // empty for a separator
    UINT id = 0;       // 0 for a separator or a popup
    UINT flags = 0;    // MF_SEPARATOR, MF_POPUP, MF_GRAYED, MF_CHECKED, MF_DEFAULT
};
struct MenuShown {
    std::vector<MenuItemState> items;
    int x = 0, y = 0;
    UINT flags = 0;
    HWND owner = nullptr;
    bool ownerInForeground = false;
    std::optional<UINT> chosen;
};
std::vector<MenuShown> MenuLog();
// Menus loaded and not yet destroyed.
size_t OpenMenus();

// --- Accelerators -----------------------------------------------------------------------------

struct Accelerator {
    BYTE flags;  // FVIRTKEY, FSHIFT, FCONTROL, FALT
    WORD key;
    WORD command;
};
std::vector<Accelerator> AcceleratorTable(WORD resourceId);

// --- Dialogs ----------------------------------------------------------------------------------

struct ControlTemplate {
    std::string className;  // "BUTTON", "EDIT", "STATIC", "COMBOBOX"
    int id = -1;
    std::string text;       // "#112" names an icon resource by ordinal
    DWORD style = 0;        // WS_CHILD | WS_VISIBLE are implied
    DWORD exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
};
struct DialogTemplate {
    bool extended = false;
    std::string title;
    DWORD style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string font;
    int pointSize = 0;
    std::vector<ControlTemplate> controls;
};
std::optional<DialogTemplate> DialogTemplateResource(WORD resourceId);

struct DialogCall {
    HINSTANCE instance;
    WORD templateId;
    HWND owner;
    DLGPROC procedure;
    LPARAM parameter;
    HWND dialog;              // null when the dialog could not be created
    std::optional<INT_PTR> result;  // set when DialogBoxParamA returned
};
std::vector<DialogCall> DialogLog();

// Open dialogs, outermost first.
std::vector<HWND> OpenDialogs();
HWND TopDialog();
WORD TemplateOf(HWND dialog);

struct ComboItem {
    std::basic_string<WCHAR> text;
    LPARAM data = 0;
};
struct ControlState {
    std::string className;
    int id = -1;
    std::string text;
    DWORD style = 0;
    UINT check = BST_UNCHECKED;
    std::vector<ComboItem> items;
    int selection = CB_ERR;
    HICON icon = nullptr;
    bool focused = false;
};
std::optional<ControlState> DialogControl(HWND dialog, int id);
HWND FocusedControl(HWND dialog);

// The user's acts on an open dialog, each as the dialog manager delivers it.
void ClickButton(HWND dialog, int id);         // a check box toggles first; then WM_COMMAND
void PressEscape(HWND dialog);                 // WM_COMMAND IDCANCEL
void PressEnter(HWND dialog);                  // the focused push button, else the default one
void PressCloseBox(HWND dialog);               // WM_CLOSE; unhandled, it becomes IDCANCEL
void TypeText(HWND dialog, int id, const std::string& text);  // replaces the text; EN_CHANGE
void ChooseComboItem(HWND dialog, int id, int index);          // CBN_SELCHANGE
void FocusControl(HWND dialog, int id);

}  // namespace substitute
