# shellcheck shell=bash disable=SC2154
# The disk light for real, with the provider as the prefix's own system32\pdh.dll: Settings lists
# the disks the kernel counts, direct writes to the disk the Wine prefix lies on light the tray
# icon, it goes out again when the disk is idle, and a physical disk chosen in Settings becomes
# the watched one; the pdh.dll planted beside the program is never loaded. Without a usable
# pdh.dll the program runs as with no disks. With the helpers for Settings, which the drives
# scenario uses too. Sourced by scripts/e2e.sh, with the helpers of tests/e2e/main.sh.

open_settings() { open_dialog Settings 2; }
settings_closed() { dialog_closed Settings; }
# Keys after a click on the face between Default Icons and OK.
press_in_settings() { press_after_click Settings 100 143 "$@"; }

# plant_beside_program DIR: a copy of $exe in DIR, which becomes $exe, and beside it a pdh.dll
# that leaves DIR/pdh.dll.loaded when a process loads it.
plant_beside_program() {
  mkdir -p "$1" && cp "$exe" "$1/" && rm -f "$1/pdh.dll.loaded" &&
    i686-w64-mingw32-gcc -std=c11 -O1 -Wall -Wextra -Werror -shared -s -o "$1/pdh.dll" tests/e2e/PlantedPdh.c &&
    exe=$1/Lumenhop.exe
}

# disk_of DIR: the whole disk, as /sys/block names it, that holds the directory.
disk_of() {
  local device sys
  device=$(stat -L -c '%Hd:%Ld' "$1") || return 1
  sys=$(readlink -f "/sys/dev/block/$device") || return 1
  [ -f "$sys/partition" ] && sys=$(dirname "$sys")
  [ -d "/sys/block/$(basename "$sys")" ] && basename "$sys"
}

# What Settings should list, worked out from /sys rather than the way the provider does it: the
# prefix's drive letters whose folder lies on a whole disk, each whole disk (no loop, RAM or
# compressed-RAM device) in the kernel's order, and the two totals.
expected_disk_list() {
  local disks=() name link letter disk i
  while read -r _ _ name _; do
    case $name in loop* | ram* | zram*) continue ;; esac
    [ -d "/sys/block/$name" ] && disks+=("$name")
  done </proc/diskstats
  [ ${#disks[@]} -gt 0 ] || return 0
  for link in "$WINEPREFIX"/dosdevices/?:; do
    letter=$(basename "$link")
    disk=$(disk_of "$link/") || continue
    printf '%s\n' "${disks[@]}" | grep -qxF "$disk" && echo "LogicalDisk(${letter^^})"
  done
  echo "LogicalDisk(_Total)"
  for i in "${!disks[@]}"; do echo "PhysicalDisk($i ${disks[i]})"; done
  echo "PhysicalDisk(_Total)"
}

joined() { tr '\n' ' ' <<<"$1"; }
settings_list() { session_tool items Settings 1010 2>/dev/null | tr -d '\r'; }
settings_choice() { session_tool text Settings 1010 2>/dev/null | tr -d '\r'; }

lists_the_disks() {
  local shown
  shown=$(settings_list) || return 1
  [ -n "$expected_list" ] && [ "$shown" = "$expected_list" ] && return 0
  echo "    Settings lists: $(joined "$shown")"
  echo "    expected:       $(joined "$expected_list")"
  return 1
}

# Waits for a quiet disk (the inactive icon for a second), then writes a burst to the prefix's
# disk and sees the active icon (interior 0,255,0) while it lasts. With a LETTER (the drives
# scenario), takes it away unannounced while the icon is lit and sees the icon go inactive: a
# disk that is gone is not busy, however it last read.
burst_lights_icon() {
  local writer seen=1
  wait_for 60 stays_for 1 icon_is 80 || { echo "    the disk never stayed idle for a second"; return 1; }
  disk_burst "$WINEPREFIX/drive_c/burst.bin" &
  writer=$!
  wait_for 10 icon_is FF && { [ $# -eq 0 ] || { drive "$1" && wait_for 10 icon_is 80; }; } && seen=0
  wait "$writer" || { echo "    the writes failed"; return 1; }
  return "$seen"
}

# Opens Settings, picks ENTRY from the disk list as a person would (a click opens the list, keys
# move to the entry, Enter takes it) and confirms with Enter, the dialog's OK.
choose_disk() {
  local index keys=(Home)
  index=$(echo "$expected_list" | grep -nxF -- "$1" | cut -d: -f1)
  [ -n "$index" ] || return 1
  for ((; index > 1; index--)); do keys+=(Down); done
  open_settings && click_in Settings 120 42 && wait_for 10 popup_window || return 1
  press_in Settings "${keys[@]}" Return || return 1
  [ "$(settings_choice)" = "$1" ] || { echo "    Settings shows \"$(settings_choice)\" chosen"; return 1; }
  press_in Settings Return && wait_for 10 settings_closed
}

disk_light_scenario() {
  export WINEDLLOVERRIDES="$base_dll_overrides;pdh=n,b"
  expected_list=$(expected_disk_list)
  physical=$(echo "$expected_list" | grep -m 1 '^PhysicalDisk([0-9]')
  start_program
  check "with the provider: the program starts and shows its icon" wait_for 40 icon_is "80 FF"
  check "Settings lists _Total and the disks: $(joined "$expected_list")" eval 'open_settings && lists_the_disks'
  screenshot "$work/settings.png"
  check "Esc closes it" eval 'press_in_settings Escape && wait_for 10 settings_closed'
  check "a burst of direct writes to the prefix's disk lights the icon" burst_lights_icon
  check "... and it goes out once the disk is idle" wait_for 60 icon_is 80
  check "choosing ${physical:-a physical disk} in Settings and OK" choose_disk "$physical"
  check "... watches it: a burst lights the icon again" burst_lights_icon
  check "Exit ends the program with 0" eval 'choose_from_menu 4 && wait_for_exit'
  check "the pdh.dll planted beside the program was never loaded" test ! -e "$(dirname "$exe")/pdh.dll.loaded"
}

# With pdh=OVERRIDE: the inactive icon, an empty disk list in Settings, and Exit ends with 0.
runs_without_disks() {
  local shown
  export WINEDLLOVERRIDES="$base_dll_overrides;pdh=$1"
  start_program
  wait_for 40 icon_is 80 && open_settings && shown=$(settings_list) && [ -z "$shown" ] &&
    press_in_settings Escape && wait_for 10 settings_closed && choose_from_menu 4 && wait_for_exit
}

# The provider with its export PdhCloseQuery renamed (PdhCloseQuerX), in its name table.
without_pdh_scenario() {
  check "with pdh.dll disabled, the program runs with no disks and Exit ends it with 0" runs_without_disks ""
}
lacking_pdh_scenario() {
  LC_ALL=C sed 's/PdhAddCounterW\x00PdhCloseQuery\x00/PdhAddCounterW\x00PdhCloseQuerX\x00/' \
    "$windows_build/wine/pdh.dll" >"$work/pdh-lacking.dll" && wine_session_provider "$work/pdh-lacking.dll"
  check "with a system pdh.dll that lacks PdhCloseQuery, the same" runs_without_disks n
}
