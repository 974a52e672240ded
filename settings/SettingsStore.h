// The user's choices kept between runs: named values under one key of the current user's
// hive, and the auto-start entry in the per-user Run key. Nothing is cached: every reader opens
// the key, reads and closes it.
#pragma once

#include "platform/Win32.h"
#include "tray/TrayPresenter.h"

#include <optional>
#include <string>

constexpr const char* SettingsKeyPath = "SOFTWARE\\Orvane\\Lumenhop";
constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* AutoStartValueName = "Lumenhop";
// Where Windows 8 and later keep, by the Run entry's name, whether the user let it start.
constexpr const char* StartupApprovedKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

constexpr const char* StartUpValue = "StartUp";
constexpr const char* BlinkDurationValue = "BlinkDuration";
constexpr const char* SelectedDiskCounterValue = "SelectedDiskCounter";
constexpr const char* ActiveIconFileValue = "ExternalActiveIconFile";
constexpr const char* ActiveIconIndexValue = "ExternalActiveIconIndex";
constexpr const char* InactiveIconFileValue = "ExternalInactiveIconFile";
constexpr const char* InactiveIconIndexValue = "ExternalInactiveIconIndex";

// Reader buffers, in bytes. A value whose data do not fit is taken as absent.
constexpr DWORD NumberCapacity = 4;
constexpr DWORD IconFileCapacity = 200;
constexpr DWORD SelectedNameCapacity = 400;
// The selected display name is stored cut to this many UTF-16 code units.
constexpr size_t SelectedNameUnitLimit = 199;

// The blink duration as the set-up takes it from the store, and as the Settings dialog shows
// and saves it.
constexpr DWORD LoadedBlinkMin = 50;
constexpr DWORD LoadedBlinkMax = 3000;
constexpr DWORD DialogBlinkMin = 100;
constexpr DWORD DialogBlinkMax = 2000;

DWORD ClampBlinkDuration(DWORD milliseconds, DWORD low, DWORD high);

// Whether a path can be stored as an icon file and read back as the same path: fewer than
// IconFileCapacity bytes, no zero byte inside. Longer paths are refused rather than cut.
bool IconFileFitsStore(const std::string& file);

// Applies the stored blink duration, selection, icon indexes and icon files, in that order.
void LoadSettings();
// Applies the stored selection alone: the first entry holding the stored name; without one, the
// current choice stays.
void LoadSelectedDisk();

// The small image of the icon at `index` in the file (environment variables in its path
// expanded), extracted and so the caller's to destroy; null when the file yields none. Index -1
// yields none: it means "no icon", though ExtractIconExA would take it as resource ID 1.
HICON ExtractFileIcon(const std::string& file, LONG index);

// Gives the role the icon its file and index stand for: extracted from the file, or the role's
// built-in icon when the file is empty or yields none.
void ResolveIcon(TrayIconRole role);

// Makes the auto-start entry follow `on`: written, quoted, when it is missing or names another
// file, and its record of being disabled removed; deleted with any approval record when it is
// not wanted. A module path that may have been cut is never written. The Run key is never
// created. TRUE when the entry exists afterwards and is not disabled.
bool SetAutoStart(bool on);
// Whether the Run key holds an auto-start entry of ours, whatever it names, that Windows starts:
// no approval record marks it disabled.
bool AutoStartEnabled();

// The stored blink duration within the Settings dialog's range; its least without one.
DWORD StoredDialogBlinkDuration();

// The writes of the Settings dialog's OK, through one handle of the settings key: opened, or
// created when it does not open; null when neither works. The caller closes it with RegCloseKey.
HKEY OpenSettingsKeyForWriting();
void WriteStartUp(HKEY key, bool checked);
void WriteBlinkDuration(HKEY key, DWORD milliseconds);
// The display name, cut to SelectedNameUnitLimit code units.
void WriteSelectedName(HKEY key, const WideString& displayName);
// A role's File value then its Index value; for an empty file, deletes both. A file the store
// cannot hold (see IconFileFitsStore) writes nothing and leaves the stored choice as it was.
void WriteIconChoice(HKEY key, TrayIconRole role, const std::string& file, LONG index);
