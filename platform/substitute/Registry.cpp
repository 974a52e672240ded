// The registry: HKEY_CURRENT_USER as a tree of keys with typed values of raw bytes, open
// handles with the rights they were opened with, and the module's file name.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace substitute::detail {
namespace {

constexpr REGSAM CheckedRights = 0x3F | STANDARD_RIGHTS_ALL;

struct StoredValue {
    std::string name;  // as first set
    RegistryValue value;
};

struct Key {
    std::string name;  // as created
    std::map<std::string, std::shared_ptr<Key>> subkeys;  // by folded name
    std::map<std::string, StoredValue> values;            // by folded name
    REGSAM allowed = ~REGSAM{0};
    bool deleted = false;
};

struct OpenKey {
    std::shared_ptr<Key> key;
    REGSAM rights;
    std::string path;
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

void MarkDeleted(Key& key) {
    key.deleted = true;
    for (auto& [name, subkey] : key.subkeys) MarkDeleted(*subkey);
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

// Splits a relative key path into its names. A single trailing backslash is allowed; a leading
// one or an empty name inside is not.
std::optional<std::vector<std::string>> SplitPath(std::string_view path) {
    std::vector<std::string> names;
    if (path.empty()) return names;
    if (path.front() == '\\') return std::nullopt;
    if (path.back() == '\\') path.remove_suffix(1);
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end == start) return std::nullopt;
        names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string JoinPath(const std::string& base, std::string_view relative) {
    if (relative.empty()) return base;
    if (base.empty()) return std::string(relative);
    return base + "\\" + std::string(relative);
}

// The key and rights behind a handle: HKEY_CURRENT_USER or one the program opened.
std::optional<OpenKey> Resolve(HKEY handle) {
    auto& state = State();
    if (handle == HKEY_CURRENT_USER) return OpenKey{state.root, ~REGSAM{0}, ""};
    auto it = state.handles.find(handle);
    if (it == state.handles.end()) return std::nullopt;
    return it->second;
}

LONG Log(const char* function, const std::string& key, const char* value, REGSAM access, LONG status) {
    State().calls.push_back(RegistryCall{function, key, value ? value : "", access, status});
    return status;
}

HKEY NewHandle(std::shared_ptr<Key> key, REGSAM rights, std::string path) {
    auto& state = State();
    HKEY handle = reinterpret_cast<HKEY>(state.nextHandle);
    state.nextHandle += 4;
    state.handles[handle] = OpenKey{std::move(key), rights, std::move(path)};
    return handle;
}

bool RightsAllowed(const Key& key, REGSAM requested) {
    return (requested & CheckedRights & ~key.allowed) == 0;
}

// The key at `path` under the root, created with its parents when `create` is set.
std::shared_ptr<Key> Find(const std::string& path, bool create) {
    auto names = SplitPath(path);
    if (!names) return nullptr;
    std::shared_ptr<Key> key = State().root;
    for (auto& name : *names) {
        auto it = key->subkeys.find(Fold(name));
        if (it == key->subkeys.end()) {
            if (!create) return nullptr;
            auto child = std::make_shared<Key>();
            child->name = name;
            it = key->subkeys.emplace(Fold(name), std::move(child)).first;
        }
        key = it->second;
    }
    return key;
}

const StoredValue* FindValue(const Key& key, LPCSTR name) {
    auto it = key.values.find(Fold(name ? name : ""));
    return it == key.values.end() ? nullptr : &it->second;
}

// The common checks of the value functions: the handle, the key still there, the right held.
LONG CheckValueAccess(const std::optional<OpenKey>& open, REGSAM right) {
    if (!open) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    if ((open->rights & right) == 0) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;
using substitute::RegistryCall;
using substitute::RegistryValue;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    std::lock_guard lock(Mutex());
    auto open = Resolve(hKey);
    std::string path = JoinPath(open ? open->path : "?", lpSubKey ? lpSubKey : "");
    auto fail = [&](LONG status) {
        if (phkResult) *phkResult = nullptr;
        return Log("RegOpenKeyExA", path, nullptr, samDesired, status);
    };
    if (auto failure = TakeFailure("RegOpenKeyExA")) return fail(static_cast<LONG>(*failure));
    if (phkResult == nullptr) return Log("RegOpenKeyExA", path, nullptr, samDesired, ERROR_INVALID_PARAMETER);
    if (!open) return fail(ERROR_INVALID_HANDLE);
    if (open->key->deleted) return fail(ERROR_KEY_DELETED);
    auto names = SplitPath(lpSubKey ? lpSubKey : "");
    if (!names) return fail(ERROR_BAD_PATHNAME);
    std::shared_ptr<Key> key = open->key;
    for (auto& name : *names) {
        auto it = key->subkeys.find(Fold(name));
        if (it == key->subkeys.end()) return fail(ERROR_FILE_NOT_FOUND);
        key = it->second;
    }
    if (!RightsAllowed(*key, samDesired)) return fail(ERROR_ACCESS_DENIED);
    *phkResult = NewHandle(key, samDesired, path);
    return Log("RegOpenKeyExA", path, nullptr, samDesired, ERROR_SUCCESS);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    std::lock_guard lock(Mutex());
    auto open = Resolve(hKey);
    std::string path = JoinPath(open ? open->path : "?", lpSubKey ? lpSubKey : "");
    auto fail = [&](LONG status) {
        if (phkResult) *phkResult = nullptr;
        return Log("RegCreateKeyExA", path, nullptr, samDesired, status);
    };
    if (auto failure = TakeFailure("RegCreateKeyExA")) return fail(static_cast<LONG>(*failure));
    if (phkResult == nullptr || lpSubKey == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (!open) return fail(ERROR_INVALID_HANDLE);
    if (open->key->deleted) return fail(ERROR_KEY_DELETED);
    auto names = SplitPath(lpSubKey);
    if (!names) return fail(ERROR_BAD_PATHNAME);

    // Walk down as far as the keys exist; a missing key needs the right to create under its
    // parent: the handle's right for a direct child, the parent's own permission always.
    std::shared_ptr<Key> key = open->key;
    size_t existing = 0;
    for (; existing < names->size(); ++existing) {
        auto it = key->subkeys.find(Fold((*names)[existing]));
        if (it == key->subkeys.end()) break;
        key = it->second;
    }
    bool created = existing < names->size();
    if (created) {
        if (existing == 0 && (open->rights & KEY_CREATE_SUB_KEY) == 0) return fail(ERROR_ACCESS_DENIED);
        if (!RightsAllowed(*key, KEY_CREATE_SUB_KEY)) return fail(ERROR_ACCESS_DENIED);
        for (size_t i = existing; i < names->size(); ++i) {
            auto child = std::make_shared<Key>();
            child->name = (*names)[i];
            key->subkeys[Fold((*names)[i])] = child;
            key = child;
        }
    } else if (!RightsAllowed(*key, samDesired)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    *phkResult = NewHandle(key, samDesired, path);
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return Log("RegCreateKeyExA", path, nullptr, samDesired, ERROR_SUCCESS);
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    std::lock_guard lock(Mutex());
    auto open = Resolve(hKey);
    std::string path = open ? open->path : "?";
    REGSAM rights = open ? open->rights : 0;
    auto done = [&](LONG status) { return Log("RegQueryValueExA", path, lpValueName, rights, status); };
    if (auto failure = TakeFailure("RegQueryValueExA")) return done(static_cast<LONG>(*failure));
    if (LONG status = CheckValueAccess(open, KEY_QUERY_VALUE)) return done(status);
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return done(ERROR_INVALID_PARAMETER);
    const StoredValue* stored = FindValue(*open->key, lpValueName);
    if (stored == nullptr) return done(ERROR_FILE_NOT_FOUND);

    const auto& data = stored->value.data;
    DWORD size = static_cast<DWORD>(data.size());
    if (lpType) *lpType = stored->value.type;
    // Data that do not fit are not copied at all; the caller learns the size it needs.
    if (lpData != nullptr && *lpcbData < size) {
        *lpcbData = size;
        return done(ERROR_MORE_DATA);
    }
    if (lpData != nullptr && size > 0) std::memcpy(lpData, data.data(), size);
    if (lpcbData) *lpcbData = size;
    return done(ERROR_SUCCESS);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    std::lock_guard lock(Mutex());
    auto open = Resolve(hKey);
    std::string path = open ? open->path : "?";
    REGSAM rights = open ? open->rights : 0;
    auto done = [&](LONG status) { return Log("RegSetValueExA", path, lpValueName, rights, status); };
    if (auto failure = TakeFailure("RegSetValueExA")) return done(static_cast<LONG>(*failure));
    if (LONG status = CheckValueAccess(open, KEY_SET_VALUE)) return done(status);
    if (lpData == nullptr && cbData > 0) return done(ERROR_NOACCESS);

    std::string name = lpValueName ? lpValueName : "";
    auto& slot = open->key->values[Fold(name)];
    if (slot.name.empty()) slot.name = name;
    slot.value.type = dwType;
    slot.value.data.assign(lpData, lpData + cbData);
    return done(ERROR_SUCCESS);
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    std::lock_guard lock(Mutex());
    auto open = Resolve(hKey);
    std::string path = open ? open->path : "?";
    REGSAM rights = open ? open->rights : 0;
    auto done = [&](LONG status) { return Log("RegDeleteValueA", path, lpValueName, rights, status); };
    if (auto failure = TakeFailure("RegDeleteValueA")) return done(static_cast<LONG>(*failure));
    if (LONG status = CheckValueAccess(open, KEY_SET_VALUE)) return done(status);
    if (open->key->values.erase(Fold(lpValueName ? lpValueName : "")) == 0)
        return done(ERROR_FILE_NOT_FOUND);
    return done(ERROR_SUCCESS);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    std::lock_guard lock(Mutex());
    auto failure = TakeFailure("RegCloseKey");
    if (hKey == HKEY_CURRENT_USER)
        return Log("RegCloseKey", "", nullptr, 0, failure ? static_cast<LONG>(*failure) : ERROR_SUCCESS);
    auto& handles = State().handles;
    auto it = handles.find(hKey);
    if (it == handles.end()) {
        Problem("RegCloseKey on a key that is not open");
        return Log("RegCloseKey", "?", nullptr, 0, ERROR_INVALID_HANDLE);
    }
    std::string path = it->second.path;
    REGSAM rights = it->second.rights;
    // A scripted failure is reported, but the handle is gone all the same: there is nothing a
    // program could do about it but close once.
    handles.erase(it);
    return Log("RegCloseKey", path, nullptr, rights, failure ? static_cast<LONG>(*failure) : ERROR_SUCCESS);
}

// As the systems the program targets do it: a path that does not fit is cut to nSize
// characters without a terminating zero, and the result is nSize.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (auto failure = TakeFailure("GetModuleFileNameA")) {
        SetLastError(*failure);
        return 0;
    }
    if (hModule != nullptr && hModule != substitute::ModuleInstance()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::lock_guard lock(Mutex());
    const std::string& path = State().moduleFileName;
    if (nSize == 0 || lpFilename == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
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
    auto key = detail::Find(keyPath, true);
    if (!key) {
        Problem("SetRegistryValue: bad key path " + keyPath);
        return;
    }
    auto& slot = key->values[Fold(name)];
    if (slot.name.empty()) slot.name = name;
    slot.value = RegistryValue{type, std::move(data)};
}

std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(Mutex());
    auto key = detail::Find(keyPath, false);
    if (!key) return std::nullopt;
    const StoredValue* stored = FindValue(*key, name.c_str());
    if (!stored) return std::nullopt;
    return stored->value;
}

void RemoveRegistryValue(const std::string& keyPath, const std::string& name) {
    std::lock_guard lock(Mutex());
    if (auto key = detail::Find(keyPath, false)) key->values.erase(Fold(name));
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
    if (!detail::Find(keyPath, true)) Problem("CreateRegistryKey: bad key path " + keyPath);
}

bool RegistryKeyExists(const std::string& keyPath) {
    std::lock_guard lock(Mutex());
    return detail::Find(keyPath, false) != nullptr;
}

void RemoveRegistryKey(const std::string& keyPath) {
    std::lock_guard lock(Mutex());
    auto names = SplitPath(keyPath);
    if (!names || names->empty()) return;
    std::string last = names->back();
    names->pop_back();
    std::string parentPath;
    for (auto& name : *names) parentPath = JoinPath(parentPath, name);
    auto parent = detail::Find(parentPath, false);
    if (!parent) return;
    auto it = parent->subkeys.find(Fold(last));
    if (it == parent->subkeys.end()) return;
    MarkDeleted(*it->second);
    parent->subkeys.erase(it);
}

void RestrictRegistryKey(const std::string& keyPath, REGSAM allowed) {
    std::lock_guard lock(Mutex());
    if (auto key = detail::Find(keyPath, true)) key->allowed = allowed;
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

size_t OpenRegistryKeys() {
    std::lock_guard lock(Mutex());
    return detail::State().handles.size();
}

void SetModuleFileName(const std::string& path) {
    std::lock_guard lock(Mutex());
    detail::State().moduleFileName = path;
}

}  // namespace substitute
