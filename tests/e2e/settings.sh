# shellcheck shell=bash disable=SC2154
# The Settings dialog of a running program as a person uses it, for the disk light's scenario:
# opened from the tray menu, keys after a click on its face, and the store it writes. Sourced by
# scripts/e2e.sh, whose helpers it uses (wait_for, choose_from_menu), with windows_named,
# click_in and press_after_click from tests/e2e/disk-information.sh.

settings_open() { [ "$(windows_named Settings)" -ge 1 ]; }
settings_closed() { [ "$(windows_named Settings)" -eq 0 ]; }
one_settings() { [ "$(windows_named Settings)" -eq 1 ]; }
open_settings() { settings_closed && choose_from_menu 2 && wait_for 15 settings_open; }
click_in_settings() { click_in Settings "$@"; }
# Keys after a click on the face between Default Icons and OK.
press_in_settings() { press_after_click Settings 100 143 "$@"; }

# stored_value NAME: the data of a value of the settings key as reg prints it ("0xfa").
stored_value() {
  timeout 30 wine reg query 'HKCU\Software\Orvane\Lumenhop' /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { print $3 }'
}

# The shell's icon library, of many icons.
shell_icons='C:\windows\system32\shell32.dll'
