// Libraries loaded at run time: only "shell32.dll", with its icon-picking dialog (ordinal 62);
// FailNext("LoadLibraryA") or FailNext("GetProcAddress") makes it missing. The picker takes
// (owner, path buffer, capacity in characters, pointer to the icon index), returns non-zero when
// the user picked an icon, and writes what the next scripted answer says. Its text is UTF-16 on
// the NT family and narrow text in the ANSI code page otherwise, as the shell's own entry has it.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

// The platform family GetVersionExA reports: VER_PLATFORM_WIN32_NT (the default, version 5.1)
// or VER_PLATFORM_WIN32_WINDOWS (version 4.10).
void SetPlatformId(DWORD platformId);

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

// What each picker was given: its path up to the zero (UTF-16 shown as ASCII with '?' for the
// rest) and the index.
struct IconPickCall {
    std::string path;
    int index;
};
std::vector<IconPickCall> IconPickLog();

}  // namespace substitute
