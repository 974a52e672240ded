// Libraries loaded at run time: only "shell32.dll", with its icon-picking dialog (ordinal 62);
// FailNext("LoadLibraryA") or FailNext("GetProcAddress") makes it missing.
//
// The picker takes (owner, path buffer, capacity in characters, pointer to the icon index) and
// returns non-zero when the user picked an icon. Its text is UTF-16 on the NT family and narrow
// text in the ANSI code page otherwise (SetPlatformId), as the shell's own entry has it. It
// reads the path and the index it is given and writes what the next scripted answer says.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <optional>
#include <string>
#include <vector>

namespace substitute {

// What the user does in the next icon picker. The path and the index are written whenever they
// are given, whether the user confirms or not.
struct IconPickAnswer {
    bool confirmed = false;
    // Cut to the caller's capacity with its terminating zero; on a narrow picker converted to
    // the ANSI code page first ('?' for what the page lacks).
    std::optional<std::basic_string<WCHAR>> path;
    std::optional<int> index;
    // False: the path fills the whole buffer with no terminating zero (a shorter path is
    // padded with 'x' to do so), as a broken picker might leave it.
    bool terminated = true;
};
void ScriptIconPick(IconPickAnswer answer);
// The user picks icon `index` of `path`.
IconPickAnswer PickedIcon(const std::basic_string<WCHAR>& path, int index);

struct IconPickCall {
    HWND owner = nullptr;
    bool wide = false;   // the UTF-16 entry
    std::string path;    // as given, up to its zero; UTF-16 shown as ASCII with '?' for the rest
    UINT capacity = 0;
    int index = 0;       // as given
};
std::vector<IconPickCall> IconPickLog();

}  // namespace substitute
