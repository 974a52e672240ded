# shellcheck shell=bash disable=SC2154
# The Settings dialog of a running program, used as a person would: opened from the tray menu,
# never twice, closed with Esc, Browse pressed, and a new period typed and confirmed with Enter,
# then found in the store. Sourced by scripts/e2e.sh, whose helpers it uses (check, wait_for,
# screenshot, window_geometry, choose_from_menu, menu_closed, start_program, program_ended,
# one_inactive_icon, wait_for_exit), with units_x, units_y and stays_for from
# tests/e2e/disk-information.sh (the two templates are both 246 x 155 units).

settings_count() { timeout 10 xdotool search --onlyvisible --name '^Settings$' 2>/dev/null | wc -l; }
settings_open() { [ "$(settings_count)" -ge 1 ]; }
settings_closed() { [ "$(settings_count)" -eq 0 ]; }
one_settings() { [ "$(settings_count)" -eq 1 ]; }
open_settings() { settings_closed && choose_from_menu 2 && wait_for 15 settings_open; }

# click_in_settings X Y: a click at a point of the dialog given in dialog units.
click_in_settings() {
  local x y w h
  read -r x y w h < <(window_geometry "Settings") || return 1
  xdotool mousemove $((x + $(units_x "$1" "$w"))) $((y + $(units_y "$2" "$h"))) click 1
}

# press_in_settings KEY...: keys to the dialog. As a person would after using the tray menu, it
# first clicks the dialog's empty face (between Default Icons and OK) to bring it to the front.
press_in_settings() {
  click_in_settings 100 143 || return 1
  sleep 0.3
  press_in Settings "$@"
}

# press_in NAME KEY...: keys to the window of that name; without a window manager the X focus
# is given by hand.
press_in() {
  local window
  window=$(timeout 10 xdotool search --onlyvisible --name "^$1\$" | head -n 1) || return 1
  shift
  [ -n "$window" ] && timeout 10 xdotool windowfocus --sync "$window" key "$@"
}

# stored_value NAME: the data of a value of the settings key as reg prints it ("0xfa").
stored_value() {
  timeout 30 wine reg query 'HKCU\Software\Orvane\Lumenhop' /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { print $3 }'
}
period_stored_as() { [ "$(stored_value BlinkDuration)" = "$1" ]; }

# Clicks the period's edit box (138, 57, 34 x 12), empties it and types the new period.
type_period() {
  click_in_settings 155 63 || return 1
  sleep 0.3
  press_in Settings End BackSpace BackSpace BackSpace BackSpace BackSpace || return 1
  local window
  window=$(timeout 10 xdotool search --onlyvisible --name '^Settings$' | head -n 1) || return 1
  timeout 10 xdotool type --window "$window" "$1"
}

shell_icons='C:\windows\system32\shell32.dll'

settings_scenario() {
  # The active role starts from an icon of a file, so that a Browse that wrongly took an empty
  # path would show in the store after OK.
  timeout 30 wine reg add 'HKCU\Software\Orvane\Lumenhop' /v ExternalActiveIconFile /t REG_SZ \
    /d "$shell_icons" /f >/dev/null 2>&1
  timeout 30 wine reg add 'HKCU\Software\Orvane\Lumenhop' /v ExternalActiveIconIndex /t REG_DWORD \
    /d 3 /f >/dev/null 2>&1
  start_program
  check "Settings: the program starts again with the inactive icon" wait_for 40 one_inactive_icon
  check "Settings, the menu's second entry, opens its dialog" open_settings
  sleep 0.5
  screenshot "$work/settings.png"
  check "choosing Settings while it is open opens no second one" \
    eval 'choose_from_menu 2 && wait_for 10 menu_closed && stays_for 3 one_settings'
  check "Esc closes it" eval 'press_in_settings Escape && wait_for 10 settings_closed'
  check "it opens again" open_settings
  # Browse for the active icon (179, 86, 50 x 14). Wine's chooser is a stub that shows nothing
  # and reports a pick without a path, which the dialog refuses as a cancel.
  check "Browse calls the shell's chooser and leaves the dialog open, alone" \
    eval 'click_in_settings 204 93 && sleep 1 && ! program_ended && stays_for 2 one_settings'
  check "a typed period confirmed with Enter closes the dialog" \
    eval 'type_period 250 && press_in Settings Return && wait_for 10 settings_closed'
  check "... and is stored" wait_for 20 period_stored_as 0xfa
  check "... with the box's state" eval '[ "$(stored_value StartUp)" = 0x0 ]'
  check "... and the active icon's file and index as they were before Browse" \
    eval '[ "$(stored_value ExternalActiveIconFile)" = "$shell_icons" ] && [ "$(stored_value ExternalActiveIconIndex)" = 0x3 ]'
  check "the program still runs and shows the inactive icon" eval '! program_ended && one_inactive_icon'
  check "Exit ends it again with 0" eval 'choose_from_menu 6 && wait_for_exit'
}
