// Opening devices, sending them control requests, and the fixed memory blocks the requests use.
#pragma once

#include "platform/substitute/api/Types.h"

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define OPEN_EXISTING 3

// The control codes of the storage drivers the program talks to.
#define SMART_GET_VERSION 0x00074080
#define SMART_RCV_DRIVE_DATA 0x0007C088
#define IOCTL_STORAGE_QUERY_PROPERTY 0x002D1400
#define IOCTL_DISK_GET_DRIVE_GEOMETRY_EX 0x000700A0
#define IOCTL_SCSI_MINIPORT 0x0004D008
#define IOCTL_SCSI_MINIPORT_IDENTIFY 0x001B0501

// The program passes null for both.
struct _SECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          struct _SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped);

// Fixed blocks only: the handle is the block's address.
typedef ULONG_PTR SIZE_T;
typedef HANDLE HGLOBAL;
#define GPTR 0x0040
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
