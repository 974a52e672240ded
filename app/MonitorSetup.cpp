#include "app/MonitorSetup.h"

#include "monitor/ActivitySampler.h"
#include "monitor/CounterCatalogue.h"
#include "settings/SettingsStore.h"
#include "tray/TrayPresenter.h"

// Rebuilds the monitor from the counter service and the stored settings, shows the tray icon
// as inactive and starts a new sampler. Runs at start-up and again after each shell restart.
void RunMonitorSetup() {
    // Everything below writes values that a running sampler reads.
    if (SamplerRecorded()) StopSampler();

    CounterCatalogue.clear();
    SelectedCounterPath.clear();
    SetTooltipText({});
    IconPair.Active.Index = 0;
    IconPair.Inactive.Index = 0;
    IconPair.Active.File.clear();
    IconPair.Inactive.File.clear();
    // Extracted icons replaced here live on until the shell shows their successors.
    ReplaceRoleIcon(Active, LoadDefaultIcon(DefaultIconId(Active)), false);
    ReplaceRoleIcon(Inactive, LoadDefaultIcon(DefaultIconId(Inactive)), false);

    BuildCounterCatalogue();
    SelectDefaultEntry();
    LoadSettings();

    TrayNotify(NIM_ADD, IconPair.Inactive.Icon);
    if (!SamplerRecorded()) StartSampler();
}
