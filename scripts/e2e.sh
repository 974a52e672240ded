#!/usr/bin/env bash
# End-to-end tests of the real Lumenhop.exe: its imports and resources, then the program under
# Wine in a virtual X server, driven with xdotool and read back from screenshots. Every wait is
# bounded; Wine and the X server are ended on every way out.
#
# Builds: LUMENHOP_WINDOWS_BUILD (default build/windows) for the executable and
# LUMENHOP_HOST_BUILD (default build/native) for the checking tool; LUMENHOP_E2E_DIR (default
# build/e2e) holds the Wine prefix, the screenshots and what was read from the dialogs.
# LUMENHOP_E2E_SECONDS (default 900) bounds the part under Wine as a whole.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

windows_build=${LUMENHOP_WINDOWS_BUILD:-build/windows}
host_build=${LUMENHOP_HOST_BUILD:-build/native}
work=$(realpath -m "${LUMENHOP_E2E_DIR:-build/e2e}")
exe=$windows_build/app/Lumenhop.exe

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh

# e2e_program OUT SOURCE [OPTION...]: one of the small Windows programs the scenarios use, built
# when its source is newer.
e2e_program() {
  local out=$1 source=$2
  shift 2
  [ "$out" -nt "$source" ] && return 0
  mkdir -p "$(dirname "$out")"
  i686-w64-mingw32-g++-posix -std=c++20 -O1 -Wall -Wextra -Werror -static -o "$out" "$source" "$@"
}
# shellcheck source=tests/e2e/disk-information.sh
source tests/e2e/disk-information.sh
# shellcheck source=tests/e2e/settings.sh
source tests/e2e/settings.sh
# shellcheck source=tests/e2e/disk-light.sh
source tests/e2e/disk-light.sh
# shellcheck source=tests/e2e/tray-icons.sh
source tests/e2e/tray-icons.sh
# shellcheck source=tests/e2e/display-scale.sh
source tests/e2e/display-scale.sh
# shellcheck source=tests/e2e/drives.sh
source tests/e2e/drives.sh

# Should anything under Wine hang past every bounded wait, the watchdog ends the run; the exit
# trap then ends Wine and the X server, which also frees any call still waiting on them.
watchdog_pid=""
start_watchdog() {
  local limit=$1 script_pid=$$
  (
    trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
    sleep "$limit" &
    sleeper=$!
    wait "$sleeper"
    echo "e2e: out of time after ${limit}s; stopping" >&2
    kill -TERM "$script_pid"
  ) &
  watchdog_pid=$!
}
end_run() {
  if [ -n "$watchdog_pid" ]; then kill "$watchdog_pid" 2>/dev/null || true; fi
  wine_session_end
}
trap end_run EXIT

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "  ok    $what"
  else
    failed=$((failed + 1))
    echo "  FAIL  $what"
  fi
}

echo "--- building"
[ -f "$windows_build/CMakeCache.txt" ] || cmake --preset windows -B "$windows_build" >/dev/null
cmake --build "$windows_build" --target Lumenhop lumenhop_pdh -j 2 >/dev/null
[ -f "$host_build/CMakeCache.txt" ] || cmake --preset native -B "$host_build" >/dev/null
cmake --build "$host_build" --target lumenhop_pecheck -j 2 >/dev/null
build_disk_info_reader "$work"
build_tray_gate "$work"
build_define_drive "$work"

echo "--- the executable"
check "imports only KnownDLLs; resources, dialogs, menu, icons, version, manifest as built" \
  "$host_build/tools/lumenhop_pecheck" "$exe"

echo "--- under Wine"
start_watchdog "${LUMENHOP_E2E_SECONDS:-900}"
mkdir -p "$work"
rm -f "$work"/*.png
wine_session_prefix "$work/prefix"
wine_session_dpi 96
# The menus and dialogs are tested with Wine's own counter service, whose empty catalogue keeps
# the icon still; the disk-light scenario loads the provider, the prefix's own pdh.dll, instead.
wine_session_provider "$windows_build/wine/pdh.dll"
# The program runs from a folder of its own, with a planted pdh.dll beside it.
plant_beside_program "$work/app"
base_dll_overrides=$WINEDLLOVERRIDES
export WINEDLLOVERRIDES="$base_dll_overrides;pdh=b"
wine_session_display
# A fresh user hive for the settings check below.
timeout 30 wine reg delete 'HKCU\Software\Orvane' /f >/dev/null 2>&1 || true

program_pid=""
start_program() {
  wine "$exe" >/dev/null 2>&1 &
  program_pid=$!
}
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }

# One shot of the tray area; prints the squares found with the given interior green.
tray_squares_now() {
  local x y w h
  read -r x y w h < <(tray_geometry) || return 1
  screenshot "$work/shot.png"
  tray_squares "$work/shot.png" "$x" "$y" "$w" "$h" "$1"
}
one_inactive_icon() { [ "$(tray_squares_now 80 | wc -l)" -eq 1 ]; }
icon_gone() { ! tray_geometry >/dev/null 2>&1 || [ -z "$(tray_squares_now "80 FF")" ]; }
# A digest of the tray area's pixels, and whether they are still the ones in $tray_before.
tray_pixels() {
  local x y w h
  read -r x y w h < <(tray_geometry) || return 1
  screenshot "$work/shot.png"
  "$MAGICK_CONVERT" "$work/shot.png" -crop "${w}x${h}+$x+$y" +repage rgb:- | md5sum
}
tray_before=""
tray_unchanged() { [ "$(tray_pixels)" = "$tray_before" ]; }
no_icon() { program_ended && { ! tray_geometry >/dev/null 2>&1 || [ -z "$(tray_squares_now 80; tray_squares_now FF)" ]; }; }

# The program's popup menu: its window, and its entries read from the pixels, one per line:
# "T y" for a line of text (y its middle), "S y" for a separator.
menu_window() {
  local id
  for id in $(xwininfo -root -children | awk '/\(has no name\): \("lumenhop.exe"/{print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable' && { echo "$id"; return 0; }
  done
  return 1
}
menu_entries() {
  local id x y w h
  id=$(menu_window) || return 1
  read -r x y w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')
  screenshot "$work/menu.png"
  "$MAGICK_CONVERT" "$work/menu.png" -crop "${w}x${h}+$x+$y" +repage txt:- | awk -v top="$y" -v w="$w" -v h="$h" '
    function hex(text,   i, v) { v = 0; for (i = 1; i <= length(text); i++) v = v * 16 + index("0123456789ABCDEF", substr(text, i, 1)) - 1; return v }
    function lum(colour) { return hex(substr(colour, 2, 2)) + hex(substr(colour, 4, 2)) + hex(substr(colour, 6, 2)) }
    NR > 1 { split($1, xy, "[,:]"); c[xy[1] "," xy[2]] = $3 }
    END {
      frame = c["0,0"]
      # A line of text may have rows without dark pixels (between letters and descenders).
      last = -10
      for (row = 1; row < h - 1; row++) {
        dark = 0; line = 0
        for (col = 1; col < w - 1; col++) {
          if (c[col "," row] == frame) line++
          if (lum(c[col "," row]) < 300) dark++
        }
        if (line > (w - 2) / 2) {
          if (last >= 0) print "T", top + int((start + last) / 2)
          last = -10
          print "S", top + row
        } else if (dark > 0) {
          if (row - last > 4) { if (last >= 0) print "T", top + int((start + last) / 2); start = row }
          last = row
        }
      }
      if (last >= 0) print "T", top + int((start + last) / 2)
    }'
}
menu_closed() { ! menu_window >/dev/null; }

# Right-clicks the icon and picks entry N (1-6) of the menu; the shape of the menu is checked.
menu_x=0
choose_from_menu() {
  local entry=$1 x y entries
  read -r x y < <(tray_squares_now "80 FF" | head -n 1) || return 1
  xdotool mousemove $((x + 6)) $((y + 6)) click 3
  wait_for 10 menu_window || return 1
  sleep 0.3
  entries=$(menu_entries) || return 1
  menu_x=$(xwininfo -id "$(menu_window)" | awk '/Absolute upper-left X/{print $4}')
  [ "$(echo "$entries" | awk '{print $1}' | tr -d '\n')" = "TTSTST" ] || { echo "    menu read as: $(echo $entries)"; return 1; }
  y=$(echo "$entries" | awk -v n="$entry" '{ if (++i == n) print $2 }')
  xdotool mousemove $((menu_x + 30)) "$y" click 1
}

about_open() { window_geometry "About Varrowin" >/dev/null; }
about_closed() { ! about_open; }

# Presses a key in the About box; without a window manager the focus is given by hand.
press_in_about() {
  local window
  window=$(xdotool search --onlyvisible --name '^About Varrowin$' | head -n 1) || return 1
  xdotool windowfocus --sync "$window" key "$1"
}

# Clicks the About box's OK button, found from its place in the template (142, 53, 49 x 15 of 198 x 74).
click_about_ok() {
  local x y w h
  read -r x y w h < <(window_geometry "About Varrowin") || return 1
  xdotool mousemove $((x + w * 166 / 198)) $((y + h * 60 / 74)) click 1
}

second_start_exits_at_once() {
  local started=$SECONDS
  timeout 30 wine "$exe" >/dev/null 2>&1 || return 1
  [ $((SECONDS - started)) -lt 20 ]
}

exit_code=""
wait_for_exit() {
  wait_for 20 program_ended || return 1
  set +e
  wait "$program_pid"
  exit_code=$?
  set -e
  [ "$exit_code" -eq 0 ]
}

settings_key_absent() {
  timeout 30 wineserver -w || true
  ! grep -qi '^\[Software\\\\Orvane\\\\Lumenhop\]' "$WINEPREFIX/user.reg"
}

start_program
check "starts and shows the default inactive icon (black border, interior 0,128,0)" wait_for 40 one_inactive_icon
screenshot "$work/tray.png"
tray_before=$(tray_pixels) || true
check "a second start exits with 0 at once" second_start_exits_at_once
check "... and adds no second icon, nor changes a pixel of the tray" eval 'one_inactive_icon && stays_for 2 tray_unchanged'
check "the icon taken away behind the program's back is gone" \
  eval 'timeout 30 wine "$disk_info_reader" --remove-icon && wait_for 10 icon_gone'
check "a second start brings it back at once, and exits with 0" \
  eval 'second_start_exits_at_once && wait_for 5 one_inactive_icon'
check "a right-button press opens the six-entry menu; About opens from it" \
  eval 'choose_from_menu 1 && wait_for 10 about_open'
screenshot "$work/about.png"
check "Esc closes About" eval 'press_in_about Escape && wait_for 10 about_closed'
check "About opens again from the menu" eval 'choose_from_menu 1 && wait_for 10 about_open'
check "OK closes About" eval 'click_about_ok && wait_for 10 about_closed'
disk_information_scenario
check "the icon is still the inactive one" one_inactive_icon
check "Exit from the menu ends the program" eval 'choose_from_menu 6 && wait_for_exit'
check "the exit code is 0" test "${exit_code:-1}" = 0
check "the icon goes away" wait_for 10 no_icon
check "a run that never pressed OK created no settings key" settings_key_absent
icons_scenario
disk_light_scenario
without_pdh_scenario
drives_scenario
late_shell_scenario
display_scale_scenario

echo "screenshots: $work/tray.png, $work/about.png, $work/settings.png"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
