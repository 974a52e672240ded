// The registry: the current user's hive as a tree of keys holding typed values of raw bytes,
// the handles the program holds on it, and the executable's path.
//
// Key paths are relative to HKEY_CURRENT_USER, with backslashes ("SOFTWARE\Orvane\Lumenhop").
// Key and value names are case-insensitive, as on Windows.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <optional>
#include <string>
#include <vector>

namespace substitute {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegistryValue&) const = default;
};

// Stores a value, creating the key and its parents as needed.
void SetRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                      std::vector<BYTE> data);
std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name);
// Names of the key's values as first set, sorted without regard to case; empty for a missing key.
std::vector<std::string> RegistryValueNames(const std::string& keyPath);
void RemoveRegistryValue(const std::string& keyPath, const std::string& name);

void CreateRegistryKey(const std::string& keyPath);
bool RegistryKeyExists(const std::string& keyPath);

// Value bytes as the program stores them: a 32-bit number little-endian, narrow text without a
// terminating zero, UTF-16LE text without a terminating zero.
std::vector<BYTE> DwordBytes(DWORD value);
std::vector<BYTE> TextBytes(const std::string& text);
std::vector<BYTE> WideTextBytes(const std::basic_string<WCHAR>& text);

// One registry call as the program made it: `key` is the path the handle was opened with (for
// RegOpenKeyExA and RegCreateKeyExA the path asked for), `access` the rights asked for then.
struct RegistryCall {
    std::string function;
    std::string key;
    std::string value;
    REGSAM access;
};
std::vector<RegistryCall> RegistryLog();

// The path GetModuleFileNameA reports for the program's module. After Reset it is
// "C:\Program Files\Lumenhop\Lumenhop.exe".
void SetModuleFileName(const std::string& path);

}  // namespace substitute
