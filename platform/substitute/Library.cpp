// Libraries loaded at run time: "shell32.dll" and its icon-picking dialog, ordinal 62.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace substitute::detail {
namespace {

constexpr WORD PickIconOrdinal = 62;

struct Library {
    HMODULE handle = nullptr;
    bool present = false;
    std::set<WORD> removedEntries;
    size_t loads = 0;
};

struct LibraryState {
    std::map<std::string, Library> libraries;  // by lower-case name
    std::deque<IconPickAnswer> answers;
    std::vector<IconPickCall> calls;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

Library* FindLoaded(HMODULE handle) {
    for (auto& [name, library] : State().libraries)
        if (library.handle == handle && library.loads > 0) return &library;
    return nullptr;
}

bool ShellLoaded() {
    auto it = State().libraries.find("shell32.dll");
    return it != State().libraries.end() && it->second.loads > 0;
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
    if (!ShellLoaded()) Problem("the icon picker was called while its library was not loaded");
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

int WINAPI PickIconWide(HWND owner, LPWSTR path, UINT capacity, int* index) {
    auto answer = BeginPick(owner, path, capacity, index, true);
    if (!answer) return 0;
    if (answer->path) WritePath(*answer->path, answer->terminated, path, capacity);
    if (answer->index) *index = *answer->index;
    return answer->confirmed ? 1 : 0;
}

int WINAPI PickIconNarrow(HWND owner, LPSTR path, UINT capacity, int* index) {
    auto answer = BeginPick(owner, path, capacity, index, false);
    if (!answer) return 0;
    if (answer->path) WritePath(AnsiPath(*answer->path), answer->terminated, path, capacity);
    if (answer->index) *index = *answer->index;
    return answer->confirmed ? 1 : 0;
}

// Through the generic function pointer type, which converts to and from any other.
template <typename Function>
FARPROC Entry(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const bool Registered = RegisterModel(Model{
    [] {
        State() = LibraryState{};
        Library& shell = State().libraries["shell32.dll"];
        shell.handle = reinterpret_cast<HMODULE>(uintptr_t{0x7CA00000});
        shell.present = true;
    },
    [](std::vector<std::string>& problems) {
        for (auto& [name, library] : State().libraries)
            if (library.loads > 0) problems.push_back(name + " was loaded and never freed");
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
    auto it = name == nullptr ? State().libraries.end() : State().libraries.find(Lower(name));
    if (it == State().libraries.end() || !it->second.present) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++it->second.loads;
    return it->second.handle;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (auto failure = TakeFailure("GetProcAddress")) {
        SetLastError(*failure);
        return nullptr;
    }
    std::lock_guard lock(Mutex());
    Library* library = FindLoaded(module);
    if (library == nullptr) {
        Problem("GetProcAddress on a library that is not loaded");
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The picker is exported by ordinal only.
    if (!IS_INTRESOURCE(name) || module != State().libraries["shell32.dll"].handle) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    WORD ordinal = LOWORD(reinterpret_cast<uintptr_t>(name));
    if (ordinal != PickIconOrdinal || library->removedEntries.count(ordinal)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return PlatformId() == VER_PLATFORM_WIN32_NT ? Entry(&PickIconWide) : Entry(&PickIconNarrow);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard lock(Mutex());
    Library* library = FindLoaded(module);
    if (library == nullptr) {
        Problem("FreeLibrary on a library that is not loaded");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --library->loads;
    return TRUE;
}

namespace substitute {

void RemoveLibrary(const std::string& name) {
    std::lock_guard lock(Mutex());
    detail::State().libraries[Lower(name)].present = false;
}

void RemoveLibraryEntry(const std::string& library, WORD ordinal) {
    std::lock_guard lock(Mutex());
    detail::State().libraries[Lower(library)].removedEntries.insert(ordinal);
}

size_t LoadedLibraries() {
    std::lock_guard lock(Mutex());
    size_t loads = 0;
    for (auto& [name, library] : detail::State().libraries) loads += library.loads;
    return loads;
}

void ScriptIconPick(IconPickAnswer answer) {
    std::lock_guard lock(Mutex());
    detail::State().answers.push_back(std::move(answer));
}

IconPickAnswer PickedIcon(const std::basic_string<WCHAR>& path, int index) {
    return IconPickAnswer{true, path, index, true};
}

IconPickAnswer CancelledPick() { return IconPickAnswer{}; }

std::vector<IconPickCall> IconPickLog() {
    std::lock_guard lock(Mutex());
    return detail::State().calls;
}

}  // namespace substitute
