// The program's one notification-area icon: its record, its tooltip and the two icons it swaps.
#pragma once

#include "platform/Lock.h"
#include "platform/Win32.h"

#include <string>
#include <vector>

// The callback message the shell sends to the main window for mouse events on the icon.
constexpr UINT TrayCallbackMessage = WM_USER + 9;

// At most this many bytes of the tooltip reach the shell; szTip keeps a terminating zero after them.
constexpr size_t TrayTipLimit = 63;

// The record every Shell_NotifyIconA call sends: the first-version layout of 88 bytes.
extern NOTIFYICONDATAA TrayRecord;

// The selected entry's display name in the ANSI code page. Read only by TrayNotify.
extern std::string TooltipText;

// The two icons the tray swaps between: the sampler reports which one the disk's state calls
// for, and every icon setting belongs to one of them.
enum TrayIconRole : int { Inactive = 0, Active = 1 };

struct IconRole {
    HICON Icon;        // what TrayNotify is given for this role
    std::string File;  // where it was extracted from; empty means the built-in icon
    LONG Index;        // its position in that file
    bool Extracted;    // Icon was extracted from the file and is ours to destroy; else it is shared
};

struct IconPairRecord {
    IconRole Active;
    IconRole Inactive;
};
extern IconPairRecord IconPair;

// The icon record of a role.
IconRole& RoleIcon(TrayIconRole role);
// The resource ID of a role's built-in icon.
WORD DefaultIconId(TrayIconRole role);

// Extracted icons that left the IconPair but may still be on screen: the shell keeps showing
// the last icon it was given, and an open Settings dialog shows the running icons.
extern std::vector<HICON> ReplacedIcons;
// The icon the shell was last given successfully; null once the tray icon is deleted.
extern HICON ShellIcon;
// Set by HoldReplacedIcons.
extern bool ReplacedIconsHeld;

// Makes `icon` the role's icon. The icon it replaces, when it was extracted from a file, is
// destroyed once the shell shows another and no dialog holds the running icons.
void ReplaceRoleIcon(TrayIconRole role, HICON icon, bool extracted);
// Set while a dialog shows the running icons: replaced icons wait until it is cleared.
void HoldReplacedIcons(bool hold);

// Held across every TrayNotify, SetTooltipText and icon replacement: the GUI thread and the sampler both
// call them, and at exit the delete comes before the sampler is stopped.
extern ProcessLock TrayLock;

void InitTrayRecord(HWND mainWindow);
// TRUE when the shell took the change.
BOOL TrayNotify(DWORD message, HICON icon);

// The main window's timer that retries an add the shell refused.
constexpr UINT_PTR TrayAddRetryTimer = 1;
// The icon was added or modified last, not deleted: the shell shows it as far as we know.
extern bool TrayIconShown;
// A refused add is being retried, and how many retries have failed so far.
extern bool TrayAddRetrying;
extern UINT TrayAddRetries;

// Adds the tray icon; when the shell refuses, arms the retry timer (every second for a minute,
// then every ten seconds). An icon the shell has already is modified instead.
void AddTrayIcon(HICON icon);
// The retry timer's tick: adds the icon, ending the retries once the shell takes it.
void RetryTrayAdd(HICON icon);
void StopTrayAddRetry();
// One modify with the icon and the current tooltip, only while the icon is shown.
void RefreshTrayIcon(HICON icon);
// Makes the display name, converted to the ANSI code page, the tooltip text.
void SetTooltipText(const WideString& displayName);
HICON LoadDefaultIcon(WORD resourceId);
