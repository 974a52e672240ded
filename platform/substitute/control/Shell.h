// The notification area and the icons the program can load.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

// The module instance handle that the program is given; its icon resources are 110 to 114.
HINSTANCE ModuleInstance();

// The shared handle LoadImageA returns for icon resource `id` of the module.
HICON SharedIcon(WORD id);

struct NotifyCall {
    DWORD message;
    NOTIFYICONDATAA record;  // as passed: the first cbSize bytes are what the shell reads
    BOOL result;
};
std::vector<NotifyCall> NotifyLog();

struct ShownIcon {
    HICON icon;
    std::string tip;
};
// The program's icon in the notification area, if one is shown.
std::optional<ShownIcon> TrayIcon();

// Each Shell_NotifyIconA call lasts this long (scaled): widens the window for overlaps, which
// are reported as problems.
void SetNotifyDelay(DWORD milliseconds);

// The shell restarts: its icon is gone.
void RestartShell();
// No notification area while not running (at logon, say): every call fails and no icon shows.
void SetShellRunning(bool running);

// A file the icon extractor can read, with the number of icons it holds. As on Windows,
// ExtractIconA answers 1 (not an icon) for a file that holds none, the number of icons for index
// -1, and null for an index past the last icon or a file it cannot read; a negative index -n is
// the icon of resource ID n, and the icons have the IDs 1 to the count.
// C:\windows\system32\shell32.dll (300 icons) and C:\windows\win.ini (none) are always there.
void AddIconFile(const std::string& path, UINT iconCount);

// Icons extracted from files and not destroyed yet.
size_t LiveFileIcons();

// "shared 113" for a module icon, "file#index" for an extracted one (with " destroyed" once it
// is), "null" or "not an icon".
std::string DescribeIcon(HICON icon);

}  // namespace substitute
