// Base types and calling-convention words, with the SDK's names and fixed widths.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define __stdcall

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef intptr_t INT_PTR;
typedef char CHAR;
typedef char16_t WCHAR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* PZZWSTR;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef LONG* PLONG;
typedef BYTE* LPBYTE;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void* HANDLE;

// Distinct handle types, as the SDK declares them with STRICT.
#define LUMENHOP_DECLARE_HANDLE(name) \
    struct name##__ { int unused; };  \
    typedef struct name##__* name
LUMENHOP_DECLARE_HANDLE(HWND);
LUMENHOP_DECLARE_HANDLE(HINSTANCE);
LUMENHOP_DECLARE_HANDLE(HICON);
LUMENHOP_DECLARE_HANDLE(HMENU);
LUMENHOP_DECLARE_HANDLE(HKEY);
LUMENHOP_DECLARE_HANDLE(HACCEL);
LUMENHOP_DECLARE_HANDLE(HCURSOR);
LUMENHOP_DECLARE_HANDLE(HBRUSH);
#undef LUMENHOP_DECLARE_HANDLE
typedef HINSTANCE HMODULE;

#define TRUE 1
#define FALSE 0

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
