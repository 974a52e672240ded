// The program's one notification-area icon: its record, its tooltip and the two icons it swaps.
#pragma once

#include "platform/Lock.h"
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

// Held across every TrayNotify and SetTooltipText: the GUI thread and the sampler both
// call them, and at exit the delete comes before the sampler is stopped.
extern ProcessLock TrayLock;

void InitTrayRecord(HWND mainWindow);
void TrayNotify(DWORD message, HICON icon);
// Makes the display name, converted to the ANSI code page, the tooltip text.
void SetTooltipText(const WideString& displayName);
HICON LoadDefaultIcon(WORD resourceId);
