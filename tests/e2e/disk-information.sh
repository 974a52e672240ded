# shellcheck shell=bash disable=SC2154
# The Disk Information dialog of the running program, used as a person would: opened from the
# tray menu and closed with Enter (Esc, its Close button, its one opening at a time and its report
# are the window tests'). Part of the main scenario (tests/e2e/main.sh), whose helpers it uses.

disk_information_checks() {
  check "Disk Information, the menu's third item, opens its dialog" open_dialog "Disk Information" 3
  # Keys after a click on the dialog's face left of the Close button.
  check "Enter closes it: the focus starts on Close" \
    eval 'press_after_click "Disk Information" 20 143 Return && wait_for 10 dialog_closed "Disk Information"'
}
