#include "settings/IconChooser.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The shell's icon picker: the same arguments in UTF-16 on the NT family, narrow elsewhere.
typedef int(WINAPI* WideIconPicker)(HWND owner, LPWSTR path, UINT capacity, int* index);
typedef int(WINAPI* NarrowIconPicker)(HWND owner, LPSTR path, UINT capacity, int* index);
constexpr WORD IconPickerOrdinal = 62;

// Converts a terminated wide path to the ANSI code page, TRUE only when nothing was lost. A
// UTF-8 ANSI page can hold every character but refuses the best-fit flag and the used-default
// report; there a lone surrogate is what would be lost.
BOOL ConvertPathExactly(const WCHAR* wide, char* narrow, int capacity) {
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, wide, -1, narrow, capacity, nullptr, nullptr) != 0;
    BOOL replaced = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow, capacity, nullptr, &replaced) != 0 &&
           !replaced;
}

// Calls the UTF-16 picker through a buffer of its own. The path comes back only when it
// converts to the ANSI code page exactly: a best-fit or replaced character would name another
// file, or none.
BOOL PickWide(WideIconPicker picker, HWND owner, LPSTR path, UINT capacity, int* index) {
    std::vector<WCHAR> wide(capacity, 0);
    int length = static_cast<int>(strnlen(path, capacity));
    if (length > 0 && MultiByteToWideChar(CP_ACP, 0, path, length, wide.data(), static_cast<int>(capacity) - 1) == 0)
        std::fill(wide.begin(), wide.end(), WCHAR{0});
    int chosen = *index;
    if (!picker(owner, wide.data(), capacity, &chosen)) return FALSE;
    // A path that fills the buffer without its zero has lost its end.
    if (std::find(wide.begin(), wide.end(), WCHAR{0}) == wide.end() || wide[0] == 0) return FALSE;
    std::vector<char> narrow(capacity, 0);
    if (!ConvertPathExactly(wide.data(), narrow.data(), static_cast<int>(capacity))) return FALSE;
    std::memcpy(path, narrow.data(), capacity);
    *index = chosen;
    return TRUE;
}

// Calls the narrow picker through a copy of the path, so that nothing changes unless it
// answers with a whole path.
BOOL PickNarrow(NarrowIconPicker picker, HWND owner, LPSTR path, UINT capacity, int* index) {
    std::vector<char> narrow(capacity, 0);
    std::memcpy(narrow.data(), path, std::min<size_t>(strnlen(path, capacity), capacity - 1));
    int chosen = *index;
    if (!picker(owner, narrow.data(), capacity, &chosen)) return FALSE;
    if (std::memchr(narrow.data(), 0, capacity) == nullptr || narrow[0] == 0) return FALSE;
    std::memcpy(path, narrow.data(), capacity);
    *index = chosen;
    return TRUE;
}

}  // namespace

// Loads the shell's picker for this one call and unloads it after.
BOOL ChooseIcon(HWND owner, LPSTR path, UINT capacity, int* index) {
    if (path == nullptr || capacity == 0 || index == nullptr) return FALSE;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    // Without the platform family the picker's text width is unknown; guessing wrong would
    // hand it a buffer of the other width.
    if (!GetVersionExA(&version)) return FALSE;
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr) return FALSE;
    BOOL picked = FALSE;
    if (FARPROC entry = GetProcAddress(shell, MAKEINTRESOURCEA(IconPickerOrdinal))) {
        // Through the generic function pointer type, which converts to any other.
        auto generic = reinterpret_cast<void (*)()>(entry);
        if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            picked = PickWide(reinterpret_cast<WideIconPicker>(generic), owner, path, capacity, index);
        else
            picked = PickNarrow(reinterpret_cast<NarrowIconPicker>(generic), owner, path, capacity, index);
    }
    FreeLibrary(shell);
    return picked;
}
