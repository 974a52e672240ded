# shellcheck shell=bash disable=SC2154
# The Disk Information dialog of the running program, used as a person would: opened from the
# tray menu and closed with Enter (Esc, its Close button, its one opening at a time and its report
# are the window tests'). Part of the main scenario (tests/e2e/main.sh), whose helpers it uses.

# The Close button, in the middle of its place in the template; keys after a click left of it.
press_in_disk_info() { press_after_click "Disk Information" 20 143 "$1"; }
open_disk_info() { open_dialog "Disk Information" 3; }

disk_information_checks() {
  check "Disk Information, the menu's third item, opens its dialog" open_disk_info
  check "Enter closes it: the focus starts on Close" \
    eval 'press_in_disk_info Return && wait_for 10 dialog_closed "Disk Information"'
}
