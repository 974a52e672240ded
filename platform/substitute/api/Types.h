// Base types and calling-convention words, with the SDK's names and fixed widths.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define __stdcall

typedef int32_t BOOL, *LPBOOL, LONG;
typedef uint8_t BYTE, *LPBYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD, *LPDWORD, UINT;
typedef int64_t LONGLONG;
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

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
