// The one include for every Windows name the program uses. On Windows it is the SDK; on any
// other host it is the substitute, which declares the same names with the same spelling.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <process.h>
#include <pdh.h>
#include <pdhmsg.h>
#include <winioctl.h>
#include <dbt.h>

// Not in the headers for the oldest target; understood by every system with a UTF-8 ANSI page.
#ifndef WC_ERR_INVALID_CHARS
#define WC_ERR_INVALID_CHARS 0x00000080
#endif

// Wide literals are UTF-16 on both sides: wchar_t here, char16_t in the substitute.
#define WIDE(text) L##text

static_assert(sizeof(WCHAR) == 2, "WCHAR holds one UTF-16 code unit");
#else
#include "platform/substitute/Win32Subset.h"

#define WIDE(text) u##text
#endif

#include <string>

// The version record GetVersionExA fills; its size is how the call tells which one it is given.
static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record is 148 bytes");

// Wide text as the platform keeps it: UTF-16 code units.
using WideString = std::basic_string<WCHAR>;
