// Windows, the GUI thread's message queue, menus, accelerators, modal dialogs with their
// controls, and named mutexes. The program's callbacks are always called with the model's lock
// released, since they may stop the sampler, which needs the lock to end.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <utility>

using substitute::Accelerator;
using substitute::ComboItem;
using substitute::DialogCall;
using substitute::MenuShown;
using substitute::WindowState;

namespace substitute::detail {
namespace {

// Windows of a registered class, dialogs, and controls of the system's classes ("BUTTON", "EDIT",
// "STATIC", "COMBOBOX"). Every control takes the messages of every class: the program sends each
// only to the controls it is meant for.
enum class Kind { Window, Dialog, Control };

struct Window {
    Kind kind = Kind::Window;
    WindowState state;
    WNDPROC windowProcedure = nullptr;
    DLGPROC dialogProcedure = nullptr;
    std::optional<INT_PTR> result;  // dialogs: set by EndDialog
};

struct WindowsState {
    std::map<std::string, WNDCLASSEXA> classes;  // by upper-case name
    std::map<HWND, Window> windows;
    uintptr_t nextWindow = 0x20000;
    std::deque<MSG> queue;
    std::optional<int> quit;
    std::deque<std::function<void()>> actions;
    std::deque<UINT> menuChoices;
    POINT cursor{};
    std::map<std::string, UINT> messages;  // by upper-case name
    HWND foreground = nullptr;
    std::map<uintptr_t, bool> menus;  // loaded menus, whether destroyed; each one's popup is its handle + 1
    uintptr_t nextMenu = 0x30000;
    std::vector<MenuShown> menuLog;
    std::map<WORD, std::vector<Accelerator>> acceleratorTables;
    std::vector<DialogCall> dialogCalls;
    std::vector<HWND> openDialogs;
    std::map<std::string, bool> mutexes;  // by name: whether opening it is denied
    std::map<std::pair<HWND, UINT_PTR>, UINT> timers;  // period by window and id
};

WindowsState& State() {
    static WindowsState state;
    return state;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
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
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](WCHAR x, WCHAR y) {
               return Fold(x) == Fold(y);
           });
}

std::optional<WORD> ModuleResourceId(HINSTANCE instance, LPCSTR name) {
    if (instance != substitute::ModuleInstance() || !IS_INTRESOURCE(name)) return std::nullopt;
    return LOWORD(reinterpret_cast<uintptr_t>(name));
}

// A copy of a part of the state, taken under the lock.
template <typename Part>
Part Copy(const Part& part) {
    std::lock_guard lock(Mutex());
    return part;
}

bool LiveMenu(HMENU menu) {
    std::lock_guard lock(Mutex());
    auto it = State().menus.find(reinterpret_cast<uintptr_t>(menu));
    return it != State().menus.end() && !it->second;
}

Window* Find(HWND window) {
    auto& windows = State().windows;
    auto it = windows.find(window);
    if (it == windows.end() || it->second.state.destroyed) return nullptr;
    return &it->second;
}

// The messages the program sends to controls, under the model's lock.
LRESULT ControlMessage(Window& control, UINT message, WPARAM wParam, LPARAM lParam, bool wide) {
    auto& items = control.state.items;
    auto index = static_cast<LRESULT>(static_cast<int>(wParam));
    bool inRange = index >= 0 && index < static_cast<LRESULT>(items.size());
    if ((message == CB_ADDSTRING || message == CB_FINDSTRINGEXACT) && (!wide || lParam == 0)) {
        if (!wide) Problem("list text through SendMessageA is not modelled");
        return CB_ERR;
    }
    switch (message) {
    case BM_GETCHECK:
        return control.state.check;
    case BM_SETCHECK:
        control.state.check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
        return 0;
    case STM_GETICON:
        return reinterpret_cast<LRESULT>(control.state.icon);
    case STM_SETICON:
        return reinterpret_cast<LRESULT>(std::exchange(control.state.icon, reinterpret_cast<HICON>(wParam)));
    case CB_ADDSTRING:
        items.push_back(ComboItem{reinterpret_cast<LPCWSTR>(lParam), 0});
        return static_cast<LRESULT>(items.size() - 1);
    case CB_GETCOUNT:
        return static_cast<LRESULT>(items.size());
    case CB_GETCURSEL:
        return control.state.selection;
    case CB_SETCURSEL:
        control.state.selection = inRange ? static_cast<int>(index) : CB_ERR;
        return control.state.selection;
    case CB_GETITEMDATA:
        return inRange ? items[static_cast<size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!inRange) return CB_ERR;
        items[static_cast<size_t>(index)].data = lParam;
        return TRUE;
    case CB_FINDSTRINGEXACT:  // from the top, as the program asks with -1
        for (size_t at = 0; at < items.size(); ++at)
            if (SameTextIgnoringCase(items[at].text, reinterpret_cast<LPCWSTR>(lParam)))
                return static_cast<LRESULT>(at);
        return CB_ERR;
    }
    return 0;
}

// Sends a message to any window as SendMessage would, in the calling thread.
LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool wide) {
    WNDPROC windowProcedure;
    DLGPROC dialogProcedure;
    {
        std::lock_guard lock(Mutex());
        Window* window = Find(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (window->kind == Kind::Control) return ControlMessage(*window, message, wParam, lParam, wide);
        windowProcedure = window->windowProcedure;
        dialogProcedure = window->dialogProcedure;
    }
    if (dialogProcedure != nullptr) return dialogProcedure(handle, message, wParam, lParam);
    return windowProcedure(handle, message, wParam, lParam);
}

// Destroys a window: first the dialogs it owns, then the window itself after its WM_DESTROY,
// then its controls.
BOOL Destroy(HWND handle) {
    std::vector<HWND> owned;
    {
        std::lock_guard lock(Mutex());
        if (Find(handle) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        for (auto& [other, window] : State().windows)
            if (window.kind == Kind::Dialog && !window.state.destroyed && window.state.parent == handle)
                owned.push_back(other);
    }
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) Destroy(*it);
    Deliver(handle, WM_DESTROY, 0, 0, false);
    std::lock_guard lock(Mutex());
    for (auto& [other, window] : State().windows)
        if (other == handle || window.state.parent == handle) window.state.destroyed = true;
    return TRUE;
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

// The modal loop of one dialog: until it ends, dispatch what is posted and let the user act. A
// quit message ends every modal loop; it stays posted for the outer loop.
void RunModalLoop(HWND dialog, WORD templateId) {
    for (;;) {
        {
            std::lock_guard lock(Mutex());
            Window* window = Find(dialog);
            if (window == nullptr || window->result) return;
        }
        if (auto message = TakePosted()) {
            Dispatch(*message);
            continue;
        }
        {
            std::lock_guard lock(Mutex());
            if (State().quit) return;
        }
        if (!RunUserAction()) {
            Problem("a modal dialog (template " + std::to_string(templateId) +
                    ") waits for the user, who has nothing more to do");
            return;
        }
    }
}

const bool Registered = RegisterModel(Model{
    [] { State() = WindowsState{}; },
    [](std::vector<std::string>& problems) {
        auto& state = State();
        for (auto& [handle, destroyed] : state.menus)
            if (!destroyed) problems.push_back("a menu was never destroyed");
        if (!state.actions.empty())
            problems.push_back(std::to_string(state.actions.size()) + " user action(s) were never taken");
        if (!state.menuChoices.empty())
            problems.push_back(std::to_string(state.menuChoices.size()) + " scripted menu choice(s) were never taken");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

// --- Named mutexes ---

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    if (auto failure = TakeFailure("CreateMutexA")) {
        SetLastError(*failure);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    auto& mutexes = State().mutexes;
    auto it = name == nullptr ? mutexes.end() : mutexes.find(name);
    if (it != mutexes.end() && it->second) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (name != nullptr && it == mutexes.end()) mutexes[name] = false;
    HANDLE handle = OpenKernelHandle(HandleKind::Mutex, 0, nullptr);
    SetLastError(it != mutexes.end() ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// --- Classes and windows ---

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
    if (wc->cbSize != sizeof(WNDCLASSEXA) || IS_INTRESOURCE(wc->lpszClassName) || wc->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(Mutex());
    WNDCLASSEXA stored = *wc;
    stored.lpszClassName = nullptr;
    State().classes[Upper(wc->lpszClassName)] = stored;
    return static_cast<ATOM>(0xC000 + State().classes.size());
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
        std::string name = className != nullptr && !IS_INTRESOURCE(className) ? Upper(className) : "";
        bool control = name == "BUTTON" || name == "EDIT" || name == "STATIC" || name == "COMBOBOX";
        auto registered = state.classes.find(name);
        if (!control && registered == state.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window window;
        window.kind = control ? Kind::Control : Kind::Window;
        if (!control) window.windowProcedure = registered->second.lpfnWndProc;
        window.state = WindowState{.className = className, .text = title ? title : "", .style = style,
                                   .exStyle = exStyle, .x = x, .y = y, .width = width, .height = height,
                                   .parent = parent, .menu = menu, .instance = instance};
        handle = reinterpret_cast<HWND>(state.nextWindow += 0x10);
        state.windows[handle] = std::move(window);
        if (control) return handle;
    }
    // Creation fails when the procedure refuses either creation message.
    if (Deliver(handle, WM_NCCREATE, 0, 0, false) == 0 || Deliver(handle, WM_CREATE, 0, 0, false) == -1) {
        Destroy(handle);
        return nullptr;
    }
    return handle;
}

BOOL WINAPI DestroyWindow(HWND window) { return Destroy(window); }

BOOL WINAPI IsWindow(HWND window) {
    std::lock_guard lock(Mutex());
    return Find(window) != nullptr;
}

BOOL WINAPI ShowWindow(HWND handle, int command) {
    std::lock_guard lock(Mutex());
    Window* window = Find(handle);
    if (window == nullptr) return FALSE;
    auto& shows = window->state.shows;
    BOOL wasShown = !shows.empty() && shows.back() != SW_HIDE;
    shows.push_back(command);
    return wasShown;
}

BOOL WINAPI UpdateWindow(HWND window) { return IsWindow(window); }

BOOL WINAPI SetForegroundWindow(HWND window) {
    std::lock_guard lock(Mutex());
    State().foreground = window;
    return Find(window) != nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_NCCREATE) return TRUE;
    if (message == WM_CLOSE) Destroy(window);
    return 0;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    auto id = ModuleResourceId(instance, name);
    HICON icon = id ? substitute::SharedIcon(*id) : nullptr;
    if (icon == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return icon;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr && name == IDC_ARROW) return reinterpret_cast<HCURSOR>(uintptr_t{0x10003});
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// --- Messages ---

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    std::lock_guard lock(Mutex());
    auto& messages = State().messages;
    return messages.try_emplace(Upper(name), static_cast<UINT>(0xC0A0 + messages.size())).first->second;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(Mutex());
    if (window != nullptr && Find(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    State().queue.push_back(MSG{window, message, wParam, lParam, 0, State().cursor});
    return TRUE;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC procedure) {
    std::lock_guard lock(Mutex());
    if (window == nullptr || procedure != nullptr) {
        Problem("SetTimer: only a window's own timer is modelled");
        return 0;
    }
    State().timers[{window, id}] = period;
    return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    std::lock_guard lock(Mutex());
    return State().timers.erase({window, id}) ? TRUE : FALSE;
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
            if (auto& quit = State().quit) {
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

LRESULT WINAPI DispatchMessageA(const MSG* message) { return message == nullptr ? 0 : Dispatch(*message); }

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(window, message, wParam, lParam, false);
}

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(window, message, wParam, lParam, true);
}

// --- Accelerators: a handle is its table's resource ID ---

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
    if (auto failure = TakeFailure("LoadAcceleratorsA")) {
        SetLastError(*failure);
        return nullptr;
    }
    auto id = ModuleResourceId(instance, name);
    std::lock_guard lock(Mutex());
    if (!id || !State().acceleratorTables.count(*id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HACCEL>(uintptr_t{0x40000} + *id);
}

int WINAPI TranslateAcceleratorA(HWND window, HACCEL table, LPMSG message) {
    std::optional<WORD> command;
    {
        std::lock_guard lock(Mutex());
        auto& tables = State().acceleratorTables;
        auto it = tables.find(static_cast<WORD>(reinterpret_cast<uintptr_t>(table) - 0x40000));
        if (table == nullptr || it == tables.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        for (const Accelerator& entry : it->second)
            if (entry.message == message->message && entry.key == message->wParam) command = entry.command;
    }
    if (!command || !IsWindow(window)) return 0;
    Deliver(window, WM_COMMAND, MAKEWPARAM(*command, 1), 0, false);
    return 1;
}

// --- Menus: a loaded menu holds one popup ---

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
    if (auto failure = TakeFailure("LoadMenuA")) {
        SetLastError(*failure);
        return nullptr;
    }
    if (!ModuleResourceId(instance, name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    State().menus[State().nextMenu += 0x10] = false;
    return reinterpret_cast<HMENU>(State().nextMenu);
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
    if (TakeFailure("GetSubMenu") || !LiveMenu(menu) || position != 0) return nullptr;
    return reinterpret_cast<HMENU>(reinterpret_cast<uintptr_t>(menu) + 1);
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    std::lock_guard lock(Mutex());
    if (!LiveMenu(menu)) {
        Problem("DestroyMenu on a menu that does not exist");
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    State().menus[reinterpret_cast<uintptr_t>(menu)] = true;
    return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    std::lock_guard lock(Mutex());
    *point = State().cursor;
    return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (!LiveMenu(reinterpret_cast<HMENU>(reinterpret_cast<uintptr_t>(menu) - 1))) {
        Problem("TrackPopupMenu on something that is not a loaded popup menu");
        return FALSE;
    }
    if (Find(owner) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MenuShown shown{x, y, flags, owner, state.foreground == owner, std::nullopt};
    if (!state.menuChoices.empty()) {
        shown.chosen = state.menuChoices.front();
        state.menuChoices.pop_front();
        // The choice reaches the owner afterwards, as a posted command.
        state.queue.push_back(MSG{owner, WM_COMMAND, MAKEWPARAM(*shown.chosen, 0), 0, 0, state.cursor});
    }
    state.menuLog.push_back(shown);
    return shown.chosen.has_value();
}

// --- Dialogs ---

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM parameter) {
    auto id = ModuleResourceId(instance, name);
    {
        std::lock_guard lock(Mutex());
        State().dialogCalls.push_back(DialogCall{instance, id.value_or(0), owner, procedure, parameter});
    }
    if (!id || procedure == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    HWND dialog = substitute::MakeDialog(owner, procedure);
    {
        std::lock_guard lock(Mutex());
        State().openDialogs.push_back(dialog);
    }
    procedure(dialog, WM_INITDIALOG, 0, parameter);
    RunModalLoop(dialog, *id);
    if (IsWindow(dialog)) Destroy(dialog);
    std::lock_guard lock(Mutex());
    auto& open = State().openDialogs;
    open.erase(std::remove(open.begin(), open.end(), dialog), open.end());
    return State().windows[dialog].result.value_or(0);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    std::lock_guard lock(Mutex());
    Window* window = Find(dialog);
    if (window == nullptr || window->kind != Kind::Dialog) return FALSE;
    window->result = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    std::lock_guard lock(Mutex());
    for (auto& [handle, window] : State().windows)
        if (!window.state.destroyed && window.state.parent == dialog &&
            window.state.menu == reinterpret_cast<HMENU>(static_cast<intptr_t>(id)) && window.kind != Kind::Dialog)
            return handle;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return FALSE;
    SendMessageA(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control == nullptr ? 0 : static_cast<UINT>(SendMessageA(control, BM_GETCHECK, 0, 0));
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

// Cuts the text to the buffer with its terminating zero; the count of bytes copied without it.
int WINAPI GetWindowTextA(HWND handle, LPSTR buffer, int capacity) {
    std::lock_guard lock(Mutex());
    Window* window = Find(handle);
    if (window == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    if (buffer == nullptr || capacity <= 0) return 0;
    std::string text = window != nullptr ? window->state.text : "";
    size_t count = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = 0;
    return static_cast<int>(count);
}

// --- Control side ---

namespace substitute {

void QueueUserAction(std::function<void()> action) {
    std::lock_guard lock(Mutex());
    detail::State().actions.push_back(std::move(action));
}

void QueueDialogAction(std::function<void(HWND dialog)> action) {
    QueueUserAction([action = std::move(action)] {
        HWND dialog = nullptr;
        {
            std::lock_guard lock(Mutex());
            for (HWND open : detail::State().openDialogs)
                if (Window* window = Find(open); window != nullptr && !window->result) dialog = open;
        }
        if (dialog == nullptr)
            Problem("a dialog action found no dialog open");
        else
            action(dialog);
    });
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
    detail::State().mutexes[name] = accessDenied;
}

std::optional<WindowState> DescribeWindow(HWND window) {
    std::lock_guard lock(Mutex());
    auto& windows = detail::State().windows;
    auto it = windows.find(window);
    if (it == windows.end()) return std::nullopt;
    return it->second.state;
}

std::optional<WNDCLASSEXA> RegisteredClass(const std::string& name) {
    std::lock_guard lock(Mutex());
    auto& classes = detail::State().classes;
    auto it = classes.find(Upper(name));
    if (it == classes.end()) return std::nullopt;
    return it->second;
}

std::optional<UINT> TimerPeriod(HWND window, UINT_PTR id) {
    std::lock_guard lock(Mutex());
    auto timer = State().timers.find({window, id});
    if (timer == State().timers.end()) return std::nullopt;
    return timer->second;
}

std::vector<MSG> PostedMessages() {
    std::lock_guard lock(Mutex());
    auto& queue = detail::State().queue;
    return std::vector<MSG>(queue.begin(), queue.end());
}

std::vector<MenuShown> MenuLog() { return Copy(detail::State().menuLog); }

void SetAcceleratorTable(WORD resourceId, std::vector<Accelerator> entries) {
    std::lock_guard lock(Mutex());
    detail::State().acceleratorTables[resourceId] = std::move(entries);
}

HWND MakeDialog(HWND owner, DLGPROC procedure, const std::vector<int>& controls) {
    HWND dialog;
    {
        std::lock_guard lock(Mutex());
        auto& state = detail::State();
        dialog = reinterpret_cast<HWND>(state.nextWindow += 0x10);
        Window& window = state.windows[dialog];
        window.kind = Kind::Dialog;
        window.dialogProcedure = procedure;
        window.state.className = "#32770";
        window.state.parent = owner;
        window.state.instance = ModuleInstance();
    }
    for (int id : controls)
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, dialog,
                        reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), ModuleInstance(), nullptr);
    return dialog;
}

std::optional<INT_PTR> DialogResult(HWND dialog) {
    std::lock_guard lock(Mutex());
    auto& windows = detail::State().windows;
    auto it = windows.find(dialog);
    return it == windows.end() ? std::nullopt : it->second.result;
}

std::vector<DialogCall> DialogLog() { return Copy(detail::State().dialogCalls); }

std::vector<HWND> OpenDialogs() { return Copy(detail::State().openDialogs); }

}  // namespace substitute
