// The registry: the current user's hive as keys holding typed values of raw bytes, and the
// executable's path. Key paths are relative to HKEY_CURRENT_USER ("SOFTWARE\Orvane\Lumenhop");
// key and value names are case-insensitive, as on Windows.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegistryValue&) const = default;
};

// Stores a value, creating its key as needed.
void SetRegistryValue(const std::string& keyPath, const std::string& name, DWORD type, std::vector<BYTE> data);
std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name);
void CreateRegistryKey(const std::string& keyPath);
bool RegistryKeyExists(const std::string& keyPath);

// Value bytes as the program stores them: a 32-bit number little-endian, narrow text and UTF-16LE
// text without a terminating zero.
std::vector<BYTE> DwordBytes(DWORD value);
std::vector<BYTE> TextBytes(const std::string& text);
std::vector<BYTE> WideTextBytes(const std::basic_string<WCHAR>& text);

// The path GetModuleFileNameA reports; "C:\Program Files\Lumenhop\Lumenhop.exe" after Reset.
void SetModuleFileName(const std::string& path);

}  // namespace substitute
