// The notification area and the icons: shared module icons 110-114, icons extracted from files.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

namespace substitute::detail {
namespace {

struct ShellState {
    std::vector<NotifyCall> calls;
    std::optional<ShownIcon> shown;
    DWORD notifyDelay = 0;
    bool running = true;
    std::map<HICON, IconInfo> icons;
    std::map<std::string, UINT> iconFiles;
    uintptr_t nextIcon = 0x7000;
};

ShellState& State() {
    static ShellState state;
    return state;
}

std::atomic<int> NotifyCallsInside{0};

HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(uintptr_t{0x400000}); }

HICON NewIcon(IconInfo info) {
    auto& state = State();
    HICON icon = reinterpret_cast<HICON>(state.nextIcon += 4);
    state.icons[icon] = std::move(info);
    return icon;
}

const bool Registered = RegisterModel(Model{
    [] {
        State() = ShellState{};
        // The module's shared icons exist from the start, one handle each, as the loader caches them.
        for (WORD id = 110; id <= 114; ++id) NewIcon(IconInfo{true, id, {}, 0, false});
        // Two files every Windows has: a library of many icons and a file that is none.
        State().iconFiles["C:\\windows\\system32\\shell32.dll"] = 300;
        State().iconFiles["C:\\windows\\win.ini"] = 0;
    },
    [](std::vector<std::string>&) {},
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::IconInfo;
using substitute::NotifyCall;
using substitute::ShownIcon;

BOOL WINAPI Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
    if (NotifyCallsInside.fetch_add(1) != 0) Problem("Shell_NotifyIconA calls overlapped");
    DWORD delay;
    {
        std::lock_guard lock(Mutex());
        delay = State().notifyDelay;
    }
    if (delay) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ScaledMilliseconds(delay)));

    std::lock_guard lock(Mutex());
    auto& state = State();
    NOTIFYICONDATAA record{};
    std::memcpy(&record, data, sizeof record);
    BOOL result = FALSE;
    if (TakeFailure("Shell_NotifyIconA") || !state.running) {
        result = FALSE;
    } else if (data->cbSize != NOTIFYICONDATAA_V1_SIZE) {
        Problem("Shell_NotifyIconA: cbSize is not the first-version size");
    } else if (std::memchr(data->szTip, 0, 64) == nullptr) {
        Problem("Shell_NotifyIconA: szTip is not terminated within 64 bytes");
    } else {
        auto icon = state.icons.find(data->hIcon);
        if (message != NIM_DELETE && icon != state.icons.end() && icon->second.destroyed)
            Problem("Shell_NotifyIconA: the icon was destroyed");
        ShownIcon next{data->hIcon, std::string(data->szTip)};
        switch (message) {
        case NIM_ADD:
            // A second add of the same icon fails, as the shell has it already.
            if (!state.shown) state.shown = next, result = TRUE;
            break;
        case NIM_MODIFY:
            // A modify never brings back an icon that is gone.
            if (state.shown) state.shown = next, result = TRUE;
            break;
        case NIM_DELETE:
            result = state.shown ? TRUE : FALSE;
            state.shown.reset();
            break;
        default:
            Problem("Shell_NotifyIconA: unknown message");
        }
    }
    state.calls.push_back(NotifyCall{message, record, result, GetCurrentThreadId()});
    NotifyCallsInside.fetch_sub(1);
    return result;
}

HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    if (auto failure = TakeFailure("LoadImageA")) {
        SetLastError(*failure);
        return nullptr;
    }
    if (instance != Instance() || !IS_INTRESOURCE(name) || type != IMAGE_ICON || cx != 16 ||
        cy != 16 || !(flags & LR_SHARED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return substitute::SharedIcon(LOWORD(reinterpret_cast<uintptr_t>(name)));
}

HICON WINAPI ExtractIconA(HINSTANCE instance, LPCSTR file, UINT index) {
    if (TakeFailure("ExtractIconA")) return nullptr;
    std::lock_guard lock(Mutex());
    auto& state = State();
    if (instance != Instance() || file == nullptr) return nullptr;
    auto it = state.iconFiles.find(file);
    if (it == state.iconFiles.end()) return nullptr;
    // A file added with no icons is one that is no executable, library or icon file: for
    // those, Windows answers 1 rather than null.
    if (it->second == 0) return reinterpret_cast<HICON>(uintptr_t{1});
    // -1 asks for the number of icons, answered in the handle's place.
    if (index == static_cast<UINT>(-1)) return reinterpret_cast<HICON>(uintptr_t{it->second});
    // Other negative indexes name resource IDs; a file's icons here have the IDs 1 to count.
    UINT position = static_cast<int>(index) < 0 ? 0 - index - 1 : index;
    if (position >= it->second) return nullptr;
    return NewIcon(IconInfo{false, 0, file, index, false});
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) { return name == nullptr ? Instance() : nullptr; }

BOOL WINAPI DestroyIcon(HICON icon) {
    std::lock_guard lock(Mutex());
    auto it = State().icons.find(icon);
    if (it == State().icons.end()) {
        Problem("DestroyIcon on something that is not an icon");
        return FALSE;
    }
    if (it->second.shared) {
        Problem("DestroyIcon on a shared icon");
        return FALSE;
    }
    if (it->second.destroyed) {
        Problem("DestroyIcon on an icon destroyed before");
        return FALSE;
    }
    if (State().shown && State().shown->icon == icon) Problem("DestroyIcon on the icon the tray shows");
    it->second.destroyed = true;
    return TRUE;
}

namespace substitute {

HINSTANCE ModuleInstance() { return detail::Instance(); }


HICON SharedIcon(WORD id) {
    std::lock_guard lock(Mutex());
    for (auto& [icon, info] : detail::State().icons)
        if (info.shared && info.resourceId == id) return icon;
    return nullptr;
}

std::vector<NotifyCall> NotifyLog() {
    std::lock_guard lock(Mutex());
    return detail::State().calls;
}

std::optional<ShownIcon> TrayIcon() {
    std::lock_guard lock(Mutex());
    return detail::State().shown;
}

void SetNotifyDelay(DWORD milliseconds) {
    std::lock_guard lock(Mutex());
    detail::State().notifyDelay = milliseconds;
}

void RestartShell() {
    std::lock_guard lock(Mutex());
    detail::State().shown.reset();
}

void SetShellRunning(bool running) {
    std::lock_guard lock(Mutex());
    detail::State().running = running;
    if (!running) detail::State().shown.reset();
}

void AddIconFile(const std::string& path, UINT iconCount) {
    std::lock_guard lock(Mutex());
    detail::State().iconFiles[path] = iconCount;
}

size_t LiveFileIcons() {
    std::lock_guard lock(Mutex());
    size_t live = 0;
    for (auto& [icon, info] : detail::State().icons) live += !info.shared && !info.destroyed;
    return live;
}

std::optional<IconInfo> DescribeIcon(HICON icon) {
    std::lock_guard lock(Mutex());
    auto it = detail::State().icons.find(icon);
    if (it == detail::State().icons.end()) return std::nullopt;
    return it->second;
}

}  // namespace substitute
