# shellcheck shell=bash disable=SC2154
# Drive letters that come and go while the program runs, with the provider beside it: Wine's
# mount manager gives and takes a letter as its configuration tool does (the session tool's
# define), and since it tells no window, the test announces the change as Windows would. The
# watched disk is the one Settings opens on (the window tests' SettingsDialogTest), closed with
# Esc, which applies nothing. Sourced by scripts/e2e.sh, whose helpers it uses, with those of
# tests/e2e/main.sh and tests/e2e/disk-light.sh.

drive() { session_tool define "$@" >/dev/null 2>&1; }
watched_is() {
  local choice
  open_settings && choice=$(settings_choice) && press_in_settings Escape && wait_for 10 settings_closed &&
    [ "$choice" = "$1" ]
}
lists_and_closes() { open_settings && lists_the_disks && press_in_settings Escape && wait_for 10 settings_closed; }

# store_disk NAME: SelectedDiskCounter as the program writes it, UTF-16LE without a zero.
store_disk() { store SelectedDiskCounter REG_BINARY "$(printf '%s' "$1" | iconv -t UTF-16LE | od -An -tx1 | tr -d ' \n')"; }

drives_scenario() {
  export WINEDLLOVERRIDES="$base_dll_overrides;pdh=n,b"
  local letter=Q: name='LogicalDisk(Q:)' folder="$WINEPREFIX/drive_c/q-drive"
  mkdir -p "$folder"
  store_disk "$name"
  expected_list=$(expected_disk_list)
  start_program
  check "a stored drive that is away: the program starts watching _Total" wait_for 40 watched_is 'LogicalDisk(_Total)'
  check "... Settings lists the drives of the moment, without it" lists_and_closes
  drive "$letter" "$folder"
  expected_list=$(expected_disk_list)
  check "Wine takes $letter while the program runs: Settings lists it" lists_and_closes
  check "... and $letter is watched" wait_for 20 watched_is "$name"
  check "$letter taken away and announced: _Total is watched" \
    eval 'drive "$letter" && session_tool announce "$letter" removed && wait_for 20 watched_is "LogicalDisk(_Total)"'
  check "$letter given back and announced: it is watched again" \
    eval 'drive "$letter" "$folder" && session_tool announce "$letter" arrived && wait_for 20 watched_is "$name"'
  check "the watched $letter taken away unannounced while lit: the icon goes inactive" \
    burst_lights_icon "$letter"
  check "... given back: the light follows it again" eval 'drive "$letter" "$folder" && burst_lights_icon'
  check "Exit ends the program with 0" eval 'choose_from_menu 4 && wait_for_exit'
}
