// The notification area and the icons: the module's shared icons 110-114, icons extracted from files.
#include "platform/substitute/Internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <strings.h>
#include <thread>

namespace substitute::detail {
namespace {

const HINSTANCE Instance = reinterpret_cast<HINSTANCE>(uintptr_t{0x400000});
// The module's icons are shared, one handle each, as the loader caches them: this plus the ID.
constexpr uintptr_t SharedIcons = 0x7000;

// Guarded by Mutex().
std::vector<NotifyCall> Calls;
std::optional<ShownIcon> Shown;
bool Running;
std::map<std::string, UINT> IconFiles;                // the number of icons each holds
std::map<HICON, std::pair<std::string, bool>> Icons;  // extracted: "file#index", whether destroyed
uintptr_t NextIcon = 0x8000;

std::atomic<int> NotifyCallsInside{0};
std::atomic<DWORD> NotifyDelay;

const bool Registered = RegisterModel(Model{[] {
    Calls.clear();
    Shown.reset();
    Running = true;
    IconFiles = {{"C:\\windows\\system32\\shell32.dll", 300}, {"C:\\windows\\win.ini", 0}};
    Icons.clear();
    NotifyDelay = 0;
}});

WORD SharedId(HICON icon) {
    uintptr_t id = reinterpret_cast<uintptr_t>(icon) - SharedIcons;
    return id >= 110 && id <= 114 ? static_cast<WORD>(id) : 0;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute;
using namespace substitute::detail;

// An add of an icon the shell has already fails, as does a modify or delete of one it has not.
BOOL WINAPI Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
    if (NotifyCallsInside.fetch_add(1) != 0) Problem("Shell_NotifyIconA calls overlapped");
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ScaledMilliseconds(NotifyDelay)));
    std::lock_guard lock(Mutex());
    bool destroyed = message != NIM_DELETE && Icons.count(data->hIcon) && Icons[data->hIcon].second;
    if (data->cbSize != NOTIFYICONDATAA_V1_SIZE || std::memchr(data->szTip, 0, 64) == nullptr || destroyed)
        Problem("Shell_NotifyIconA: not the first-version size, szTip not ended within 64 bytes, or a destroyed icon");
    BOOL result = !TakeFailure("Shell_NotifyIconA") && Running && (message == NIM_ADD) != Shown.has_value();
    if (result) Shown = message == NIM_DELETE ? std::nullopt : std::optional(ShownIcon{data->hIcon, data->szTip});
    Calls.push_back(NotifyCall{message, *data, result});
    NotifyCallsInside.fetch_sub(1);
    return result;
}

HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    HICON icon = reinterpret_cast<HICON>(SharedIcons + reinterpret_cast<uintptr_t>(name));
    if (instance == Instance && SharedId(icon) && type == IMAGE_ICON && cx == GetSystemMetrics(SM_CXSMICON) &&
        cy == GetSystemMetrics(SM_CYSMICON) && (flags & LR_SHARED))
        return icon;
    return Failed(ERROR_INVALID_PARAMETER, HANDLE{});
}

int WINAPI GetSystemMetrics(int index) {
    return index == SM_CXSMICON || index == SM_CYSMICON ? 16 : 0;
}

// One small icon: a negative index -n names resource ID n, and a file's icons here have the IDs
// 1 to its count. A file of no icons yields none; one that cannot be read answers UINT_MAX.
UINT WINAPI ExtractIconExA(LPCSTR file, int index, HICON* large, HICON* small, UINT count) {
    if (large != nullptr || small == nullptr || count != 1) Problem("ExtractIconExA: not one small icon");
    if (TakeFailure("ExtractIconExA")) return 0;
    std::lock_guard lock(Mutex());
    auto it = IconFiles.find(file != nullptr ? file : "");
    if (it == IconFiles.end()) return UINT32_MAX;
    if ((index < 0 ? 0u - static_cast<UINT>(index) - 1 : static_cast<UINT>(index)) >= it->second) return 0;
    *small = reinterpret_cast<HICON>(NextIcon += 4);
    Icons[*small] = {std::string(file) + "#" + std::to_string(index), false};
    return 1;
}

// %SystemRoot% (in any case) at the start becomes C:\windows; any other text stays as it is.
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD capacity) {
    std::string text = source;
    if (strncasecmp(source, "%SystemRoot%", 12) == 0) text.replace(0, 12, "C:\\windows");
    if (text.size() < capacity) std::memcpy(destination, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size() + 1);
}

BOOL WINAPI DestroyIcon(HICON icon) {
    std::lock_guard lock(Mutex());
    auto extracted = Icons.find(icon);
    if (extracted == Icons.end() || extracted->second.second || (Shown && Shown->icon == icon)) {
        Problem("DestroyIcon on " + substitute::DescribeIcon(icon) + (Shown && Shown->icon == icon ? ", shown" : ""));
        return FALSE;
    }
    extracted->second.second = true;
    return TRUE;
}

HINSTANCE substitute::ModuleInstance() {
    return Instance;
}

HICON substitute::SharedIcon(WORD id) {
    return reinterpret_cast<HICON>(SharedIcons + id);
}

std::vector<NotifyCall> substitute::NotifyLog() {
    return Copied(Calls);
}

std::optional<ShownIcon> substitute::TrayIcon() {
    return Copied(Shown);
}

void substitute::SetNotifyDelay(DWORD milliseconds) {
    NotifyDelay = milliseconds;
}

void substitute::RestartShell() {
    UnderLock([] { Shown.reset(); });
}

void substitute::SetShellRunning(bool running) {
    UnderLock([&] { Running = running; });
    if (!running) RestartShell();
}

void substitute::AddIconFile(const std::string& path, UINT iconCount) {
    UnderLock([&] { IconFiles[path] = iconCount; });
}

size_t substitute::LiveFileIcons() {
    std::lock_guard lock(Mutex());
    return std::count_if(Icons.begin(), Icons.end(), [](auto& icon) { return !icon.second.second; });
}

// "shared 113", "file#index" (" destroyed" once it is), "null" or "not an icon".
std::string substitute::DescribeIcon(HICON icon) {
    std::lock_guard lock(Mutex());
    if (SharedId(icon)) return "shared " + std::to_string(SharedId(icon));
    if (Icons.count(icon)) return Icons[icon].first + (Icons[icon].second ? " destroyed" : "");
    return icon == nullptr ? "null" : "not an icon";
}
