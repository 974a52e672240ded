#include "settings/SettingsChoices.h"

#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"

#include <algorithm>
#include <cstdint>

namespace {

// The catalogue may have been rebuilt by a shell restart since the choice was made, so the
// entry is found by its name, not by its old position. The disk being watched is the stored one
// or, while that is away, the default: either way the stored name stays.
void ApplyDisk(HKEY key, const WideString& name) {
    int entry = FindEntryNamed(name);
    if (entry == NoEntry || entry == WatchedEntry()) return;
    SelectCounterEntry(entry);
    WriteSelectedName(key, name);
}

void ApplyIcon(HKEY key, TrayIconRole role, const IconChoice& choice) {
    IconRole& running = RoleIcon(role);
    running.File = choice.File;
    running.Index = choice.File.empty() ? 0 : choice.Index;
    WriteIconChoice(key, role, running.File, running.Index);
    ResolveIcon(role);
}

}  // namespace

SettingsChoices CurrentSettingsChoices() {
    SettingsChoices choices;
    choices.AutoStart = AutoStartEnabled();
    choices.BlinkDuration = StoredDialogBlinkDuration();
    int watched = WatchedEntry();
    if (watched != NoEntry) choices.Disk = CounterCatalogue[static_cast<size_t>(watched)].DisplayName;
    for (TrayIconRole role : {Active, Inactive}) choices.Icons[role] = {RoleIcon(role).File, RoleIcon(role).Index};
    return choices;
}

// Everything changes with no sampler running. When the settings key can be neither opened nor
// created, nothing is applied either, so that memory and store agree; the auto-start entry
// still follows the box.
void ApplySettingsChoices(const SettingsChoices& choices) {
    StopSampler();
    HKEY key = OpenSettingsKeyForWriting();
    bool autoStart = SetAutoStart(choices.AutoStart);
    if (key != nullptr) {
        // What is true after OK, not what was asked for.
        WriteStartUp(key, autoStart);
        BlinkDuration = ClampBlinkDuration(choices.BlinkDuration, DialogBlinkMin, DialogBlinkMax);
        WriteBlinkDuration(key, BlinkDuration);
        if (choices.Disk) ApplyDisk(key, *choices.Disk);
        ApplyIcon(key, Active, choices.Icons[Active]);
        ApplyIcon(key, Inactive, choices.Icons[Inactive]);
        RegCloseKey(key);
        // The new tooltip and icons at once, not at the disk's next change. With no sampler
        // running, ActivityState stands still.
        TrayNotify(NIM_MODIFY, RoleIcon(ActivityState).Icon);
    }
    StartSampler();
}

void RebuildDiskCatalogue() {
    StopSampler();
    CounterCatalogue.clear();
    SelectedCounterPath.clear();
    SetTooltipText({});
    BuildCounterCatalogue();
    SelectDefaultEntry();
    LoadSelectedDisk();
    // The watched disk's name in the tooltip at once.
    TrayNotify(NIM_MODIFY, RoleIcon(ActivityState).Icon);
    StartSampler();
}

// Reads the number as the C library's atol would, but saturating where atol's result would be
// undefined: every such text is far outside the range anyway.
DWORD BlinkDurationFromText(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        magnitude = std::min<uint64_t>(magnitude * 10 + static_cast<uint64_t>(*text - '0'), uint64_t{1} << 32);
    // A negative number, taken as unsigned, is above every duration.
    if (negative && magnitude != 0) return DialogBlinkMax;
    return static_cast<DWORD>(std::clamp<uint64_t>(magnitude, DialogBlinkMin, DialogBlinkMax));
}
