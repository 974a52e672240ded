// Libraries loaded at run time: "shell32.dll" and its icon-picking dialog, ordinal 62; and the
// platform family GetVersionExA reports, which decides the picker's text width.
#include "platform/substitute/Internal.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <deque>

namespace substitute::detail {
namespace {

const HMODULE Shell = reinterpret_cast<HMODULE>(uintptr_t{0x7CA00000});

// Guarded by Mutex().
DWORD PlatformId;
size_t ShellLoads;
std::deque<IconPickAnswer> Answers;
std::vector<IconPickCall> Calls;

const bool Registered = RegisterModel(Model{
    [] {
        PlatformId = VER_PLATFORM_WIN32_NT;
        ShellLoads = 0;
        Answers.clear();
        Calls.clear();
    },
    [](std::vector<std::string>& problems) {
        if (ShellLoads > 0) problems.push_back("shell32.dll was loaded and never freed");
        if (!Answers.empty()) problems.push_back("an icon pick was scripted and never asked for");
    },
});

// The picker of either text width: it reads the path and the index it is given, then writes what
// the next scripted answer says, in UTF-16 or in the ANSI code page.
template <typename Unit>
int WINAPI PickIcon(HWND, Unit* path, UINT capacity, int* index) {
    std::unique_lock lock(Mutex());
    const Unit* end = path == nullptr ? nullptr : std::find(path, path + capacity, Unit(0));
    if (ShellLoads == 0 || end == nullptr || end == path + capacity || index == nullptr || Answers.empty()) {
        Problem("the icon picker was called without its library, a terminated path, an index or a scripted answer");
        return 0;
    }
    std::string given;
    for (const Unit* at = path; at != end; ++at)
        given.push_back(static_cast<std::make_unsigned_t<Unit>>(*at) < 0x80 ? static_cast<char>(*at) : '?');
    Calls.push_back(IconPickCall{given, *index});
    IconPickAnswer answer = std::move(Answers.front());
    Answers.pop_front();
    lock.unlock();
    if (answer.path) {
        std::basic_string<Unit> text(4 * answer.path->size(), Unit(0));
        if constexpr (sizeof(Unit) == 1)
            text.resize(WideCharToMultiByte(CP_ACP, 0, answer.path->data(), static_cast<int>(answer.path->size()),
                                            text.data(), static_cast<int>(text.size()), nullptr, nullptr));
        else
            text = *answer.path;
        if (!answer.terminated) text.resize(std::max<size_t>(text.size(), capacity), Unit('x'));
        size_t count = std::min<size_t>(text.size(), answer.terminated ? capacity - 1 : capacity);
        std::memcpy(path, text.data(), count * sizeof(Unit));
        if (answer.terminated) path[count] = 0;
    }
    if (answer.index) *index = *answer.index;
    return answer.confirmed ? 1 : 0;
}

// Through the generic function pointer type, which converts to and from any other.
template <typename Function>
FARPROC Entry(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (Fails("LoadLibraryA")) return nullptr;
    std::lock_guard lock(Mutex());
    if (name == nullptr || strcasecmp(name, "shell32.dll") != 0) return Failed(ERROR_MOD_NOT_FOUND, nullptr);
    ++ShellLoads;
    return Shell;
}

// The picker is exported by ordinal only.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (Fails("GetProcAddress")) return nullptr;
    std::lock_guard lock(Mutex());
    if (module != Shell || ShellLoads == 0) Problem("GetProcAddress on a library that is not loaded");
    if (reinterpret_cast<uintptr_t>(name) != 62) return Failed(ERROR_PROC_NOT_FOUND, nullptr);
    return PlatformId == VER_PLATFORM_WIN32_NT ? Entry(&PickIcon<WCHAR>) : Entry(&PickIcon<char>);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard lock(Mutex());
    if (module == Shell && ShellLoads > 0) {
        --ShellLoads;
        return TRUE;
    }
    Problem("FreeLibrary on a library that is not loaded");
    return FALSE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (Fails("GetVersionExA")) return FALSE;
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return Failed(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::lock_guard lock(Mutex());
    bool nt = PlatformId == VER_PLATFORM_WIN32_NT;
    *info = OSVERSIONINFOA{sizeof(OSVERSIONINFOA), nt ? 5u : 4u, nt ? 1u : 10u, nt ? 2600u : 2222u, PlatformId, {}};
    return TRUE;
}

void substitute::SetPlatformId(DWORD platformId) {
    UnderLock([&] { PlatformId = platformId; });
}

void substitute::ScriptIconPick(IconPickAnswer answer) {
    UnderLock([&] { Answers.push_back(std::move(answer)); });
}

std::vector<substitute::IconPickCall> substitute::IconPickLog() {
    return Copied(Calls);
}
