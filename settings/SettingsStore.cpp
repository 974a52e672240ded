#include "settings/SettingsStore.h"

#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "platform/ByteLayout.h"
#include "tray/AppHandles.h"

#include <algorithm>
#include <cstring>

namespace {

// AutoStartValueName, for the wide calls.
const WCHAR* const AutoStartWideName = WIDE("Lumenhop");

// Reads a value of any type into the buffer, zero-filled just before. False when the value is
// absent or does not fit; the callers then read nothing of the buffer.
bool ReadValue(HKEY key, const char* name, BYTE* buffer, DWORD capacity) {
    std::memset(buffer, 0, capacity);
    DWORD size = capacity;
    DWORD type = REG_NONE;
    return RegQueryValueExA(key, name, nullptr, &type, buffer, &size) == ERROR_SUCCESS && size <= capacity;
}

// A number of up to 4 bytes, little-endian; fewer bytes fill the low-order end.
std::optional<DWORD> ReadNumber(HKEY key, const char* name) {
    BYTE cell[NumberCapacity];
    if (!ReadValue(key, name, cell, sizeof cell)) return std::nullopt;
    return GetLe32(cell);
}

// An icon file path up to its first zero byte. A value that fills the whole buffer without a
// zero is taken as absent: it is a longer path cut short, and extracting from it would name a
// different file.
std::optional<std::string> ReadIconFile(HKEY key, const char* name) {
    BYTE buffer[IconFileCapacity];
    if (!ReadValue(key, name, buffer, sizeof buffer)) return std::nullopt;
    const void* zero = std::memchr(buffer, 0, sizeof buffer);
    if (zero == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<const BYTE*>(zero) - buffer);
}

// The selected display name, UTF-16LE, up to its first zero code unit.
std::optional<WideString> ReadSelectedName(HKEY key) {
    BYTE buffer[SelectedNameCapacity];
    if (!ReadValue(key, SelectedDiskCounterValue, buffer, sizeof buffer)) return std::nullopt;
    WideString name;
    for (size_t i = 0; i + 1 < sizeof buffer; i += 2) {
        WCHAR unit = static_cast<WCHAR>(buffer[i] | buffer[i + 1] << 8);
        if (unit == 0) break;
        name.push_back(unit);
    }
    return name;
}

void WriteNumber(HKEY key, const char* name, DWORD value) {
    BYTE cell[NumberCapacity];
    PutLe32(cell, value);
    RegSetValueExA(key, name, 0, REG_DWORD, cell, sizeof cell);
}

HKEY OpenSettingsKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

// The command the auto-start entry should hold: this executable's path, quoted so that a path
// with spaces names this file and nothing before its first space. Taken wide, as a path outside
// the ANSI code page would come back with "?" for what that page lacks. None when the path fills
// the whole buffer: it may have been cut, and starting some other file at logon would be worse
// than leaving the entry as it is.
std::optional<WideString> AutoStartCommand() {
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    WideString command(1, WIDE('"'));
    return command.append(path, std::find(path, path + length, WCHAR{0})).append(1, WIDE('"'));
}

// What the auto-start entry holds, up to its first zero; none when there is no entry. An entry
// too long for any path of ours reads as empty text, which names no file of ours either.
std::optional<WideString> ReadRunEntry(HKEY key) {
    WCHAR text[MAX_PATH + 8] = {};
    DWORD size = sizeof text;
    LONG status = RegQueryValueExW(key, AutoStartWideName, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    if (status == ERROR_MORE_DATA) return WideString();
    if (status != ERROR_SUCCESS) return std::nullopt;
    const WCHAR* end = text + std::min<size_t>(size / sizeof(WCHAR), MAX_PATH + 8);
    return WideString(static_cast<const WCHAR*>(text), std::find<const WCHAR*>(text, end, WCHAR{0}));
}

// Whether the approval record marks the entry disabled. Windows writes 12 bytes, the first even
// while the entry may start and odd once the user disabled it; a record of any other size is
// not one we can read, and counts as disabled, so that ticking the box removes it.
bool MarkedDisabled(HKEY approved) {
    BYTE record[12] = {};
    DWORD size = sizeof record;
    LONG status = RegQueryValueExA(approved, AutoStartValueName, nullptr, nullptr, record, &size);
    if (status == ERROR_FILE_NOT_FOUND) return false;
    return status != ERROR_SUCCESS || size != sizeof record || (record[0] & 1) != 0;
}

// Whether the approval record of the entry marks it disabled, after removing it when `remove`
// says so for a record found in that state: none, one disabled, or any.
enum class RemoveRecord { None, Disabled, Any };
bool ApprovalDisabled(RemoveRecord remove) {
    HKEY approved = nullptr;
    REGSAM access = remove == RemoveRecord::None ? KEY_QUERY_VALUE : KEY_QUERY_VALUE | KEY_SET_VALUE;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, StartupApprovedKeyPath, 0, access, &approved) != ERROR_SUCCESS) return false;
    bool disabled = MarkedDisabled(approved);
    if (remove == RemoveRecord::Any || (remove == RemoveRecord::Disabled && disabled)) {
        RegDeleteValueA(approved, AutoStartValueName);
        disabled = MarkedDisabled(approved);
    }
    RegCloseKey(approved);
    return disabled;
}

// A stored icon file that is not empty becomes the role's file and, through ResolveIcon, its icon.
void LoadIconFile(HKEY key, TrayIconRole role, const char* valueName) {
    std::optional<std::string> file = ReadIconFile(key, valueName);
    if (!file || file->empty()) return;
    RoleIcon(role).File = *file;
    ResolveIcon(role);
}

}  // namespace

// The number, as unsigned, held within low..high.
DWORD ClampBlinkDuration(DWORD milliseconds, DWORD low, DWORD high) {
    return milliseconds < low ? low : milliseconds > high ? high : milliseconds;
}

// Whether the path survives a store and a read back unchanged.
bool IconFileFitsStore(const std::string& file) {
    return file.size() < IconFileCapacity && file.find('\0') == std::string::npos;
}

// The file's own image for the small-icon size, which the tray and the previews show; the system
// scales one only where the file has none of that size. The path is expanded first, as the
// shell's picker may give one with variables ("%SystemRoot%\System32\shell32.dll"); one that
// expands past MAX_PATH might name another file when cut, so it yields no icon.
HICON ExtractFileIcon(const std::string& file, LONG index) {
    if (index == -1) return nullptr;
    char path[MAX_PATH] = {};
    DWORD expanded = ExpandEnvironmentStringsA(file.c_str(), path, sizeof path);
    if (expanded == 0 || expanded >= sizeof path) return nullptr;
    HICON small = nullptr;
    return ExtractIconExA(path, static_cast<int>(index), nullptr, &small, 1) == 1 ? small : nullptr;
}

// Applies whatever the settings key holds over the defaults the set-up has just put in place.
void LoadSettings() {
    HKEY key = OpenSettingsKey();
    if (key == nullptr) return;
    if (std::optional<DWORD> blink = ReadNumber(key, BlinkDurationValue))
        BlinkDuration = ClampBlinkDuration(*blink, LoadedBlinkMin, LoadedBlinkMax);
    if (std::optional<WideString> name = ReadSelectedName(key)) SelectSavedEntry(*name);
    // An index counts even without its file: the Settings dialog starts from it.
    if (std::optional<DWORD> index = ReadNumber(key, ActiveIconIndexValue))
        IconPair.Active.Index = static_cast<LONG>(*index);
    if (std::optional<DWORD> index = ReadNumber(key, InactiveIconIndexValue))
        IconPair.Inactive.Index = static_cast<LONG>(*index);
    LoadIconFile(key, Active, ActiveIconFileValue);
    LoadIconFile(key, Inactive, InactiveIconFileValue);
    RegCloseKey(key);
}

void LoadSelectedDisk() {
    HKEY key = OpenSettingsKey();
    if (key == nullptr) return;
    if (std::optional<WideString> name = ReadSelectedName(key)) SelectSavedEntry(*name);
    RegCloseKey(key);
}

// The role's icon from its file, or its built-in icon. The file and index stay the role's
// either way.
void ResolveIcon(TrayIconRole role) {
    const IconRole& icon = RoleIcon(role);
    HICON extracted = icon.File.empty() ? nullptr : ExtractFileIcon(icon.File, icon.Index);
    ReplaceRoleIcon(role, extracted != nullptr ? extracted : LoadDefaultIcon(DefaultIconId(role)),
                    extracted != nullptr);
}

// Makes the auto-start entry follow `on` and tells whether Windows will start it afterwards.
// A disabled entry is let start again by removing its record, the least change Windows honours.
bool SetAutoStart(bool on) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        if (!on) ApprovalDisabled(RemoveRecord::Any);
        return AutoStartEnabled();
    }
    std::optional<WideString> entry = ReadRunEntry(key);
    if (on) {
        std::optional<WideString> command = AutoStartCommand();
        if (command && entry != command)
            RegSetValueExW(key, AutoStartWideName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command->c_str()),
                           static_cast<DWORD>((command->size() + 1) * sizeof(WCHAR)));
    } else if (entry) {
        RegDeleteValueA(key, AutoStartValueName);
    }
    bool exists = ReadRunEntry(key).has_value();
    RegCloseKey(key);
    bool disabled = ApprovalDisabled(!on ? RemoveRecord::Any : exists ? RemoveRecord::Disabled : RemoveRecord::None);
    return exists && !disabled;
}

bool AutoStartEnabled() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    bool exists = ReadRunEntry(key).has_value();
    RegCloseKey(key);
    return exists && !ApprovalDisabled(RemoveRecord::None);
}

// The blink duration the Settings dialog shows: the stored one within the dialog's range, or
// the least of that range.
DWORD StoredDialogBlinkDuration() {
    DWORD milliseconds = DialogBlinkMin;
    HKEY key = OpenSettingsKey();
    if (key == nullptr) return milliseconds;
    if (std::optional<DWORD> blink = ReadNumber(key, BlinkDurationValue))
        milliseconds = ClampBlinkDuration(*blink, DialogBlinkMin, DialogBlinkMax);
    RegCloseKey(key);
    return milliseconds;
}

// The settings key for the dialog's writes: opened, else created; null when neither works.
HKEY OpenSettingsKeyForWriting() {
    if (HKEY opened = OpenSettingsKey()) return opened;
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return created;
}

// The check box state, 0 or 1.
void WriteStartUp(HKEY key, bool checked) {
    WriteNumber(key, StartUpValue, checked ? 1 : 0);
}

// The blink duration as given; the dialog has clamped it.
void WriteBlinkDuration(HKEY key, DWORD milliseconds) {
    WriteNumber(key, BlinkDurationValue, milliseconds);
}

// The display name as UTF-16LE without a terminating zero, cut to its first 199 code units.
void WriteSelectedName(HKEY key, const WideString& displayName) {
    BYTE buffer[SelectedNameCapacity] = {};
    size_t units = 0;
    for (; units < displayName.size() && units < SelectedNameUnitLimit && displayName[units] != 0; ++units) {
        buffer[2 * units] = static_cast<BYTE>(displayName[units]);
        buffer[2 * units + 1] = static_cast<BYTE>(displayName[units] >> 8);
    }
    RegSetValueExA(key, SelectedDiskCounterValue, 0, REG_BINARY, buffer, static_cast<DWORD>(2 * units));
}

// A role's File and Index values, written together or deleted together.
void WriteIconChoice(HKEY key, TrayIconRole role, const std::string& file, LONG index) {
    const char* fileValue = role == Active ? ActiveIconFileValue : InactiveIconFileValue;
    const char* indexValue = role == Active ? ActiveIconIndexValue : InactiveIconIndexValue;
    if (file.empty()) {
        RegDeleteValueA(key, fileValue);
        RegDeleteValueA(key, indexValue);
        return;
    }
    if (!IconFileFitsStore(file)) return;
    RegSetValueExA(key, fileValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.data()),
                   static_cast<DWORD>(file.size()));
    WriteNumber(key, indexValue, static_cast<DWORD>(index));
}
