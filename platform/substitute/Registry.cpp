// The registry: keys of HKEY_CURRENT_USER by path, each with typed values of raw bytes, the
// handles the program holds on them, and the module's file name.
#include "platform/substitute/Internal.h"

#include <strings.h>

#include <cstring>
#include <map>

namespace substitute::detail {
namespace {

// Key paths and value names compare without regard to case, as on Windows.
struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};
using Key = std::map<std::string, RegistryValue, NoCase>;

// Guarded by Mutex().
std::map<std::string, Key, NoCase> Keys;
std::map<HKEY, std::pair<std::string, REGSAM>> Handles;  // the key's path, the rights asked for
uintptr_t NextHandle = 0x2000;
std::basic_string<WCHAR> ModuleFileName;

const bool Registered = RegisterModel(Model{
    [] {
        Keys.clear();
        Handles.clear();
        ModuleFileName = u"C:\\Program Files\\Lumenhop\\Lumenhop.exe";
    },
    [](std::vector<std::string>& problems) {
        for (auto& [handle, open] : Handles) problems.push_back("a registry key was never closed: " + open.first);
    },
});

// Options and reserved arguments other than 0 ask for what the program never wants: a volatile
// key, say, which loses the settings at logoff.
void MustBeZero(const char* function, DWORD value) {
    if (value != 0) Problem(std::string(function) + ": an option or reserved argument is not 0");
}

// Opening, or creating: only under HKEY_CURRENT_USER, which is all the program does.
LONG OpenKey(const char* call, HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result, bool create) {
    MustBeZero(call, options);
    std::lock_guard lock(Mutex());
    *result = nullptr;
    if (auto failure = TakeFailure(call)) return static_cast<LONG>(*failure);
    std::string path = subKey ? subKey : "";
    if (create) Keys[path];
    if (parent != HKEY_CURRENT_USER || !Keys.count(path)) return ERROR_FILE_NOT_FOUND;
    *result = reinterpret_cast<HKEY>(NextHandle += 4);
    Handles[*result] = {path, access};
    return ERROR_SUCCESS;
}

// The key behind a handle the program opened with the rights the call needs; null with `status`
// set when the call fails before it reaches the key. Call with the lock held.
Key* ValueKey(const char* function, HKEY handle, REGSAM needed, LONG& status) {
    auto open = Handles.find(handle);
    status = static_cast<LONG>(TakeFailure(function).value_or(ERROR_SUCCESS));
    if (status == ERROR_SUCCESS && open == Handles.end()) status = ERROR_INVALID_HANDLE;
    if (status == ERROR_SUCCESS && (open->second.second & needed) != needed) status = ERROR_ACCESS_DENIED;
    return status == ERROR_SUCCESS ? &Keys[open->second.first] : nullptr;
}

// The program's value names are ASCII: a wide name is its units taken one by one.
std::string NameOf(LPCWSTR name) {
    return name ? std::string(name, name + std::char_traits<WCHAR>::length(name)) : "";
}

// Data that do not fit are not copied; the caller learns the size it needs. Both widths keep
// the bytes as given: the program reads each value with the width it writes it.
LONG QueryValue(const char* function, HKEY hKey, const std::string& name, LPDWORD lpType, LPBYTE lpData,
                LPDWORD lpcbData) {
    std::lock_guard lock(Mutex());
    LONG status;
    Key* key = ValueKey(function, hKey, KEY_QUERY_VALUE, status);
    if (key == nullptr) return status;
    auto value = key->find(name);
    if (value == key->end()) return ERROR_FILE_NOT_FOUND;
    const auto& data = value->second.data;
    if (lpType) *lpType = value->second.type;
    if (lpData != nullptr && *lpcbData < data.size()) status = ERROR_MORE_DATA;
    if (lpData != nullptr && status == ERROR_SUCCESS && !data.empty()) std::memcpy(lpData, data.data(), data.size());
    if (lpcbData) *lpcbData = static_cast<DWORD>(data.size());
    return status;
}

LONG SetValue(const char* function, HKEY hKey, const std::string& name, DWORD Reserved, DWORD dwType,
              const BYTE* lpData, DWORD cbData) {
    MustBeZero(function, Reserved);
    std::lock_guard lock(Mutex());
    LONG status;
    if (Key* key = ValueKey(function, hKey, KEY_SET_VALUE, status))
        (*key)[name] = RegistryValue{dwType, std::vector<BYTE>(lpData, lpData + cbData)};
    return status;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::RegistryValue;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return OpenKey("RegOpenKeyExA", hKey, lpSubKey, ulOptions, samDesired, phkResult, false);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD) {
    return OpenKey("RegCreateKeyExA", hKey, lpSubKey, Reserved | dwOptions, samDesired, phkResult, true);
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return QueryValue("RegQueryValueExA", hKey, lpValueName ? lpValueName : "", lpType, lpData, lpcbData);
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return QueryValue("RegQueryValueExW", hKey, NameOf(lpValueName), lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    return SetValue("RegSetValueExA", hKey, lpValueName ? lpValueName : "", Reserved, dwType, lpData, cbData);
}

// Wide text is counted in bytes with its terminating zero unit, which readers rely on.
LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    if (dwType == REG_SZ && (cbData < 2 || cbData % 2 != 0 || lpData[cbData - 1] != 0 || lpData[cbData - 2] != 0))
        Problem("RegSetValueExW: REG_SZ text without its terminating zero unit");
    return SetValue("RegSetValueExW", hKey, NameOf(lpValueName), Reserved, dwType, lpData, cbData);
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::lock_guard lock(Mutex());
    LONG status;
    Key* key = ValueKey("RegDeleteValueA", hKey, KEY_SET_VALUE, status);
    if (key == nullptr) return status;
    return key->erase(lpValueName ? lpValueName : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// A scripted failure is reported, but the handle is gone all the same: there is nothing a
// program could do about it but close once.
LONG WINAPI RegCloseKey(HKEY hKey) {
    std::lock_guard lock(Mutex());
    LONG status = static_cast<LONG>(TakeFailure("RegCloseKey").value_or(ERROR_SUCCESS));
    if (Handles.erase(hKey) != 0) return status;
    Problem("RegCloseKey on a key that is not open");
    return ERROR_INVALID_HANDLE;
}

// As the systems the program targets do it: a path that does not fit is cut to nSize
// characters without a terminating zero, and the result is nSize.
DWORD WINAPI GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) {
    if (Fails("GetModuleFileNameW")) return 0;
    std::lock_guard lock(Mutex());
    const bool fits = ModuleFileName.size() < nSize;
    std::memcpy(lpFilename, ModuleFileName.c_str(), (fits ? ModuleFileName.size() + 1 : nSize) * sizeof(WCHAR));
    return fits ? static_cast<DWORD>(ModuleFileName.size()) : nSize;
}

void substitute::SetRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                                  std::vector<BYTE> data) {
    UnderLock([&] { Keys[keyPath][name] = RegistryValue{type, std::move(data)}; });
}

std::optional<RegistryValue> substitute::GetRegistryValue(const std::string& keyPath, const std::string& name) {
    Key key = Copied(Keys)[keyPath];
    return key.count(name) ? std::optional(key[name]) : std::nullopt;
}

void substitute::CreateRegistryKey(const std::string& keyPath) {
    UnderLock([&] { Keys[keyPath]; });
}

bool substitute::RegistryKeyExists(const std::string& keyPath) {
    return Copied(Keys).count(keyPath) != 0;
}

std::vector<BYTE> substitute::DwordBytes(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

std::vector<BYTE> substitute::TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<BYTE> substitute::WideTextBytes(const std::basic_string<WCHAR>& text) {
    std::vector<BYTE> bytes;
    for (WCHAR unit : text) bytes.insert(bytes.end(), {static_cast<BYTE>(unit), static_cast<BYTE>(unit >> 8)});
    return bytes;
}

void substitute::SetModuleFileName(const std::basic_string<WCHAR>& path) {
    UnderLock([&] { ModuleFileName = path; });
}
