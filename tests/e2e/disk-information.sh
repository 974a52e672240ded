# shellcheck shell=bash disable=SC2154
# The Disk Information dialog of the running program, used as a person would: opened from the
# tray menu, closed with its Close button, with Esc and with Enter, and never opened twice. Sourced by scripts/e2e.sh, whose helpers it uses (check, wait_for, screenshot,
# window_geometry, choose_from_menu, menu_closed, program_ended, one_inactive_icon) and whose
# $work folder holds the reader of other programs' controls that it builds.

disk_info_reader=""

# build_disk_info_reader DIR: the small Windows program that reads another program's controls.
build_disk_info_reader() {
  disk_info_reader="$1/ReadWindowText.exe"
  e2e_program "$disk_info_reader" tests/e2e/ReadWindowText.cpp -lntdll
}

# windows_named TITLE: how many visible windows have this exact title.
windows_named() { timeout 10 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }
disk_info_open() { [ "$(windows_named 'Disk Information')" -ge 1 ]; }
disk_info_closed() { [ "$(windows_named 'Disk Information')" -eq 0 ]; }
one_disk_info() { [ "$(windows_named 'Disk Information')" -eq 1 ]; }

# stays_for SECONDS COMMAND...: the command holds at every poll, every 0.2 s, for that long.
stays_for() {
  local limit=$(($1 * 5)) tries=0
  shift
  while [ "$tries" -lt "$limit" ]; do
    "$@" >/dev/null 2>&1 || return 1
    tries=$((tries + 1))
    sleep 0.2
  done
}

# Both dialogs' templates are 246 x 155 dialog units; without a window manager their X windows are
# exactly the client area, so units map to pixels by the window's own size.
units_x() { echo $((($1 * $2 + 123) / 246)); }
units_y() { echo $((($1 * $2 + 77) / 155)); }

# click_in TITLE X Y: a click at a point of the dialog given in dialog units.
click_in() {
  local x y w h
  read -r x y w h < <(window_geometry "$1") || return 1
  xdotool mousemove $((x + $(units_x "$2" "$w"))) $((y + $(units_y "$3" "$h"))) click 1
}

# press_in TITLE KEY...: keys to the window of that title; without a window manager the X focus
# is given by hand.
press_in() {
  local window
  window=$(timeout 10 xdotool search --onlyvisible --name "^$1\$" | head -n 1) || return 1
  shift
  [ -n "$window" ] && timeout 10 xdotool windowfocus --sync "$window" key "$@"
}

# press_after_click TITLE X Y KEY...: as a person would after using the tray menu, a click on the
# dialog's empty face at X Y first brings it to the front, moving no focus inside it.
press_after_click() {
  click_in "$1" "$2" "$3" || return 1
  sleep 0.3
  press_in "$1" "${@:4}"
}

# The Close button, in the middle of its place in the template; keys after a click left of it.
click_disk_info_close() { click_in "Disk Information" 216 143; }
press_in_disk_info() { press_after_click "Disk Information" 20 143 "$1"; }

# A fresh opening: none is open before the menu entry is chosen.
open_disk_info() { disk_info_closed && choose_from_menu 4 && wait_for 15 disk_info_open; }

disk_information_scenario() {
  rm -f "$work"/disk-information*
  check "Disk Information, the menu's fourth entry, opens its dialog" open_disk_info
  check "Close closes it" eval 'click_disk_info_close && wait_for 10 disk_info_closed'
  check "it opens again" open_disk_info
  check "choosing Disk Information while it is open opens no second one" \
    eval 'choose_from_menu 4 && wait_for 10 menu_closed && stays_for 3 one_disk_info'
  check "Esc closes it" eval 'press_in_disk_info Escape && wait_for 10 disk_info_closed'
  check "it opens a third time" open_disk_info
  check "Enter closes it: the focus starts on Close" eval 'press_in_disk_info Return && wait_for 10 disk_info_closed'
  check "the program still runs and shows the inactive icon" eval '! program_ended && one_inactive_icon'
}
