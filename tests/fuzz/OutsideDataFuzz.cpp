// Every parser of outside data in the program, one picked by the input's first byte:
// 0 the blink duration's edit-box text, 1 the drivers' answers to a probe (storage descriptor
// strings and NVMe answers among them), 2 the settings key's values, 3 the icon picker's answer,
// 4 the counter service's answers. Whatever comes in, nothing is read or written
// outside its buffer, the results stay in range and nothing is left open.
#include "driveinfo/DriveProbes.h"
#include "driveinfo/DriveReport.h"
#include "app/MonitorSetup.h"
#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "platform/ByteLayout.h"
#include "platform/substitute/Substitute.h"
#include "settings/IconChooser.h"
#include "settings/SettingsChoices.h"
#include "tray/AppHandles.h"
#include "tests/support/ProgramState.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Text or a list: mostly printable units, sometimes any unit at all (zeros, surrogates).
template <typename Units = WideString>
Units Take(FuzzedDataProvider& data, size_t longest) {
    Units units(data.ConsumeIntegralInRange<size_t>(0, longest), 0);
    for (WCHAR& unit : units)
        unit = data.ConsumeBool() ? static_cast<WCHAR>(data.ConsumeIntegralInRange(0x20, 0x7E))
                                  : data.ConsumeIntegral<WCHAR>();
    return units;
}

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// Any edit-box text of up to 15 characters, against the C library's reading of the same digits.
void BlinkText(FuzzedDataProvider& data) {
    char text[16] = {};
    std::string bytes = data.ConsumeBytesAsString(15);
    std::memcpy(text, bytes.data(), bytes.size());
    errno = 0;
    long long number = std::strtoll(text, nullptr, 10);
    DWORD expected =
        errno == ERANGE || number < 0 ? DialogBlinkMax : std::clamp<long long>(number, DialogBlinkMin, DialogBlinkMax);
    Check(BlinkDurationFromText(text) == expected, "the blink text reads otherwise than strtoll");
}

// Every open and every answer of the probe's drivers from the input, and sometimes a buffer that
// cannot be had. An answer is any bytes, short or long, with descriptor string offsets that land
// inside it, near its end or just past it; or one close to a whole NVMe answer: the request's
// bytes sent back with any data, sometimes cut, and the descriptor's version, size, data offset
// and length right (the default, so that the input's end leaves them so), off by a little or
// anything.
void Probe(FuzzedDataProvider& data) {
    const bool nvme = data.ConsumeBool();  // the NVMe probe, with answers close to whole ones
    substitute::SetDeviceDriver(
        {[&](const std::string&, DWORD, DWORD) {
             return data.PickValueInArray<DWORD>(
                 {ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND});
         },
         [&, nvme](const std::string&, DWORD, const std::vector<uint8_t>& input,
                   DWORD size) -> std::optional<std::vector<uint8_t>> {
             if (data.ConsumeIntegralInRange(0, 7) == 7) return std::nullopt;
             if (!nvme || size < 48) {
                 std::vector<uint8_t> bytes = data.ConsumeBytes<uint8_t>(
                     data.ConsumeIntegralInRange<size_t>(0, data.ConsumeBool() ? 600 : 4096));
                 for (size_t field = 12; bytes.size() >= 28 && field <= 24 && data.ConsumeBool(); field += 4)
                     PutLe32(bytes.data() + field, data.ConsumeIntegralInRange<uint32_t>(0, 520));
                 return bytes;
             }
             std::vector<uint8_t> bytes = input;
             bytes.resize(size);
             for (auto [at, right] : {std::pair{0u, 48u}, {4u, 48u}, {24u, 40u}, {28u, size - 48}})
                 PutLe32(bytes.data() + at, !data.ConsumeBool()  ? right
                                            : data.ConsumeBool() ? right + data.ConsumeIntegralInRange(-2, 2)
                                                                 : data.ConsumeIntegral<uint32_t>());
             std::vector<uint8_t> content = data.ConsumeBytes<uint8_t>(data.ConsumeIntegralInRange<size_t>(0, 600));
             std::copy_n(content.begin(), std::min<size_t>(content.size(), size - 48), bytes.begin() + 48);
             if (data.ConsumeBool()) bytes.resize(data.ConsumeIntegralInRange<size_t>(0, size));
             return bytes;
         }});
    if (data.ConsumeBool())
        substitute::FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, data.ConsumeIntegralInRange<unsigned>(0, 40));
    const DriveProbe probe =
        nvme ? ProbeNvmeUser : static_cast<DriveProbe>(data.ConsumeIntegralInRange<int>(0, DriveProbeCount - 1));
    RunDriveProbe(probe);
    // Descriptor and NVMe text reaches the report only as printable text, in lines ended by CR LF.
    // (ATA strings are the drive's own bytes, spaces dropped, as IDENTIFY gives them.)
    if (probe != ProbePhysicalUser && probe != ProbeNvmeUser) return;
    for (char c : DriveReport)
        if (c != '\r' && c != '\n') Check(c >= 0x20 && c <= 0x7E, "an unprintable report byte");
}

// Any values under the settings key's names, the Run entry and its approval record (any type,
// size and bytes), sometimes a registry call failing, through the set-up, what Settings opens
// with and its OK of the auto-start box.
void Settings(FuzzedDataProvider& data) {
    const char* const names[] = {StartUpValue,           BlinkDurationValue,   SelectedDiskCounterValue,
                                 ActiveIconFileValue,    ActiveIconIndexValue, InactiveIconFileValue,
                                 InactiveIconIndexValue, RunKeyPath,           StartupApprovedKeyPath};
    substitute::AddIconFile("a", 2);
    substitute::AddIconFile("t", 0);
    const bool failing = data.ConsumeBool(), box = data.ConsumeBool();
    if (failing)
        substitute::FailNext(data.PickValueInArray({"RegOpenKeyExA", "RegQueryValueExA", "RegQueryValueExW",
                                                    "RegCloseKey", "ExtractIconExA"}),
                             ERROR_ACCESS_DENIED, data.ConsumeIntegralInRange(0, 7));
    substitute::CreateRegistryKey(RunKeyPath);
    substitute::CreateRegistryKey(StartupApprovedKeyPath);
    while (data.remaining_bytes() > 0) {
        const std::string name = data.PickValueInArray(names);
        const bool autoStart = name == RunKeyPath || name == StartupApprovedKeyPath;
        substitute::SetRegistryValue(autoStart ? name : SettingsKeyPath, autoStart ? AutoStartValueName : name,
                                     data.ConsumeIntegral<BYTE>(),
                                     data.ConsumeBytes<BYTE>(data.ConsumeIntegral<uint16_t>()));
    }
    RunMonitorSetup();
    Check(BlinkDuration >= LoadedBlinkMin && BlinkDuration <= LoadedBlinkMax, "blink duration out of range");
    for (const IconRole* role : {&IconPair.Active, &IconPair.Inactive}) {
        Check(reinterpret_cast<uintptr_t>(role->Icon) > 1, "a role without an icon");
        Check(IconFileFitsStore(role->File), "a role's icon file does not fit the store");
    }
    SettingsChoices choices = CurrentSettingsChoices();
    Check(choices.BlinkDuration >= DialogBlinkMin && choices.BlinkDuration <= DialogBlinkMax,
          "Settings' period out of range");
    StopSampler();
    const bool enabled = SetAutoStart(box);
    if (failing) return;
    Check(enabled == box, "SetAutoStart answers otherwise than the box asked for");
    Check(AutoStartEnabled() == box, "auto-start is not what the box asked for");
}

// Any answer of the picker (any text, terminated or not, confirmed or not, any index) on either
// platform family and on a single-byte, double-byte or UTF-8 page: a refusal changes nothing, a
// pick is a whole path, and nothing is written past the buffer.
void IconPick(FuzzedDataProvider& data) {
    if (data.ConsumeBool()) substitute::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    substitute::UseCodePage(data.PickValueInArray<UINT>({1252, 932, CP_UTF8}));
    bool confirmed = data.ConsumeBool(), terminated = data.ConsumeBool();
    int index = data.ConsumeIntegral<int>();
    WideString path;
    for (std::vector<uint8_t> units = data.ConsumeRemainingBytes<uint8_t>(); path.size() < units.size() / 2;)
        path.push_back(static_cast<WCHAR>(units[2 * path.size()] | units[2 * path.size() + 1] << 8));
    substitute::ScriptIconPick({confirmed, path, index, terminated});
    // Exactly the size handed over, so that AddressSanitizer stops at any access past it.
    std::unique_ptr<char[]> held(new char[MAX_PATH]());
    char* buffer = held.get();
    int chosen = -7;
    BOOL picked = ChooseIcon(FakeMainWindow(), buffer, MAX_PATH, &chosen);
    if (picked) {
        Check(std::memchr(buffer, 0, MAX_PATH) != nullptr, "a pick without a terminated path");
        Check(buffer[0] != 0, "a pick of an empty path");
        Check(chosen == index, "a pick without its index");
    } else {
        Check(buffer[0] == 0, "a refused pick changed the path");
        Check(chosen == -7, "a refused pick changed the index");
    }
}

// Whatever the performance-counter service answers (names of any length, instance lists with or
// without terminators, lengths that lie, failures anywhere), building the catalogue, selecting and
// turning a name into a tooltip stay inside their buffers.
void Catalogue(FuzzedDataProvider& data) {
    substitute::UseCodePage(data.ConsumeBool() ? 932 : 1252);

    const DWORD indexes[] = {FirstDiskObjectIndex, SecondDiskObjectIndex, DiskCounterIndex};
    WideString names[3];
    for (int i = 0; i < 3; ++i)
        substitute::SetPerfName(indexes[i], names[i] = Take(data, data.ConsumeBool() ? 16 : 1100));
    for (int i = 0; i < 2; ++i) {
        std::vector<WideString> instances(data.ConsumeIntegralInRange(0, 8));
        for (WideString& instance : instances) instance = Take(data, data.ConsumeBool() ? 12 : 2100);
        substitute::AddPerfObject(names[i], instances, {names[2]});
        // Or lists as a broken service might give them, with lengths that may lie.
        if (data.ConsumeBool())
            substitute::SetRawObjectAnswer(
                names[i], {data.ConsumeIntegralInRange<DWORD>(0, 16), data.ConsumeIntegralInRange<DWORD>(0, 700),
                           Take<std::vector<WCHAR>>(data, 8), Take<std::vector<WCHAR>>(data, 600)});
    }
    // Never with success: a query that "opened" so would have no handle to close.
    for (int failures = data.ConsumeIntegralInRange(0, 4); failures > 0; --failures)
        substitute::FailNext(data.PickValueInArray({"PdhOpenQueryA", "PdhLookupPerfNameByIndexW", "PdhEnumObjectItemsW",
                                                    "WideCharToMultiByte"}),
                             data.ConsumeIntegral<uint32_t>() | 1, data.ConsumeIntegralInRange(0u, 6u));

    BuildCounterCatalogue();
    SelectDefaultEntry();
    if (data.ConsumeBool()) SelectSavedEntry(Take(data, 40));
    SetTooltipFromEntry(data.ConsumeIntegralInRange<int>(-2, static_cast<int>(CounterCatalogue.size()) + 1));
    TrayNotify(NIM_ADD, LoadDefaultIcon(114));

    for (auto& entry : CounterCatalogue) {
        Check(entry.CounterPath.size() < EntryTextCapacity, "an entry over its capacity");
        Check(entry.Ordinal >= 0, "a negative ordinal");
    }
    Check(TooltipText.size() < 200, "a tooltip over its buffer");
    Check(strnlen(TrayRecord.szTip, 64) <= TrayTipLimit, "a tip over its buffer");
    Check(SelectedCounterPath.empty() == CounterCatalogue.empty(), "selection without catalogue");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    FuzzedDataProvider data(bytes + 1, size - 1);
    substitute::Reset();
    substitute::SetTimeScale(0);
    ResetProgramState();
    InitTrayRecord(MainWindow);
    substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C:", u"1 D:"});
    void (*const parsers[])(FuzzedDataProvider&) = {BlinkText, Probe, Settings, IconPick, Catalogue};
    parsers[bytes[0] % std::size(parsers)](data);
    ClearDriveReport();
    Check(substitute::JoinThreads(), "a sampler never ended");
    for (const auto& problem : substitute::Problems()) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    Check(substitute::Problems().empty(), "the substitute saw misuse or a leak");
    return 0;
}
