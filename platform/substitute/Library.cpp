// Libraries loaded at run time: "shell32.dll" and its icon-picking dialog, ordinal 62.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <deque>

namespace substitute::detail {
namespace {

constexpr WORD PickIconOrdinal = 62;

const HMODULE Shell = reinterpret_cast<HMODULE>(uintptr_t{0x7CA00000});

struct LibraryState {
    size_t shellLoads = 0;
    std::deque<IconPickAnswer> answers;
    std::vector<IconPickCall> calls;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

// The answer's path in the ANSI code page, as a narrow picker would hold it.
std::string AnsiPath(const std::basic_string<WCHAR>& path) {
    if (path.empty()) return {};
    int size = static_cast<int>(path.size());
    int bytes = WideCharToMultiByte(CP_ACP, 0, path.data(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

// Writes the answer's text into the caller's buffer of `capacity` units.
template <typename Unit>
void WritePath(std::basic_string<Unit> text, bool terminated, Unit* buffer, UINT capacity) {
    if (terminated) {
        size_t count = std::min<size_t>(text.size(), capacity - 1);
        std::memcpy(buffer, text.data(), count * sizeof(Unit));
        buffer[count] = 0;
        return;
    }
    text.resize(std::max<size_t>(text.size(), capacity), Unit('x'));
    std::memcpy(buffer, text.data(), capacity * sizeof(Unit));
}

// The checks and the log common to both pickers; the answer to give, if any.
template <typename Unit>
std::optional<IconPickAnswer> BeginPick(HWND owner, const Unit* path, UINT capacity, const int* index,
                                        bool wide) {
    std::lock_guard lock(Mutex());
    if (State().shellLoads == 0) Problem("the icon picker was called while its library was not loaded");
    if (path == nullptr || capacity == 0 || index == nullptr) {
        Problem("the icon picker was given no path buffer or no index");
        return std::nullopt;
    }
    const Unit* end = std::find(path, path + capacity, Unit(0));
    if (end == path + capacity) {
        Problem("the icon picker was given a path without a terminating zero");
        return std::nullopt;
    }
    std::string given;
    for (const Unit* at = path; at != end; ++at) {
        auto unit = static_cast<std::make_unsigned_t<Unit>>(*at);
        given.push_back(!wide || unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    State().calls.push_back(IconPickCall{owner, wide, given, capacity, *index});
    if (State().answers.empty()) {
        Problem("the icon picker opened, and the user has no answer scripted");
        return std::nullopt;
    }
    IconPickAnswer answer = std::move(State().answers.front());
    State().answers.pop_front();
    return answer;
}

// The picker of either text width: UTF-16 (WCHAR) or the ANSI code page (char).
template <typename Unit>
int WINAPI PickIcon(HWND owner, Unit* path, UINT capacity, int* index) {
    auto answer = BeginPick(owner, path, capacity, index, sizeof(Unit) == 2);
    if (!answer) return 0;
    if constexpr (sizeof(Unit) == 2) {
        if (answer->path) WritePath(*answer->path, answer->terminated, path, capacity);
    } else {
        if (answer->path) WritePath(AnsiPath(*answer->path), answer->terminated, path, capacity);
    }
    if (answer->index) *index = *answer->index;
    return answer->confirmed ? 1 : 0;
}

// Through the generic function pointer type, which converts to and from any other.
template <typename Function>
FARPROC Entry(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const bool Registered = RegisterModel(Model{
    [] { State() = LibraryState{}; },
    [](std::vector<std::string>& problems) {
        if (State().shellLoads > 0) problems.push_back("shell32.dll was loaded and never freed");
        if (!State().answers.empty())
            problems.push_back(std::to_string(State().answers.size()) + " icon pick(s) were never asked for");
    },
});

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (auto failure = TakeFailure("LoadLibraryA")) {
        SetLastError(*failure);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    if (name == nullptr || strcasecmp(name, "shell32.dll") != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++State().shellLoads;
    return Shell;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (auto failure = TakeFailure("GetProcAddress")) {
        SetLastError(*failure);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    if (module != Shell || State().shellLoads == 0) {
        Problem("GetProcAddress on a library that is not loaded");
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The picker is exported by ordinal only.
    if (!IS_INTRESOURCE(name) || LOWORD(reinterpret_cast<uintptr_t>(name)) != PickIconOrdinal) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return PlatformId() == VER_PLATFORM_WIN32_NT ? Entry(&PickIcon<WCHAR>) : Entry(&PickIcon<char>);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard lock(Mutex());
    if (module != Shell || State().shellLoads == 0) {
        Problem("FreeLibrary on a library that is not loaded");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --State().shellLoads;
    return TRUE;
}

namespace substitute {

void ScriptIconPick(IconPickAnswer answer) {
    std::lock_guard lock(Mutex());
    detail::State().answers.push_back(std::move(answer));
}

IconPickAnswer PickedIcon(const std::basic_string<WCHAR>& path, int index) {
    return IconPickAnswer{true, path, index, true};
}

std::vector<IconPickCall> IconPickLog() {
    std::lock_guard lock(Mutex());
    return detail::State().calls;
}

}  // namespace substitute
