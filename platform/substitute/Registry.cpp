// The registry: HKEY_CURRENT_USER as a tree of keys with typed values of raw bytes, the handles
// the program holds on it, and the module's file name.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace substitute::detail {
namespace {

struct StoredValue {
    std::string name;  // as first set
    RegistryValue value;
};

struct Key {
    std::map<std::string, std::shared_ptr<Key>> subkeys;  // by folded name
    std::map<std::string, StoredValue> values;            // by folded name
};

struct OpenKey {
    std::shared_ptr<Key> key;
    std::string path;
    REGSAM access;
};

struct RegistryState {
    std::shared_ptr<Key> root = std::make_shared<Key>();
    std::map<HKEY, OpenKey> handles;
    uintptr_t nextHandle = 0x2000;
    std::vector<RegistryCall> calls;
    std::string moduleFileName = "C:\\Program Files\\Lumenhop\\Lumenhop.exe";
};

RegistryState& State() {
    static RegistryState state;
    return state;
}

const bool Registered = RegisterModel(Model{
    [] { State() = RegistryState{}; },
    [](std::vector<std::string>& problems) {
        for (auto& [handle, open] : State().handles)
            problems.push_back("a registry key was never closed: " + open.path);
    },
});

std::string Fold(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

// The key at a backslash-separated path under HKEY_CURRENT_USER, created with its parents when
// `create` is set; null when it is missing. `created` tells whether any key was made.
std::shared_ptr<Key> Find(std::string_view path, bool create, bool* created = nullptr) {
    std::shared_ptr<Key> key = State().root;
    for (size_t start = 0; key && start < path.size();) {
        size_t end = std::min(path.find('\\', start), path.size());
        std::string name = Fold(path.substr(start, end - start));
        if (create && !key->subkeys.count(name)) {
            key->subkeys[name] = std::make_shared<Key>();
            if (created) *created = true;
        }
        auto it = key->subkeys.find(name);
        key = it == key->subkeys.end() ? nullptr : it->second;
        start = end + 1;
    }
    return key;
}

void Log(const char* function, const std::string& key, LPCSTR value, REGSAM access) {
    State().calls.push_back(RegistryCall{function, key, value ? value : "", access});
}

// Arguments that must be 0: anything else asks for something the program never wants (a volatile
// key, say, which loses the settings at logoff).
void MustBeZero(const char* function, DWORD value) {
    if (value != 0) Problem(std::string(function) + ": an option or reserved argument is not 0");
}

// Opening and creating: only under HKEY_CURRENT_USER, which is all the program does.
LONG OpenOrCreate(const char* function, HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result,
                  LPDWORD disposition) {
    std::string path = subKey ? subKey : "";
    Log(function, path, nullptr, access);
    *result = nullptr;
    if (auto failure = TakeFailure(function)) return static_cast<LONG>(*failure);
    if (parent != HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
    bool created = false;
    auto key = Find(path, disposition != nullptr, &created);
    if (!key) return ERROR_FILE_NOT_FOUND;
    auto& state = State();
    *result = reinterpret_cast<HKEY>(state.nextHandle += 4);
    state.handles[*result] = OpenKey{key, path, access};
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

// The key behind a handle that the program opened, for a value call; logs the call and takes its
// scripted failure. Null with `status` set when the call fails before it reaches the key.
std::shared_ptr<Key> ValueKey(const char* function, HKEY handle, LPCSTR value, LONG& status) {
    auto& handles = State().handles;
    auto it = handles.find(handle);
    Log(function, it == handles.end() ? "?" : it->second.path, value, it == handles.end() ? 0 : it->second.access);
    status = ERROR_SUCCESS;
    if (auto failure = TakeFailure(function))
        status = static_cast<LONG>(*failure);
    else if (it == handles.end())
        status = ERROR_INVALID_HANDLE;
    return status == ERROR_SUCCESS ? it->second.key : nullptr;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::RegistryCall;
using substitute::RegistryValue;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    std::lock_guard lock(Mutex());
    MustBeZero("RegOpenKeyExA", ulOptions);
    return OpenOrCreate("RegOpenKeyExA", hKey, lpSubKey, samDesired, phkResult, nullptr);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    std::lock_guard lock(Mutex());
    MustBeZero("RegCreateKeyExA", Reserved | dwOptions);
    DWORD disposition = 0;
    LONG status = OpenOrCreate("RegCreateKeyExA", hKey, lpSubKey, samDesired, phkResult, &disposition);
    if (status == ERROR_SUCCESS && lpdwDisposition) *lpdwDisposition = disposition;
    return status;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    std::lock_guard lock(Mutex());
    LONG status;
    auto key = ValueKey("RegQueryValueExA", hKey, lpValueName, status);
    if (!key) return status;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    auto it = key->values.find(Fold(lpValueName ? lpValueName : ""));
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
    const auto& data = it->second.value.data;
    DWORD size = static_cast<DWORD>(data.size());
    if (lpType) *lpType = it->second.value.type;
    // Data that do not fit are not copied; the caller learns the size it needs.
    if (lpData != nullptr && *lpcbData < size) status = ERROR_MORE_DATA;
    else if (lpData != nullptr && size > 0) std::memcpy(lpData, data.data(), size);
    if (lpcbData) *lpcbData = size;
    return status;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    std::lock_guard lock(Mutex());
    MustBeZero("RegSetValueExA", Reserved);
    LONG status;
    auto key = ValueKey("RegSetValueExA", hKey, lpValueName, status);
    if (!key) return status;
    std::string name = lpValueName ? lpValueName : "";
    auto& slot = key->values[Fold(name)];
    if (slot.name.empty()) slot.name = name;
    slot.value = RegistryValue{dwType, std::vector<BYTE>(lpData, lpData + cbData)};
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::lock_guard lock(Mutex());
    LONG status;
    auto key = ValueKey("RegDeleteValueA", hKey, lpValueName, status);
    if (!key) return status;
    return key->values.erase(Fold(lpValueName ? lpValueName : "")) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    std::lock_guard lock(Mutex());
    LONG status;
    ValueKey("RegCloseKey", hKey, nullptr, status);
    // A scripted failure is reported, but the handle is gone all the same: there is nothing a
    // program could do about it but close once.
    if (State().handles.erase(hKey) == 0) {
        Problem("RegCloseKey on a key that is not open");
        return ERROR_INVALID_HANDLE;
    }
    return status;
}

// As the systems the program targets do it: a path that does not fit is cut to nSize
// characters without a terminating zero, and the result is nSize.
DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR lpFilename, DWORD nSize) {
    if (auto failure = TakeFailure("GetModuleFileNameA")) {
        SetLastError(*failure);
        return 0;
    }
    std::lock_guard lock(Mutex());
    const std::string& path = State().moduleFileName;
    if (path.size() < nSize) {
        std::memcpy(lpFilename, path.c_str(), path.size() + 1);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(lpFilename, path.data(), nSize);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

namespace substitute {

void SetRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                      std::vector<BYTE> data) {
    std::lock_guard lock(Mutex());
    auto& slot = detail::Find(keyPath, true)->values[Fold(name)];
    if (slot.name.empty()) slot.name = name;
    slot.value = RegistryValue{type, std::move(data)};
}

std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(Mutex());
    auto key = detail::Find(keyPath, false);
    if (!key || !key->values.count(Fold(name))) return std::nullopt;
    return key->values[Fold(name)].value;
}

void RemoveRegistryValue(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(Mutex());
    if (auto key = detail::Find(keyPath, false)) key->values.erase(detail::Fold(name));
}

std::vector<std::string> RegistryValueNames(const std::string& keyPath) {
    std::lock_guard lock(Mutex());
    std::vector<std::string> names;
    if (auto key = detail::Find(keyPath, false))
        for (auto& [folded, stored] : key->values) names.push_back(stored.name);
    return names;
}

void CreateRegistryKey(const std::string& keyPath) {
    std::lock_guard lock(Mutex());
    detail::Find(keyPath, true);
}

bool RegistryKeyExists(const std::string& keyPath) {
    std::lock_guard lock(Mutex());
    return detail::Find(keyPath, false) != nullptr;
}

std::vector<BYTE> DwordBytes(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

std::vector<BYTE> TextBytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

std::vector<BYTE> WideTextBytes(const std::basic_string<WCHAR>& text) {
    std::vector<BYTE> bytes;
    for (WCHAR unit : text) {
        bytes.push_back(static_cast<BYTE>(unit));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return bytes;
}

std::vector<RegistryCall> RegistryLog() {
    std::lock_guard lock(Mutex());
    return detail::State().calls;
}

void SetModuleFileName(const std::string& path) {
    std::lock_guard lock(Mutex());
    detail::State().moduleFileName = path;
}

}  // namespace substitute
