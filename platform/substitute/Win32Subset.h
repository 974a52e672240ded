// The subset of the Windows interfaces that the program uses, for hosts without the SDK.
// Names and argument orders are the SDK's; widths are fixed so that a DWORD is 32 bits and a
// WCHAR is one UTF-16 code unit on every host. The behaviour lives in this folder's .cpp files,
// one per service, and is driven by tests through Substitute.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Base types and calling-convention words, with the SDK's names and fixed widths.

#define WINAPI
#define CALLBACK

typedef int32_t BOOL, *LPBOOL, LONG;
typedef uint8_t BYTE, *LPBYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD, *LPDWORD, UINT;
typedef uintptr_t ULONG_PTR, DWORD_PTR, UINT_PTR, WPARAM;
typedef intptr_t LONG_PTR, INT_PTR, LPARAM, LRESULT;
typedef char CHAR, *LPSTR;
typedef const CHAR* LPCSTR;
typedef char16_t WCHAR, *LPWSTR, *PZZWSTR;
typedef const WCHAR* LPCWSTR;
typedef void *LPVOID, *HANDLE;

// Distinct handle types, as the SDK declares them with STRICT.
typedef struct HWND__* HWND;
typedef struct HINSTANCE__ *HINSTANCE, *HMODULE;
typedef struct HICON__* HICON;
typedef struct HKEY__* HKEY;

#define TRUE 1
#define FALSE 0

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))

// Kernel handles and the thread's last-error value.

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MORE_DATA 234L

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);
BOOL WINAPI CloseHandle(HANDLE hObject);

// Threads, waits, sleeps and critical sections.

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

// Only the substitute looks inside; the program treats it as opaque, as on Windows.
typedef struct _RTL_CRITICAL_SECTION {
    void* Implementation;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// The C run-time's thread start: the result is the new thread's handle, 0 on failure.
uintptr_t _beginthreadex(void* security, unsigned stack_size, unsigned(WINAPI* start_address)(void*), void* arglist,
                         unsigned initflag, unsigned* thrdaddr);
DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
void WINAPI Sleep(DWORD dwMilliseconds);

// Conversions between the ANSI code page and UTF-16.

#define CP_ACP 0
#define CP_UTF8 65001
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

UINT WINAPI GetACP();
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

// The performance-data helper (pdh.h, pdhmsg.h): the calls and codes the program and its tests use.

typedef LONG PDH_STATUS;
typedef HANDLE PDH_HQUERY;
typedef HANDLE PDH_HCOUNTER;

#define PDH_CSTATUS_NO_INSTANCE ((DWORD)0x800007D1)
#define PDH_MORE_DATA ((DWORD)0x800007D2)
#define PDH_NO_DATA ((DWORD)0x800007D5)
#define PDH_INVALID_DATA ((DWORD)0xC0000BC6)
#define PDH_FMT_LONG ((DWORD)0x00000100)
#define PERF_DETAIL_WIZARD 400

// Only the form the program reads; the SDK's other forms share the long value's place.
typedef struct _PDH_FMT_COUNTERVALUE {
    DWORD CStatus;
    LONG longValue;
} PDH_FMT_COUNTERVALUE, *PPDH_FMT_COUNTERVALUE;

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR dwUserData, PDH_HQUERY* phQuery);
PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery);
PDH_STATUS WINAPI PdhLookupPerfNameByIndexW(LPCWSTR szMachineName, DWORD dwNameIndex, LPWSTR szNameBuffer,
                                            LPDWORD pcchNameBufferSize);
PDH_STATUS WINAPI PdhEnumObjectItemsW(LPCWSTR szDataSource, LPCWSTR szMachineName, LPCWSTR szObjectName,
                                      PZZWSTR mszCounterList, LPDWORD pcchCounterListLength, PZZWSTR mszInstanceList,
                                      LPDWORD pcchInstanceListLength, DWORD dwDetailLevel, DWORD dwFlags);
PDH_STATUS WINAPI PdhAddCounterW(PDH_HQUERY hQuery, LPCWSTR szFullCounterPath, DWORD_PTR dwUserData,
                                 PDH_HCOUNTER* phCounter);
PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery);
PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER hCounter, DWORD dwFormat, LPDWORD lpdwType,
                                              PPDH_FMT_COUNTERVALUE pValue);

// The notification area and the icons.

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
UINT WINAPI ExtractIconExA(LPCSTR lpszFile, int nIconIndex, HICON* phiconLarge, HICON* phiconSmall, UINT nIcons);
BOOL WINAPI DestroyIcon(HICON hIcon);
// The small-icon size is 16, as at 100% scale; a leading %SystemRoot% is C:\windows.
#define SM_CXSMICON 49
#define SM_CYSMICON 50
int WINAPI GetSystemMetrics(int nIndex);
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);

// The registry (the current user's hive) and the executable's own path.

typedef DWORD REGSAM;
typedef HKEY* PHKEY;
// Only ever passed as null.
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define MAX_PATH 260

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition);
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData);
LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData);
LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG WINAPI RegCloseKey(HKEY hKey);

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// Opening devices, sending them control requests, and the fixed memory blocks the requests use.

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

// The program passes null.
typedef struct _OVERLAPPED* LPOVERLAPPED;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
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

// The one window service the logic uses: the main window's timer, which retries a refused tray add.

#define WM_USER 0x0400

typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// Libraries loaded at run time and their entries, and the system's version.

#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L

typedef INT_PTR(WINAPI* FARPROC)();

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);

#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
