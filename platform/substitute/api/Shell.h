// The notification area and the icons.
#pragma once

#include "platform/substitute/api/Types.h"

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

#define IMAGE_ICON 1
#define LR_LOADTRANSPARENT 0x00000020
#define LR_SHARED 0x00008000

// The shell reads only the fields that cbSize covers: 88 bytes are the first-version record
// (through szTip[64] on 32-bit Windows).
typedef struct _NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID, uFlags, uCallbackMessage;
    HICON hIcon;
    CHAR szTip[128];
} NOTIFYICONDATAA, *PNOTIFYICONDATAA;

#define NOTIFYICONDATAA_V1_SIZE 88

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);
HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad);
// The program's own module for a null name; other modules are not modelled.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
HICON WINAPI ExtractIconA(HINSTANCE hInst, LPCSTR pszExeFileName, UINT nIconIndex);
BOOL WINAPI DestroyIcon(HICON hIcon);
