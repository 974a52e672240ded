// Windows, the GUI thread's message queue, menus, accelerators, modal dialogs with their
// controls, and named mutexes. The program's callbacks are always called with the model's lock
// released, since they may stop the sampler, which needs the lock to end.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace substitute::detail {
namespace {

enum class WindowKind { TopLevel, Dialog, Control };

struct Window {
    WindowKind kind = WindowKind::TopLevel;
    WindowState state;
    WNDPROC windowProcedure = nullptr;
    DLGPROC dialogProcedure = nullptr;
    // Dialogs.
    WORD templateId = 0;
    std::vector<HWND> controls;
    bool ended = false;
    INT_PTR result = 0;
    HWND focus = nullptr;
    // Controls.
    int id = -1;
    UINT check = BST_UNCHECKED;
    std::vector<ComboItem> items;
    int selection = CB_ERR;
    HICON icon = nullptr;
};

struct Menu {
    std::vector<MenuItemState> items;
    std::vector<HMENU> submenus;  // per item; null unless the item is a popup
    HMENU parent = nullptr;
    bool destroyed = false;
};

struct NamedMutex {
    bool foreign = false;
    bool accessDenied = false;
};

struct WindowsState {
    std::map<std::string, std::pair<std::string, ClassState>> classes;  // by lower-case name
    ATOM nextAtom = 0xC001;
    std::map<HWND, Window> windows;
    uintptr_t nextWindow = 0x20000;
    std::vector<HWND> topLevel;
    std::deque<MSG> queue;
    std::optional<int> quit;
    std::deque<std::function<void()>> actions;
    std::deque<UINT> menuChoices;
    POINT cursor{};
    std::map<std::string, UINT> messages;  // by lower-case name
    UINT nextMessage = 0xC0A0;
    std::vector<MSG> defaultProcessed;
    std::vector<std::pair<HWND, int>> shows;
    HWND foreground = nullptr;
    std::map<HMENU, Menu> menus;
    uintptr_t nextMenu = 0x30000;
    std::vector<MenuShown> menuLog;
    std::map<HACCEL, WORD> acceleratorTables;
    uintptr_t nextAccelerator = 0x40000;
    std::vector<DialogCall> dialogCalls;
    std::vector<HWND> openDialogs;
    std::map<std::string, NamedMutex> mutexes;
    std::vector<std::string> mutexLog;
};

WindowsState& State() {
    static WindowsState state;
    return state;
}

HINSTANCE Module() { return ModuleInstance(); }
HCURSOR Arrow() { return reinterpret_cast<HCURSOR>(uintptr_t{0x10003}); }

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Case folding for the comparisons the list controls make: ASCII, Latin-1, Greek and Cyrillic.
WCHAR Fold(WCHAR unit) {
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7) ||
        (unit >= 0x391 && unit <= 0x3A9 && unit != 0x3A2) || (unit >= 0x410 && unit <= 0x42F))
        return static_cast<WCHAR>(unit + 0x20);
    if (unit >= 0x400 && unit <= 0x40F) return static_cast<WCHAR>(unit + 0x50);
    return unit;
}

bool SameTextIgnoringCase(const std::basic_string<WCHAR>& a, const std::basic_string<WCHAR>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::basic_string<WCHAR> WideFromAnsi(LPCSTR text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0) return {};
    std::basic_string<WCHAR> out(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), units);
    out.resize(static_cast<size_t>(units - 1));
    return out;
}

std::string AnsiFromWide(const std::basic_string<WCHAR>& text) {
    if (text.empty()) return {};
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes - 1));
    return out;
}

std::basic_string<WCHAR> WideText(LPCWSTR text) {
    return text == nullptr ? std::basic_string<WCHAR>() : std::basic_string<WCHAR>(text);
}

// Copies text into a caller's buffer of `capacity` units the way WM_GETTEXT does: cut to fit
// with its terminator; the count of units copied, without the terminator.
template <typename Unit>
LRESULT CopyOut(const std::basic_string<Unit>& text, Unit* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    size_t count = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), count * sizeof(Unit));
    buffer[count] = 0;
    return static_cast<LRESULT>(count);
}

// --- The module's resources, as the resource script defines them. ---

constexpr DWORD ChildVisible = WS_CHILD | WS_VISIBLE;
constexpr DWORD PopupDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTERMOUSE | DS_SETFONT;

const std::map<WORD, DialogTemplate>& DialogResources() {
    static const std::map<WORD, DialogTemplate> dialogs = {
        {101,
         {true, "Disk Information", PopupDialogStyle, 0, 0, 246, 155, "MS Sans Serif", 8,
          {
              {"BUTTON", IDCANCEL, "Close", ChildVisible | WS_TABSTOP | BS_PUSHBUTTON, 0, 191, 136, 50, 14},
              {"EDIT", 1007, "",
               ChildVisible | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 7, 7,
               232, 124},
          }}},
        {102,
         {false, "About Varrowin", WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT, 0,
          0, 198, 74, "Tahoma", 8,
          {
              {"STATIC", -1, "#112", ChildVisible | SS_ICON | SS_REALSIZEIMAGE, 0, 10, 9, 20, 20},
              {"STATIC", -1, "Varrowin 1.0", ChildVisible | SS_LEFT | SS_NOPREFIX | WS_GROUP, 0, 49, 10,
               119, 8},
              {"STATIC", -1, "Copyright (C) 2006 Orvane", ChildVisible | SS_LEFT | WS_GROUP, 0, 49, 21,
               144, 8},
              {"BUTTON", IDOK, "OK", ChildVisible | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, 142, 53,
               49, 15},
              {"STATIC", -1, "www.orvane.example", ChildVisible | SS_LEFT | WS_GROUP, 0, 49, 32, 119, 8},
              {"STATIC", 1016, "", ChildVisible | SS_LEFT | WS_GROUP, 0, 4, 50, 129, 21},
              {"STATIC", -1, "", ChildVisible | SS_ETCHEDHORZ, 0, 0, 46, 197, 1},
          }}},
        {103,
         {true, "Settings", PopupDialogStyle, 0, 0, 246, 155, "MS Sans Serif", 8,
          {
              {"BUTTON", 1000, "Load at Windows Startup", ChildVisible | BS_AUTOCHECKBOX | WS_TABSTOP, 0,
               16, 72, 124, 10},
              {"BUTTON", IDOK, "OK", ChildVisible | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 136, 136, 50, 14},
              {"BUTTON", IDCANCEL, "Cancel", ChildVisible | BS_PUSHBUTTON | WS_TABSTOP, 0, 191, 136, 50,
               14},
              {"BUTTON", 1019, " Disk Activity ", ChildVisible | BS_GROUPBOX, 0, 4, 3, 237, 129},
              {"STATIC", 1020, "Blink Duration (ms):", ChildVisible | SS_LEFT | WS_GROUP, 0, 16, 57, 108,
               9},
              {"STATIC", -1, "(100 ms - 2 sec)", ChildVisible | SS_LEFT | WS_GROUP, 0x20, 178, 59, 51, 8},
              {"EDIT", 1013, "", ChildVisible | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 0, 138, 57, 34,
               12},
              {"COMBOBOX", 1010, "", ChildVisible | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 16, 37,
               213, 105},
              {"STATIC", 1021, "Disk to monitor:", ChildVisible | SS_LEFT | WS_GROUP, 0, 16, 21, 108, 9},
              {"STATIC", 1002, "", ChildVisible | SS_ICON | SS_REALSIZEIMAGE, 0, 138, 88, 20, 20},
              {"STATIC", -1, "Active disk icon", ChildVisible | SS_LEFT | WS_GROUP, 0, 16, 90, 113, 8},
              {"STATIC", 1003, "", ChildVisible | SS_ICON | SS_REALSIZEIMAGE, 0, 138, 109, 20, 20},
              {"STATIC", -1, "Inactive disk icon", ChildVisible | SS_LEFT | WS_GROUP, 0, 16, 108, 113, 8},
              {"BUTTON", 1004, "Browse", ChildVisible | BS_PUSHBUTTON | WS_TABSTOP, 0, 179, 86, 50, 14},
              {"BUTTON", 1005, "Browse", ChildVisible | BS_PUSHBUTTON | WS_TABSTOP, 0, 179, 106, 50, 14},
              {"BUTTON", 1006, "Default Icons", ChildVisible | BS_PUSHBUTTON | WS_TABSTOP, 0, 4, 136, 62,
               14},
          }}},
    };
    return dialogs;
}

constexpr WORD TrayMenuResource = 123;
const std::vector<MenuItemState>& TrayMenuItems() {
    static const std::vector<MenuItemState> items = {
        {"About", 120, MF_STRING},
        {"Settings", 121, MF_STRING},
        {"", 0, MF_SEPARATOR},
        {"Disk Information", 32772, MF_STRING},
        {"", 0, MF_SEPARATOR},
        {"Exit", 122, MF_STRING},
    };
    return items;
}

const std::map<WORD, std::vector<Accelerator>>& AcceleratorResources() {
    static const std::map<WORD, std::vector<Accelerator>> tables = {
        {105, {{FALT, '?', 120}, {FALT, '/', 120}}},
    };
    return tables;
}

std::optional<WORD> ModuleResourceId(HINSTANCE instance, LPCSTR name) {
    if (instance != Module() || !IS_INTRESOURCE(name)) return std::nullopt;
    return LOWORD(reinterpret_cast<uintptr_t>(name));
}

// --- Windows ---

Window* Find(HWND window) {
    auto& windows = State().windows;
    auto it = windows.find(window);
    if (it == windows.end() || it->second.state.destroyed) return nullptr;
    return &it->second;
}

HWND NewWindow(Window window) {
    auto& state = State();
    HWND handle = reinterpret_cast<HWND>(state.nextWindow += 0x10);
    state.windows[handle] = std::move(window);
    return handle;
}

HWND ControlOf(HWND dialog, int id) {
    Window* window = Find(dialog);
    if (window == nullptr || window->kind != WindowKind::Dialog) return nullptr;
    for (HWND control : window->controls) {
        Window* child = Find(control);
        if (child != nullptr && child->id == id) return control;
    }
    return nullptr;
}

void Show(Window& window, bool visible) {
    window.state.visible = visible;
    window.state.everVisible = window.state.everVisible || visible;
}

LRESULT ControlMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool wide);
LRESULT DialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Sends a message to any window as SendMessage would, in the calling thread.
LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool wide) {
    WindowKind kind;
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(Mutex());
        Window* window = Find(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        kind = window->kind;
        procedure = window->windowProcedure;
    }
    switch (kind) {
    case WindowKind::TopLevel:
        return procedure != nullptr ? procedure(handle, message, wParam, lParam) : 0;
    case WindowKind::Dialog:
        return DialogMessage(handle, message, wParam, lParam);
    case WindowKind::Control:
        return ControlMessage(handle, message, wParam, lParam, wide);
    }
    return 0;
}

// The dialog procedure first; what it leaves unhandled gets the dialog manager's default.
LRESULT DialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC procedure;
    {
        std::lock_guard lock(Mutex());
        Window* window = Find(dialog);
        if (window == nullptr) return 0;
        procedure = window->dialogProcedure;
    }
    INT_PTR handled = procedure(dialog, message, wParam, lParam);
    if (handled) return handled;
    if (message == WM_CLOSE) {
        HWND cancel;
        {
            std::lock_guard lock(Mutex());
            cancel = ControlOf(dialog, IDCANCEL);
        }
        DialogMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                      reinterpret_cast<LPARAM>(cancel));
    }
    return 0;
}

void DestroyDialogWindow(HWND dialog);

// Destroys a window: first the dialogs it owns, then the window itself after its WM_DESTROY.
BOOL Destroy(HWND handle) {
    std::vector<HWND> owned;
    WindowKind kind;
    {
        std::lock_guard lock(Mutex());
        Window* window = Find(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        kind = window->kind;
        for (HWND dialog : State().openDialogs) {
            Window* open = Find(dialog);
            if (open != nullptr && open->state.parent == handle) owned.push_back(dialog);
        }
        Show(*window, false);
    }
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) DestroyDialogWindow(*it);
    if (kind == WindowKind::Dialog) {
        DestroyDialogWindow(handle);
        return TRUE;
    }
    Deliver(handle, WM_DESTROY, 0, 0, false);
    std::lock_guard lock(Mutex());
    if (Window* window = Find(handle)) window->state.destroyed = true;
    return TRUE;
}

void DestroyDialogWindow(HWND dialog) {
    DLGPROC procedure;
    {
        std::lock_guard lock(Mutex());
        Window* window = Find(dialog);
        if (window == nullptr) return;
        Show(*window, false);
        procedure = window->dialogProcedure;
    }
    procedure(dialog, WM_DESTROY, 0, 0);
    std::lock_guard lock(Mutex());
    Window* window = Find(dialog);
    if (window == nullptr) return;
    for (HWND control : window->controls)
        if (Window* child = Find(control)) child->state.destroyed = true;
    window->state.destroyed = true;
}

LRESULT ControlMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool wide) {
    std::unique_lock lock(Mutex());
    Window* control = Find(handle);
    if (control == nullptr) return 0;
    const std::string& cls = control->state.className;
    switch (message) {
    case WM_SETTEXT: {
        std::string text;
        if (wide)
            text = AnsiFromWide(WideText(reinterpret_cast<LPCWSTR>(lParam)));
        else if (lParam != 0)
            text = reinterpret_cast<LPCSTR>(lParam);
        control->state.text = std::move(text);
        return TRUE;
    }
    case WM_GETTEXT:
        if (wide)
            return CopyOut(WideFromAnsi(control->state.text.c_str()), reinterpret_cast<WCHAR*>(lParam),
                           wParam);
        return CopyOut(control->state.text, reinterpret_cast<char*>(lParam), wParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(control->state.text.size());
    }
    if (cls == "BUTTON") {
        DWORD type = control->state.style & BS_TYPEMASK;
        bool checkBox = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
        if (message == BM_GETCHECK) return checkBox ? control->check : BST_UNCHECKED;
        if (message == BM_SETCHECK) {
            if (checkBox) control->check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
            return 0;
        }
        return 0;
    }
    if (cls == "STATIC") {
        if (message == STM_SETICON) {
            HICON previous = control->icon;
            control->icon = reinterpret_cast<HICON>(wParam);
            return reinterpret_cast<LRESULT>(previous);
        }
        if (message == STM_GETICON) return reinterpret_cast<LRESULT>(control->icon);
        return 0;
    }
    if (cls != "COMBOBOX") return 0;
    auto& items = control->items;
    auto count = static_cast<LRESULT>(items.size());
    auto index = static_cast<LRESULT>(static_cast<int>(wParam));
    bool inRange = index >= 0 && index < count;
    switch (message) {
    case CB_ADDSTRING: {
        if (lParam == 0) return CB_ERR;
        auto text = wide ? WideText(reinterpret_cast<LPCWSTR>(lParam)) : std::basic_string<WCHAR>();
        if (!wide) {
            lock.unlock();
            text = WideFromAnsi(reinterpret_cast<LPCSTR>(lParam));
            lock.lock();
            control = Find(handle);
            if (control == nullptr) return CB_ERR;
        }
        if (TakeFailure("CB_ADDSTRING")) return CB_ERRSPACE;
        control->items.push_back(ComboItem{std::move(text), 0});
        return static_cast<LRESULT>(control->items.size() - 1);
    }
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return control->selection;
    case CB_SETCURSEL:
        control->selection = inRange ? static_cast<int>(index) : CB_ERR;
        return inRange ? index : CB_ERR;
    case CB_GETITEMDATA:
        return inRange ? items[static_cast<size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!inRange) return CB_ERR;
        items[static_cast<size_t>(index)].data = lParam;
        return TRUE;
    case CB_RESETCONTENT:
        items.clear();
        control->selection = CB_ERR;
        return TRUE;
    case CB_GETLBTEXTLEN:
        if (!inRange) return CB_ERR;
        if (wide) return static_cast<LRESULT>(items[static_cast<size_t>(index)].text.size());
        return static_cast<LRESULT>(AnsiFromWide(items[static_cast<size_t>(index)].text).size());
    case CB_GETLBTEXT: {
        if (!inRange || lParam == 0) return CB_ERR;
        const auto& text = items[static_cast<size_t>(index)].text;
        if (wide) {
            std::memcpy(reinterpret_cast<WCHAR*>(lParam), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
            return static_cast<LRESULT>(text.size());
        }
        std::string narrow = AnsiFromWide(text);
        std::memcpy(reinterpret_cast<char*>(lParam), narrow.c_str(), narrow.size() + 1);
        return static_cast<LRESULT>(narrow.size());
    }
    case CB_FINDSTRINGEXACT: {
        if (lParam == 0 || items.empty()) return CB_ERR;
        std::basic_string<WCHAR> wanted;
        if (wide) {
            wanted = WideText(reinterpret_cast<LPCWSTR>(lParam));
        } else {
            lock.unlock();
            wanted = WideFromAnsi(reinterpret_cast<LPCSTR>(lParam));
            lock.lock();
            control = Find(handle);
            if (control == nullptr) return CB_ERR;
        }
        auto& list = control->items;
        size_t size = list.size();
        // The search starts after item wParam and wraps around; -1 starts at the top.
        size_t first = (index < 0 || index >= static_cast<LRESULT>(size)) ? 0 : static_cast<size_t>(index + 1);
        for (size_t step = 0; step < size; ++step) {
            size_t at = (first + step) % size;
            if (SameTextIgnoringCase(list[at].text, wanted)) return static_cast<LRESULT>(at);
        }
        return CB_ERR;
    }
    }
    return 0;
}

// Runs the next thing the user does; false when there is nothing left.
bool RunUserAction() {
    std::function<void()> action;
    {
        std::lock_guard lock(Mutex());
        auto& actions = State().actions;
        if (actions.empty()) return false;
        action = std::move(actions.front());
        actions.pop_front();
    }
    action();
    return true;
}

std::optional<MSG> TakePosted() {
    std::lock_guard lock(Mutex());
    auto& queue = State().queue;
    if (queue.empty()) return std::nullopt;
    MSG message = queue.front();
    queue.pop_front();
    return message;
}

LRESULT Dispatch(const MSG& message) {
    if (message.hwnd == nullptr) return 0;  // a thread message has no window to go to
    return Deliver(message.hwnd, message.message, message.wParam, message.lParam, false);
}

// The modal loop of one dialog: until it ends, dispatch what is posted and let the user act.
void RunModalLoop(HWND dialog) {
    for (;;) {
        {
            std::lock_guard lock(Mutex());
            Window* window = Find(dialog);
            if (window == nullptr || window->ended) return;
        }
        if (auto message = TakePosted()) {
            Dispatch(*message);
            continue;
        }
        bool quitting;
        {
            std::lock_guard lock(Mutex());
            quitting = State().quit.has_value();
        }
        // A quit message ends every modal loop; it stays posted for the outer loop.
        if (quitting || !RunUserAction()) {
            if (!quitting)
                Problem("a modal dialog (template " + std::to_string(TemplateOf(dialog)) +
                        ") waits for the user, who has nothing more to do");
            std::lock_guard lock(Mutex());
            if (Window* window = Find(dialog)) window->ended = true;
            return;
        }
    }
}

Window& RequireDialog(HWND dialog, const char* what) {
    Window* window = Find(dialog);
    if (window == nullptr || window->kind != WindowKind::Dialog) {
        Problem(std::string(what) + ": no open dialog");
        static Window none;
        none = Window{};
        return none;
    }
    return *window;
}

const bool Registered = RegisterModel(Model{
    [] { State() = WindowsState{}; },
    [](std::vector<std::string>& problems) {
        auto& state = State();
        for (auto& [handle, menu] : state.menus)
            if (menu.parent == nullptr && !menu.destroyed) problems.push_back("a menu was never destroyed");
        if (!state.actions.empty())
            problems.push_back(std::to_string(state.actions.size()) + " user action(s) were never taken");
        if (!state.menuChoices.empty())
            problems.push_back(std::to_string(state.menuChoices.size()) +
                               " scripted menu choice(s) were never taken");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::Accelerator;
using substitute::ClassState;
using substitute::ComboItem;
using substitute::ControlState;
using substitute::DialogCall;
using substitute::MenuItemState;
using substitute::MenuShown;
using substitute::WindowState;

// --- Named mutexes ---

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    if (auto failure = TakeFailure("CreateMutexA")) {
        SetLastError(*failure);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (name == nullptr) {
        SetLastError(ERROR_SUCCESS);
        return OpenKernelHandle(HandleKind::Mutex, 0, nullptr);
    }
    state.mutexLog.push_back(name);
    auto it = state.mutexes.find(name);
    if (it != state.mutexes.end() && it->second.accessDenied) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    bool existed = it != state.mutexes.end();
    if (!existed) state.mutexes[name] = NamedMutex{};
    HANDLE handle = OpenKernelHandle(HandleKind::Mutex, 0, nullptr);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// --- Classes and windows ---

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
    if (auto failure = TakeFailure("RegisterClassExA")) {
        SetLastError(*failure);
        return 0;
    }
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpszClassName == nullptr ||
        IS_INTRESOURCE(wc->lpszClassName) || wc->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(Mutex());
    auto& classes = State().classes;
    std::string key = Lower(wc->lpszClassName);
    if (classes.count(key)) {
        SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
        return 0;
    }
    ClassState info{wc->cbSize,    wc->style,   wc->lpfnWndProc,   wc->cbClsExtra,
                    wc->cbWndExtra, wc->hInstance, wc->hIcon,      wc->hIconSm,
                    wc->hCursor,   wc->hbrBackground, wc->lpszMenuName != nullptr};
    classes[key] = {wc->lpszClassName, info};
    return State().nextAtom++;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID) {
    if (auto failure = TakeFailure("CreateWindowExA")) {
        SetLastError(*failure);
        return nullptr;
    }
    HWND handle;
    {
        std::lock_guard lock(Mutex());
        auto& state = State();
        if (className == nullptr || IS_INTRESOURCE(className)) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        auto it = state.classes.find(Lower(className));
        if (it == state.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window window;
        window.kind = WindowKind::TopLevel;
        window.windowProcedure = it->second.second.procedure;
        window.state = WindowState{it->second.first, title ? title : "", style, exStyle, x, y, width,
                                   height, parent, menu, instance, false, false, false};
        handle = NewWindow(std::move(window));
    }
    // Creation fails when the procedure refuses either creation message.
    if (Deliver(handle, WM_NCCREATE, 0, 0, false) == 0 || Deliver(handle, WM_CREATE, 0, 0, false) == -1) {
        Destroy(handle);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    Window* window = Find(handle);
    if (window == nullptr) return nullptr;
    if (style & WS_VISIBLE) Show(*window, true);
    State().topLevel.push_back(handle);
    return handle;
}

BOOL WINAPI DestroyWindow(HWND window) { return Destroy(window); }

BOOL WINAPI IsWindow(HWND window) {
    std::lock_guard lock(Mutex());
    return Find(window) != nullptr;
}

BOOL WINAPI ShowWindow(HWND handle, int command) {
    std::lock_guard lock(Mutex());
    State().shows.emplace_back(handle, command);
    Window* window = Find(handle);
    if (window == nullptr) return FALSE;
    BOOL wasVisible = window->state.visible;
    Show(*window, command != SW_HIDE);
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) {
    std::lock_guard lock(Mutex());
    return Find(window) != nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND window) {
    std::lock_guard lock(Mutex());
    if (Find(window) == nullptr) return FALSE;
    State().foreground = window;
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(Mutex());
        State().defaultProcessed.push_back(MSG{window, message, wParam, lParam, 0, {}});
    }
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        Destroy(window);
        return 0;
    }
    return 0;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (auto failure = TakeFailure("LoadIconA")) {
        SetLastError(*failure);
        return nullptr;
    }
    auto id = ModuleResourceId(instance, name);
    HICON icon = id ? substitute::SharedIcon(*id) : nullptr;
    if (icon == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return icon;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr && name == IDC_ARROW) return Arrow();
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// --- Messages ---

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    if (name == nullptr || *name == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return substitute::RegisteredMessage(name);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto failure = TakeFailure("PostMessageA")) {
        SetLastError(*failure);
        return FALSE;
    }
    std::lock_guard lock(Mutex());
    if (window != nullptr && Find(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    State().queue.push_back(MSG{window, message, wParam, lParam, 0, State().cursor});
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    std::lock_guard lock(Mutex());
    State().quit = exitCode;
}

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr || filterMin != 0 || filterMax != 0)
        Problem("GetMessageA: only the unfiltered form is modelled");
    for (;;) {
        if (auto posted = TakePosted()) {
            *message = *posted;
            return TRUE;
        }
        {
            std::lock_guard lock(Mutex());
            auto& quit = State().quit;
            if (quit) {
                *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*quit), 0, 0, {}};
                quit.reset();
                return FALSE;
            }
        }
        if (!RunUserAction()) {
            Problem("GetMessageA waits for the user, who has nothing more to do");
            *message = MSG{nullptr, WM_QUIT, 0, 0, 0, {}};
            return FALSE;
        }
    }
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    return Dispatch(*message);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(window, message, wParam, lParam, false);
}

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(window, message, wParam, lParam, true);
}

// --- Accelerators ---

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
    if (auto failure = TakeFailure("LoadAcceleratorsA")) {
        SetLastError(*failure);
        return nullptr;
    }
    auto id = ModuleResourceId(instance, name);
    if (!id || !AcceleratorResources().count(*id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    HACCEL table = reinterpret_cast<HACCEL>(State().nextAccelerator += 0x10);
    State().acceleratorTables[table] = *id;
    return table;
}

int WINAPI TranslateAcceleratorA(HWND window, HACCEL table, LPMSG message) {
    if (message == nullptr) return 0;
    std::optional<WORD> command;
    {
        std::lock_guard lock(Mutex());
        auto it = State().acceleratorTables.find(table);
        if (it == State().acceleratorTables.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        UINT kind = message->message;
        bool character = kind == WM_CHAR || kind == WM_SYSCHAR;
        bool key = kind == WM_KEYDOWN || kind == WM_SYSKEYDOWN;
        // Bit 29 of a keyboard message says whether Alt was down.
        bool alt = (static_cast<DWORD>(message->lParam) >> 29) & 1;
        for (const Accelerator& entry : AcceleratorResources().at(it->second)) {
            bool virtualKey = entry.flags & FVIRTKEY;
            if ((virtualKey ? !key : !character) || entry.key != message->wParam) continue;
            if (bool(entry.flags & FALT) != alt) continue;
            command = entry.command;
            break;
        }
    }
    if (!command || Find(window) == nullptr) return 0;
    Deliver(window, WM_COMMAND, MAKEWPARAM(*command, 1), 0, false);
    return 1;
}

// --- Menus ---

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
    if (auto failure = TakeFailure("LoadMenuA")) {
        SetLastError(*failure);
        return nullptr;
    }
    auto id = ModuleResourceId(instance, name);
    if (!id || *id != TrayMenuResource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    auto& state = State();
    HMENU top = reinterpret_cast<HMENU>(state.nextMenu += 0x10);
    HMENU popup = reinterpret_cast<HMENU>(state.nextMenu += 0x10);
    state.menus[top] = Menu{{{"POPUP", 0, MF_POPUP}}, {popup}, nullptr, false};
    state.menus[popup] =
        Menu{TrayMenuItems(), std::vector<HMENU>(TrayMenuItems().size(), nullptr), top, false};
    return top;
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
    if (TakeFailure("GetSubMenu")) return nullptr;
    std::lock_guard lock(Mutex());
    auto it = State().menus.find(menu);
    if (it == State().menus.end() || it->second.destroyed || position < 0 ||
        static_cast<size_t>(position) >= it->second.submenus.size())
        return nullptr;
    return it->second.submenus[static_cast<size_t>(position)];
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    std::lock_guard lock(Mutex());
    auto& menus = State().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || it->second.destroyed) {
        Problem("DestroyMenu on a menu that does not exist");
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    std::vector<HMENU> pending{menu};
    while (!pending.empty()) {
        HMENU next = pending.back();
        pending.pop_back();
        auto found = menus.find(next);
        if (found == menus.end() || found->second.destroyed) continue;
        found->second.destroyed = true;
        for (HMENU child : found->second.submenus)
            if (child) pending.push_back(child);
    }
    return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (auto failure = TakeFailure("GetCursorPos")) {
        SetLastError(*failure);
        return FALSE;
    }
    if (point == nullptr) return FALSE;
    std::lock_guard lock(Mutex());
    *point = State().cursor;
    return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    std::optional<UINT> chosen;
    {
        std::lock_guard lock(Mutex());
        auto& state = State();
        auto it = state.menus.find(menu);
        if (it == state.menus.end() || it->second.destroyed) {
            Problem("TrackPopupMenu on a menu that does not exist");
            return FALSE;
        }
        if (Find(owner) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        MenuShown shown{it->second.items, x, y, flags, owner, state.foreground == owner, std::nullopt};
        if (!state.menuChoices.empty()) {
            UINT wanted = state.menuChoices.front();
            state.menuChoices.pop_front();
            bool offered = std::any_of(shown.items.begin(), shown.items.end(), [&](const MenuItemState& item) {
                return item.id == wanted && !(item.flags & (MF_SEPARATOR | MF_POPUP | MF_GRAYED | MF_DISABLED));
            });
            if (offered)
                chosen = wanted;
            else
                Problem("the scripted menu choice " + std::to_string(wanted) + " is not an item of the menu");
        }
        shown.chosen = chosen;
        state.menuLog.push_back(shown);
        if (!chosen) return FALSE;
        // The choice reaches the owner afterwards, as a posted command.
        state.queue.push_back(MSG{owner, WM_COMMAND, MAKEWPARAM(*chosen, 0), 0, 0, state.cursor});
    }
    if (flags & TPM_RETURNCMD) Problem("TrackPopupMenu: TPM_RETURNCMD is not modelled");
    return TRUE;
}

// --- Dialogs ---

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                               LPARAM parameter) {
    auto id = ModuleResourceId(instance, name);
    size_t call;
    {
        std::lock_guard lock(Mutex());
        State().dialogCalls.push_back(
            DialogCall{instance, id ? *id : WORD{0}, owner, procedure, parameter, nullptr, std::nullopt});
        call = State().dialogCalls.size() - 1;
    }
    auto finish = [&](INT_PTR result) {
        std::lock_guard lock(Mutex());
        State().dialogCalls[call].result = result;
        return result;
    };
    if (auto failure = TakeFailure("DialogBoxParamA")) {
        SetLastError(*failure);
        return finish(-1);
    }
    auto found = id ? DialogResources().find(*id) : DialogResources().end();
    if (found == DialogResources().end() || procedure == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return finish(-1);
    }
    const substitute::DialogTemplate& dialogTemplate = found->second;

    HWND dialog;
    HWND firstTabStop = nullptr;
    {
        std::lock_guard lock(Mutex());
        Window window;
        window.kind = WindowKind::Dialog;
        window.dialogProcedure = procedure;
        window.templateId = *id;
        window.state = WindowState{"#32770", dialogTemplate.title, dialogTemplate.style, 0,
                                   dialogTemplate.x, dialogTemplate.y, dialogTemplate.width,
                                   dialogTemplate.height, owner, nullptr, instance, false, false, false};
        dialog = NewWindow(std::move(window));
        std::vector<HWND> controls;
        for (const auto& item : dialogTemplate.controls) {
            Window control;
            control.kind = WindowKind::Control;
            control.id = item.id;
            bool iconByOrdinal = item.text.size() > 1 && item.text[0] == '#';
            control.state = WindowState{item.className, iconByOrdinal ? "" : item.text, item.style,
                                        item.exStyle, item.x, item.y, item.width, item.height, dialog,
                                        nullptr, instance, true, true, false};
            if (iconByOrdinal && (item.style & SS_TYPEMASK) == SS_ICON)
                control.icon = substitute::SharedIcon(static_cast<WORD>(std::stoi(item.text.substr(1))));
            HWND handle = NewWindow(std::move(control));
            if (firstTabStop == nullptr && (item.style & WS_TABSTOP)) firstTabStop = handle;
            controls.push_back(handle);
        }
        State().windows[dialog].controls = std::move(controls);
        State().dialogCalls[call].dialog = dialog;
        State().openDialogs.push_back(dialog);
    }

    // The focus goes to the first tab stop when the procedure leaves the choice to the manager.
    if (procedure(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), parameter)) {
        std::lock_guard lock(Mutex());
        if (Window* window = Find(dialog)) window->focus = firstTabStop;
    }
    {
        std::lock_guard lock(Mutex());
        if (Window* window = Find(dialog); window != nullptr && !window->ended) Show(*window, true);
    }
    RunModalLoop(dialog);

    INT_PTR result;
    bool destroyedAlready;
    {
        std::lock_guard lock(Mutex());
        Window& window = State().windows[dialog];
        result = window.result;
        destroyedAlready = window.state.destroyed;
    }
    if (!destroyedAlready) DestroyDialogWindow(dialog);
    {
        std::lock_guard lock(Mutex());
        auto& open = State().openDialogs;
        open.erase(std::remove(open.begin(), open.end(), dialog), open.end());
    }
    return finish(result);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    std::lock_guard lock(Mutex());
    Window* window = Find(dialog);
    if (window == nullptr || window->kind != WindowKind::Dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->ended = true;
    window->result = result;
    Show(*window, false);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    std::lock_guard lock(Mutex());
    HWND control = ControlOf(dialog, id);
    if (control == nullptr) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return control;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return FALSE;
    SendMessageA(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return 0;
    return static_cast<UINT>(SendMessageA(control, BM_GETCHECK, 0, 0));
}

BOOL WINAPI SetWindowTextA(HWND handle, LPCSTR text) {
    std::lock_guard lock(Mutex());
    Window* window = Find(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->state.text = text ? text : "";
    return TRUE;
}

int WINAPI GetWindowTextA(HWND handle, LPSTR buffer, int capacity) {
    std::lock_guard lock(Mutex());
    Window* window = Find(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        if (buffer != nullptr && capacity > 0) buffer[0] = 0;
        return 0;
    }
    if (capacity <= 0) return 0;
    return static_cast<int>(CopyOut(window->state.text, buffer, static_cast<size_t>(capacity)));
}

// --- Control side ---

namespace substitute {

void QueueUserAction(std::function<void()> action) {
    std::lock_guard lock(Mutex());
    detail::State().actions.push_back(std::move(action));
}

void QueueDialogAction(std::function<void(HWND dialog)> action) {
    QueueUserAction([action = std::move(action)] {
        HWND dialog = TopDialog();
        if (dialog == nullptr) {
            Problem("a dialog action found no dialog open");
            return;
        }
        action(dialog);
    });
}

size_t PendingUserActions() {
    std::lock_guard lock(Mutex());
    return detail::State().actions.size();
}

void ScriptMenuChoice(UINT commandId) {
    std::lock_guard lock(Mutex());
    detail::State().menuChoices.push_back(commandId);
}

void SetCursorPosition(LONG x, LONG y) {
    std::lock_guard lock(Mutex());
    detail::State().cursor = POINT{x, y};
}

void AddForeignMutex(const std::string& name, bool accessDenied) {
    std::lock_guard lock(Mutex());
    detail::State().mutexes[name] = NamedMutex{true, accessDenied};
}

std::vector<std::string> MutexLog() {
    std::lock_guard lock(Mutex());
    return detail::State().mutexLog;
}

std::optional<WindowState> DescribeWindow(HWND window) {
    std::lock_guard lock(Mutex());
    auto& windows = detail::State().windows;
    auto it = windows.find(window);
    if (it == windows.end()) return std::nullopt;
    return it->second.state;
}

std::vector<HWND> TopLevelWindows() {
    std::lock_guard lock(Mutex());
    return detail::State().topLevel;
}

std::optional<ClassState> RegisteredClass(const std::string& name) {
    std::lock_guard lock(Mutex());
    auto& classes = detail::State().classes;
    auto it = classes.find(Lower(name));
    if (it == classes.end()) return std::nullopt;
    return it->second.second;
}

HCURSOR ArrowCursor() { return Arrow(); }

UINT RegisteredMessage(const std::string& name) {
    std::lock_guard lock(Mutex());
    auto& state = detail::State();
    auto [it, added] = state.messages.try_emplace(Lower(name), state.nextMessage);
    if (added) ++state.nextMessage;
    return it->second;
}

void Broadcast(UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(Mutex());
    auto& state = detail::State();
    for (HWND window : state.topLevel)
        if (Find(window) != nullptr) state.queue.push_back(MSG{window, message, wParam, lParam, 0, state.cursor});
}

std::vector<MSG> DefaultProcessed() {
    std::lock_guard lock(Mutex());
    return detail::State().defaultProcessed;
}

std::vector<MSG> PostedMessages() {
    std::lock_guard lock(Mutex());
    auto& queue = detail::State().queue;
    return std::vector<MSG>(queue.begin(), queue.end());
}

std::optional<int> QuitPosted() {
    std::lock_guard lock(Mutex());
    return detail::State().quit;
}

std::vector<std::pair<HWND, int>> ShowWindowLog() {
    std::lock_guard lock(Mutex());
    return detail::State().shows;
}

HWND ForegroundWindow() {
    std::lock_guard lock(Mutex());
    return detail::State().foreground;
}

std::vector<MenuShown> MenuLog() {
    std::lock_guard lock(Mutex());
    return detail::State().menuLog;
}

size_t OpenMenus() {
    std::lock_guard lock(Mutex());
    size_t open = 0;
    for (auto& [handle, menu] : detail::State().menus) open += menu.parent == nullptr && !menu.destroyed;
    return open;
}

std::vector<Accelerator> AcceleratorTable(WORD resourceId) {
    auto it = AcceleratorResources().find(resourceId);
    return it == AcceleratorResources().end() ? std::vector<Accelerator>{} : it->second;
}

std::optional<DialogTemplate> DialogTemplateResource(WORD resourceId) {
    auto it = DialogResources().find(resourceId);
    if (it == DialogResources().end()) return std::nullopt;
    return it->second;
}

std::vector<DialogCall> DialogLog() {
    std::lock_guard lock(Mutex());
    return detail::State().dialogCalls;
}

std::vector<HWND> OpenDialogs() {
    std::lock_guard lock(Mutex());
    return detail::State().openDialogs;
}

HWND TopDialog() {
    std::lock_guard lock(Mutex());
    auto& open = detail::State().openDialogs;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        Window* window = Find(*it);
        if (window != nullptr && !window->ended) return *it;
    }
    return nullptr;
}

WORD TemplateOf(HWND dialog) {
    std::lock_guard lock(Mutex());
    auto& windows = detail::State().windows;
    auto it = windows.find(dialog);
    return it == windows.end() ? WORD{0} : it->second.templateId;
}

std::optional<ControlState> DialogControl(HWND dialog, int id) {
    std::lock_guard lock(Mutex());
    HWND handle = ControlOf(dialog, id);
    if (handle == nullptr) return std::nullopt;
    Window& control = *Find(handle);
    return ControlState{control.state.className, control.id,    control.state.text, control.state.style,
                        control.check,           control.items, control.selection,  control.icon,
                        Find(dialog)->focus == handle};
}

HWND FocusedControl(HWND dialog) {
    std::lock_guard lock(Mutex());
    Window* window = Find(dialog);
    return window == nullptr ? nullptr : window->focus;
}

namespace {

// Delivers a notification from control `id` to its dialog.
void Notify(HWND dialog, int id, WORD code) {
    HWND control = GetDlgItem(dialog, id);
    DialogMessage(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

std::optional<ControlState> RequireControl(HWND dialog, int id, const char* className, const char* act) {
    auto control = DialogControl(dialog, id);
    if (!control || control->className != className) {
        Problem(std::string(act) + ": the dialog has no " + className + " " + std::to_string(id));
        return std::nullopt;
    }
    return control;
}

}  // namespace

void ClickButton(HWND dialog, int id) {
    auto control = RequireControl(dialog, id, "BUTTON", "ClickButton");
    if (!control) return;
    DWORD type = control->style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) {
        Problem("ClickButton: a group box cannot be clicked");
        return;
    }
    HWND handle = GetDlgItem(dialog, id);
    if (type == BS_AUTOCHECKBOX)
        SendMessageA(handle, BM_SETCHECK, control->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    {
        std::lock_guard lock(Mutex());
        if (Window* window = Find(dialog)) window->focus = handle;
    }
    Notify(dialog, id, BN_CLICKED);
}

void PressEscape(HWND dialog) {
    {
        std::lock_guard lock(Mutex());
        RequireDialog(dialog, "PressEscape");
    }
    Notify(dialog, IDCANCEL, BN_CLICKED);
}

void PressEnter(HWND dialog) {
    int id = IDOK;
    {
        std::lock_guard lock(Mutex());
        Window& window = RequireDialog(dialog, "PressEnter");
        Window* focus = Find(window.focus);
        DWORD focusType = focus ? focus->state.style & BS_TYPEMASK : 0;
        if (focus != nullptr && focus->state.className == "BUTTON" &&
            (focusType == BS_PUSHBUTTON || focusType == BS_DEFPUSHBUTTON)) {
            id = focus->id;
        } else if (focus != nullptr && focus->state.className == "EDIT" &&
                   (focus->state.style & (ES_MULTILINE | ES_WANTRETURN)) == (ES_MULTILINE | ES_WANTRETURN)) {
            return;  // the edit takes the key as a new line
        } else {
            for (HWND handle : window.controls) {
                Window* control = Find(handle);
                if (control && control->state.className == "BUTTON" &&
                    (control->state.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                    id = control->id;
                    break;
                }
            }
        }
    }
    Notify(dialog, id, BN_CLICKED);
}

void PressCloseBox(HWND dialog) {
    {
        std::lock_guard lock(Mutex());
        RequireDialog(dialog, "PressCloseBox");
    }
    DialogMessage(dialog, WM_CLOSE, 0, 0);
}

void TypeText(HWND dialog, int id, const std::string& text) {
    auto control = RequireControl(dialog, id, "EDIT", "TypeText");
    if (!control) return;
    if (control->style & ES_READONLY) {
        Problem("TypeText: the edit control " + std::to_string(id) + " is read-only");
        return;
    }
    SetWindowTextA(GetDlgItem(dialog, id), text.c_str());
    Notify(dialog, id, EN_CHANGE);
}

void ChooseComboItem(HWND dialog, int id, int index) {
    auto control = RequireControl(dialog, id, "COMBOBOX", "ChooseComboItem");
    if (!control) return;
    if (index < 0 || static_cast<size_t>(index) >= control->items.size()) {
        Problem("ChooseComboItem: the list has no item " + std::to_string(index));
        return;
    }
    SendMessageA(GetDlgItem(dialog, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Notify(dialog, id, CBN_SELCHANGE);
}

void FocusControl(HWND dialog, int id) {
    HWND handle = GetDlgItem(dialog, id);
    std::lock_guard lock(Mutex());
    Window& window = RequireDialog(dialog, "FocusControl");
    if (handle == nullptr)
        Problem("FocusControl: the dialog has no control " + std::to_string(id));
    else
        window.focus = handle;
}

}  // namespace substitute
