// The program's one notification-area icon: its record, its tooltip and the two icons it swaps.
#pragma once

#include "platform/Win32.h"

#include <string>

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

// Makes `icon` the role's icon. The icon it replaces, when it was extracted from a file, is
// destroyed once the shell shows another and no dialog holds the running icons.
void ReplaceRoleIcon(TrayIconRole role, HICON icon, bool extracted);
// Set while a dialog shows the running icons: replaced icons wait until it is cleared.
void HoldReplacedIcons(bool hold);

// Fills the record's fixed fields for the main window; the presenter starts with no icon shown
// and no retry running.
void InitTrayRecord(HWND mainWindow);

// The main window's timer that retries an add the shell refused.
constexpr UINT_PTR TrayAddRetryTimer = 1;

// Adds (NIM_ADD), modifies (NIM_MODIFY) or deletes (NIM_DELETE) the tray icon with `icon` and the
// current tooltip; TRUE when the shell took the change. An add of an icon the shell has already
// modifies it; an add the shell refuses (the notification area is not there yet at logon) is
// retried from TrayAddRetryTimer, every second for a minute and then every ten seconds, until the
// shell takes it or the icon is deleted.
BOOL TrayNotify(DWORD message, HICON icon);
// The retry timer's tick, with the icon that should show now.
void RetryTrayAdd(HICON icon);

// Makes the display name, converted to the ANSI code page, the tooltip text.
void SetTooltipText(const WideString& displayName);
HICON LoadDefaultIcon(WORD resourceId);
