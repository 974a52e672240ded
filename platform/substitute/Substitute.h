// The control side of the substitute: tests, tools and benchmarks seed the models, script their
// answers and failures, and read the log of calls through these declarations. Each model has
// its own section below.
#pragma once

#include "platform/substitute/Win32Subset.h"
#include "wine/CounterService.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace substitute {

// --- Machine -----------------------------------------------------------------------------------
// The machine as a whole: reset, scripted failures and the list of misuses found.

// A fresh machine: every model back to its start. Waits first for the threads that the last
// test left running.
void Reset();

// Everything the program did wrong so far (a handle closed twice, a shared icon destroyed, a
// notification call that overlapped another, ...) followed by what it left behind: open
// handles, queries and registry keys, a loaded library. Empty when all is well.
std::vector<std::string> Problems();

// The (skip + 1)-th next call of the named platform function fails. Functions that return a
// status return `status`; the others return their failure value and set the last error to it.
void FailNext(std::string_view function, uint32_t status, unsigned skip = 0);

// --- Threads -----------------------------------------------------------------------------------
// Threads, sleeps and waits.

// Real milliseconds that one requested millisecond of Sleep or of a wait's time-out lasts.
// 1 by default; 0 makes every sleep and time-out return at once.
void SetTimeScale(double scale);

// Every period Sleep was asked for since Reset.
std::set<DWORD> SleepPeriods();

struct WaitCall {
    DWORD timeout;
    DWORD result;
};
std::vector<WaitCall> WaitLog();

// Threads started through _beginthreadex since Reset.
size_t ThreadsStarted();

// Waits until every thread started through _beginthreadex but `running` of them has returned.
// False when more are still running after `milliseconds` of real time.
bool JoinThreads(unsigned milliseconds = 20000, size_t running = 0);

// --- CodePages ---------------------------------------------------------------------------------
// The ANSI code page.

// 1252 (the default): ASCII and U+00A0..U+00FF as the bytes of the same value (the page's
// 0x80..0x9F are left out). 932: a double-byte page with that page's lead bytes (0x81-0x9F,
// 0xE0-0xFC), trail bytes (0x40-0xFC without 0x7F) and ASCII; its double-byte table is the
// substitute's own: U+4E00 + k is lead k / 188, trail k % 188, anything else becomes '?'.
// 65001: UTF-8, which Windows 10 and later can make the ANSI page; there WideCharToMultiByte
// takes only the flags 0 and WC_ERR_INVALID_CHARS (else ERROR_INVALID_FLAGS) and no
// default-character arguments (else ERROR_INVALID_PARAMETER); a lone surrogate becomes U+FFFD,
// or fails with ERROR_NO_UNICODE_TRANSLATION under WC_ERR_INVALID_CHARS. MultiByteToWideChar
// takes each byte as the code unit of the same value (right for ASCII, and for page 1252's
// 0xA0..0xFF), and reports as a problem a call with arguments that Windows refuses (an empty source, say).
void UseCodePage(UINT codePage);

// --- Pdh ---------------------------------------------------------------------------------------
// The performance-counter service: wine/'s CounterService over a name table, objects with their
// instance and counter lists, and one scripted sequence of samples per counter path.

using WideText = std::basic_string<WCHAR>;

// The localized name that a name index stands for.
void SetPerfName(DWORD index, const WideText& name);

// An object with its instances and counters, in the order the service lists them; no names give
// an empty list. Its counters can be added by path "\object(instance)\counter", and read
// PDH_CSTATUS_NO_INSTANCE while the instance is not listed.
void AddPerfObject(const WideText& name, const std::vector<WideText>& instances, const std::vector<WideText>& counters);

// What a broken or hostile service might answer for one object's items instead: the lengths its
// sizing call reports and the units its filling call writes (never more than the caller's
// lengths), terminated or not.
void SetRawObjectAnswer(const WideText& name, const provider::ObjectItems& answer);

// The usual English names: 236 "LogicalDisk", 234 "PhysicalDisk", 224 "Avg. Disk
// Bytes/Transfer", with these instances (each object gets the counter 224 names).
void SeedDiskObjects(const std::vector<WideText>& logicalInstances, const std::vector<WideText>& physicalInstances);

// One reading of a counter: what the collect that takes it returns, the counter's status
// afterwards (any but 0 fails the formatted read with PDH_INVALID_DATA), and the value. A collect
// that returns PDH_NO_DATA leaves the status and value alone.
struct Sample {
    int32_t value = 0;
    uint32_t collectStatus = 0;
    uint32_t formatStatus = 0;
};
// Each collect of a query takes the next sample of every counter path it holds; once the
// script is used up its last sample repeats. A path without a script reads 0 from its second
// collect on, and PDH_INVALID_DATA before, as an average over an interval does. While the
// path's instance is not listed, its counter reads PDH_CSTATUS_NO_INSTANCE and takes no sample.
void ScriptCounter(const WideText& path, const std::vector<Sample>& samples);

// Collects are numbered from 1 as they begin; from number `first` on, each waits once begun until
// a later call puts `first` past it: a service slower than any wait. SIZE_MAX holds none (at Reset).
void HoldCollectsFrom(size_t first);

// Collects begun so far, in all queries.
size_t CollectCount();
// Waits until `count` collects have begun in all; false after `milliseconds` of real time.
bool WaitForCollects(size_t count, unsigned milliseconds = 20000);

// --- Shell -------------------------------------------------------------------------------------
// The notification area and the icons the program can load.

// The module instance handle that the program is given; its icon resources are 110 to 114.
HINSTANCE ModuleInstance();

// The shared handle LoadImageA returns for icon resource `id` of the module.
HICON SharedIcon(WORD id);

struct NotifyCall {
    DWORD message;
    NOTIFYICONDATAA record;  // as passed: the first cbSize bytes are what the shell reads
    BOOL result;
};
std::vector<NotifyCall> NotifyLog();

struct ShownIcon {
    HICON icon;
    std::string tip;
};
// The program's icon in the notification area, if one is shown.
std::optional<ShownIcon> TrayIcon();

// Each Shell_NotifyIconA call lasts this long (scaled): widens the window for overlaps, which
// are reported as problems.
void SetNotifyDelay(DWORD milliseconds);

// The shell restarts: its icon is gone.
void RestartShell();
// No notification area while not running (at logon, say): every call fails and no icon shows.
void SetShellRunning(bool running);

// A file the icon extractor can read, with the number of icons it holds. As on Windows,
// ExtractIconExA yields no icon for a file that holds none or an index past the last, and answers
// UINT_MAX for a file it cannot read; a negative index -n is the icon of resource ID n, and the
// icons have the IDs 1 to the count.
// C:\windows\system32\shell32.dll (300 icons) and C:\windows\win.ini (none) are always there.
void AddIconFile(const std::string& path, UINT iconCount);

// Icons extracted from files and not destroyed yet.
size_t LiveFileIcons();

// "shared 113" for a module icon, "file#index" for an extracted one (with " destroyed" once it
// is), "null" or "not an icon".
std::string DescribeIcon(HICON icon);

// --- Registry ----------------------------------------------------------------------------------
// The registry: the current user's hive as keys holding typed values of raw bytes, and the
// executable's path. Key paths are relative to HKEY_CURRENT_USER ("SOFTWARE\Orvane\Lumenhop");
// key and value names are case-insensitive, as on Windows.

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

// The path GetModuleFileNameW reports; "C:\Program Files\Lumenhop\Lumenhop.exe" after Reset.
void SetModuleFileName(const std::basic_string<WCHAR>& path);

// --- DeviceControl -----------------------------------------------------------------------------
// Storage devices: the drivers behind the device paths are played through one hook, which a test
// or the replay tool's recording player (tools/replay) fills. Without one no device exists.

struct DeviceDriver {
    // ERROR_SUCCESS when the path opens with this access, else the error CreateFileA fails with.
    std::function<DWORD(const std::string& path, DWORD access, DWORD share)> open;
    // What the driver writes for a request on a device opened through that path, given the
    // request's input bytes and the output buffer's size: bytes for the start of the output
    // buffer (cut to its size), or none for a failure (ERROR_INVALID_FUNCTION).
    std::function<std::optional<std::vector<uint8_t>>(const std::string& path, DWORD code,
                                                      const std::vector<uint8_t>& input, DWORD outputSize)>
        request;
};
// A request whose code needs data access fails with ERROR_ACCESS_DENIED, before the hook, on a
// handle opened without it, as Windows checks it.
void SetDeviceDriver(DeviceDriver driver);

// --- Windows -----------------------------------------------------------------------------------
// The main window's timers.

// The period of the window's timer of this id, while it is set.
std::optional<UINT> TimerPeriod(HWND window, UINT_PTR id);

// --- Library -----------------------------------------------------------------------------------
// Libraries loaded at run time: only "shell32.dll", with its icon-picking dialog (ordinal 62);
// FailNext("LoadLibraryA") or FailNext("GetProcAddress") makes it missing. The picker takes
// (owner, path buffer, capacity in characters, pointer to the icon index), returns non-zero when
// the user picked an icon, and writes what the next scripted answer says. Its text is UTF-16 on
// the NT family and narrow text in the ANSI code page otherwise, as the shell's own entry has it.

// The platform family GetVersionExA reports: VER_PLATFORM_WIN32_NT (the default, version 5.1)
// or VER_PLATFORM_WIN32_WINDOWS (version 4.10).
void SetPlatformId(DWORD platformId);

// What the user does in the next icon picker. The path and the index are written whenever they
// are given, whether the user confirms or not.
struct IconPickAnswer {
    bool confirmed = false;
    // Cut to the caller's capacity with its terminating zero; on a narrow picker converted to
    // the ANSI code page first ('?' for what the page lacks).
    std::optional<std::basic_string<WCHAR>> path;
    std::optional<int> index;
    // False: the path fills the whole buffer with no terminating zero (a shorter path is
    // padded with 'x' to do so), as a broken picker might leave it.
    bool terminated = true;
};
void ScriptIconPick(IconPickAnswer answer);

// What each picker was given: its path up to the zero (UTF-16 shown as ASCII with '?' for the
// rest) and the index.
struct IconPickCall {
    std::string path;
    int index;
};
std::vector<IconPickCall> IconPickLog();

}  // namespace substitute
