// The one window service the logic uses: the main window's timer, which retries a refused tray add.
#pragma once

#include "platform/substitute/api/Types.h"

#define WM_USER 0x0400

typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);
