// What the Settings dialog opens with and what its OK stores and applies, apart from the
// controls that show them.
#pragma once

#include "platform/Win32.h"
#include "settings/SettingsStore.h"

#include <optional>
#include <string>

// A role's icon choice: the file (empty for the built-in icon) and the icon's index in it.
struct IconChoice {
    std::string File;
    LONG Index;
};

struct SettingsChoices {
    bool AutoStart = false;                    // the auto-start entry is wanted
    DWORD BlinkDuration = DialogBlinkMin;      // within the dialog's range
    std::optional<WideString> Disk;            // the display name of the disk to watch
    IconChoice Icons[2] = {{{}, 0}, {{}, 0}};  // by TrayIconRole
};

// As things are: the auto-start entry's presence, the stored blink duration, the disk being
// watched and the running icons.
SettingsChoices CurrentSettingsChoices();

// OK: stops the sampler, stores and applies the choices, makes the auto-start entry follow them,
// shows the result in the tray and starts a new sampler. The disk is looked up by its name in
// the catalogue of this moment; a name it no longer holds changes nothing, and neither does the
// disk being watched, so that a stored disk that is away is still watched once it is back.
void ApplySettingsChoices(const SettingsChoices& choices);

// The disks of this moment: the catalogue built again, the stored disk watched when it is there
// and the default one while it is not, with the sampler stopped around it. Settings does it as
// it opens, the main window when volumes come or go.
void RebuildDiskCatalogue();

// The blink duration that the text of the dialog's edit box stands for: a decimal number after
// optional white space and sign, read up to the first other character, taken as unsigned and
// held within 100..2000. No digits count as 0; below zero counts as above any duration.
DWORD BlinkDurationFromText(const char* text);
