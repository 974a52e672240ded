# shellcheck shell=bash disable=SC2154
# The Disk Information dialog of the running program, used as a person would: opened from the
# tray menu, looked at, read, closed with its Close button, with Esc and with Enter, and never
# opened twice. Sourced by scripts/e2e.sh, whose helpers it uses (check, wait_for, screenshot,
# window_geometry, choose_from_menu, menu_closed, program_ended, one_inactive_icon) and whose
# $work folder receives the screenshots and the report text.

disk_info_reader=""

# build_disk_info_reader DIR: the small Windows program that reads the report out of the dialog.
build_disk_info_reader() {
  disk_info_reader="$1/ReadWindowText.exe"
  [ "$disk_info_reader" -nt tests/e2e/ReadWindowText.cpp ] && return 0
  mkdir -p "$1"
  i686-w64-mingw32-g++-posix -std=c++20 -O1 -Wall -Wextra -Werror -static \
    -o "$disk_info_reader" tests/e2e/ReadWindowText.cpp -lntdll
}

disk_info_count() { timeout 10 xdotool search --onlyvisible --name '^Disk Information$' 2>/dev/null | wc -l; }
disk_info_open() { [ "$(disk_info_count)" -ge 1 ]; }
disk_info_closed() { [ "$(disk_info_count)" -eq 0 ]; }
one_disk_info() { [ "$(disk_info_count)" -eq 1 ]; }

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

# The dialog's template is 246 x 155 dialog units; without a window manager its X window is
# exactly the client area, so units map to pixels by the window's own size.
disk_info_geometry() { window_geometry "Disk Information"; }
units_x() { echo $((($1 * $2 + 123) / 246)); }
units_y() { echo $((($1 * $2 + 77) / 155)); }

# disk_info_shot: a picture of the dialog alone, as $work/disk-information.png.
disk_info_shot() {
  local x y w h
  read -r x y w h < <(disk_info_geometry) || return 1
  screenshot "$work/screen.png"
  "$MAGICK_CONVERT" "$work/screen.png" -crop "${w}x${h}+$x+$y" +repage "$work/disk-information.png"
}

# read_disk_info_report FILE: the text of the open dialog's report box (control 1007); fails
# unless exactly one Disk Information window is open.
read_disk_info_report() {
  timeout 30 wine "$disk_info_reader" "Disk Information" 1007 >"$1" 2>/dev/null
}

disk_info_headers=(
  "Reading the drive internals using physical access with admin rights"
  "Reading the drive internals using SCSI..."
  "Reading the drive internals using physical access with current user rights"
  "Reading the drive internals using SMART"
)

# The report is empty (no probe reached a drive) or opens with an empty line and a probe's
# header, and has CR LF line ends only.
report_well_formed() {
  local file=$1 line
  [ -s "$file" ] || return 0
  [ "$(tr -cd '\r' <"$file" | wc -c)" -eq "$(grep -c $'\r$' "$file")" ] &&
    [ "$(tr -cd '\n' <"$file" | wc -c)" -eq "$(grep -c $'\r$' "$file")" ] || { echo "    line ends other than CR LF"; return 1; }
  [ "$(head -n 1 "$file")" = $'\r' ] || { echo "    the first line is not empty"; return 1; }
  line=$(sed -n 2p "$file" | tr -d '\r')
  printf '%s\n' "${disk_info_headers[@]}" | grep -qxF -- "$line" || { echo "    no probe header first: $line"; return 1; }
}

# The first look: a picture of the dialog and its report, which must be well formed.
disk_info_first_look() {
  disk_info_shot && read_disk_info_report "$work/disk-information.txt" &&
    report_well_formed "$work/disk-information.txt"
}

# The same report as at the first opening, not a longer one.
disk_info_as_first() {
  read_disk_info_report "$work/disk-information-again.txt" &&
    cmp -s "$work/disk-information.txt" "$work/disk-information-again.txt" ||
    { echo "    the report differs from the first opening's"; return 1; }
}

# Clicks the Close button, in the middle of its place in the template.
click_disk_info_close() {
  local x y w h
  read -r x y w h < <(disk_info_geometry) || return 1
  xdotool mousemove $((x + $(units_x 216 "$w"))) $((y + $(units_y 143 "$h"))) click 1
}

# Presses a key in the dialog. As a person would after using the tray menu, it first clicks the
# dialog's empty face (left of the Close button) to bring it to the front; that moves no focus
# inside the dialog. Without a window manager the X focus is given by hand.
press_in_disk_info() {
  local x y w h window
  read -r x y w h < <(disk_info_geometry) || return 1
  xdotool mousemove $((x + $(units_x 20 "$w"))) $((y + $(units_y 143 "$h"))) click 1
  sleep 0.3
  window=$(timeout 10 xdotool search --onlyvisible --name '^Disk Information$' | head -n 1) || return 1
  [ -n "$window" ] && timeout 10 xdotool windowfocus --sync "$window" key "$1"
}

# A fresh opening: none is open before the menu entry is chosen.
open_disk_info() { disk_info_closed && choose_from_menu 4 && wait_for 15 disk_info_open; }

disk_information_scenario() {
  rm -f "$work"/disk-information*
  check "Disk Information, the menu's fourth entry, opens its dialog" open_disk_info
  check "... whose report reads back and is empty or well formed" disk_info_first_look
  check "Close closes it" eval 'click_disk_info_close && wait_for 10 disk_info_closed'
  check "it opens again and shows the same report, not a longer one" eval 'open_disk_info && disk_info_as_first'
  check "choosing Disk Information while it is open opens no second one" \
    eval 'choose_from_menu 4 && wait_for 10 menu_closed && stays_for 3 one_disk_info'
  check "Esc closes it" eval 'press_in_disk_info Escape && wait_for 10 disk_info_closed'
  check "it opens a third time" open_disk_info
  check "Enter closes it: the focus starts on Close" eval 'press_in_disk_info Return && wait_for 10 disk_info_closed'
  check "the program still runs and shows the inactive icon" eval '! program_ended && one_inactive_icon'
}
