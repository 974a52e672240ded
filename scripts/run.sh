#!/usr/bin/env bash
# Installs what is missing, builds Lumenhop.exe and its disk-counter provider pdh.dll, and runs
# the program under Wine with the provider, so that its tray icon lights while the disk works.
#
# With a display, the program runs there until you choose Exit from its tray icon's
# right-button menu. Without one, it runs in a virtual X server for a short demonstration: it
# takes pictures of its tray icon idle, and busy while it writes a burst to the disk, of its
# menu, its Settings dialog with the disk list and its Disk Information dialog, writes them into
# build/run/ (or LUMENHOP_PICTURES, e.g. docs) and says where, then ends the program through
# the menu's Exit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=${LUMENHOP_WINDOWS_BUILD:-build/windows}
work=$(realpath -m "${LUMENHOP_RUN_DIR:-build/run}")
pictures=$(realpath -m "${LUMENHOP_PICTURES:-$work}")
[ -f "$build/CMakeCache.txt" ] || cmake --preset windows -B "$build" >/dev/null
echo "Building Lumenhop.exe and pdh.dll in $build"
cmake --build "$build" --target Lumenhop lumenhop_pdh -j 2 >/dev/null
exe=$(realpath "$build/app/Lumenhop.exe")
echo "Built $exe and the provider $build/wine/pdh.dll"

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
mkdir -p "$work" "$pictures"
wine_session_prefix "$work/prefix"
# The provider as the prefix's own pdh.dll first, Wine's own service otherwise.
wine_session_provider "$build/wine/pdh.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Lumenhop is running: its icon is in the notification area (or in Wine's system tray"
  echo "window) and lights while the disk works. Right-click it for the menu; choose Exit to"
  echo "end the program."
  set +e
  wine "$exe"
  code=$?
  set -e
  echo "Lumenhop ended with exit code $code"
  exit "$code"
fi

echo "No display: running Lumenhop in a virtual X server"
trap wine_session_end EXIT
wine_session_display
wine "$exe" >/dev/null 2>&1 &
program=$!

# The program's icon, inactive (interior 0,128,0) or active (0,255,0): "X Y" on the screen.
icon_at() {
  local x y w h
  read -r x y w h < <(tray_geometry) || return 1
  screenshot "$work/screen.png"
  tray_squares "$work/screen.png" "$x" "$y" "$w" "$h" "$1" | head -n 1 | grep .
}
# picture_of_tray NAME: the tray window and its surroundings, four times enlarged.
picture_of_tray() {
  local x y w h
  read -r x y w h < <(tray_geometry)
  "$MAGICK_CONVERT" "$work/screen.png" -crop "$((w + 40))x$((h + 40))+0+0" +repage -scale 400% "$pictures/$1.png"
  echo "  $pictures/$1.png"
}
# picture_of_window TITLE NAME [EXTRA-HEIGHT]: one window, as on the screen.
picture_of_window() {
  local x y w h
  read -r x y w h < <(window_geometry "$1") || return 1
  screenshot "$work/screen.png"
  "$MAGICK_CONVERT" "$work/screen.png" -crop "${w}x$((h + ${3:-0}))+$x+$y" +repage "$pictures/$2.png"
  echo "  $pictures/$2.png"
}
# menu [KEYS...]: opens the icon's menu with the right button and picks an entry with the keys.
menu() {
  local x y
  read -r x y < <(icon_at "80 FF")
  xdotool mousemove $((x + 6)) $((y + 6)) click 3
  sleep 1
  [ $# -eq 0 ] && return 0
  xdotool key "$@"
  # Away from the icon, whose tip would show in the pictures.
  xdotool mousemove 700 700
}
window_open() { window_geometry "$1" >/dev/null; }
window_closed() { ! window_open "$1"; }
# click_in TITLE X Y: a click at a point of a dialog given in its template's units (both
# dialogs here are 246 x 155 units); without a window manager the window is the client area.
click_in() {
  local x y w h
  read -r x y w h < <(window_geometry "$1") || return 1
  xdotool mousemove $((x + ($2 * w + 123) / 246)) $((y + ($3 * h + 77) / 155)) click 1
}
# close_dialog TITLE: Esc to the dialog, as a person would after a click on its empty face.
close_dialog() {
  click_in "$1" 100 143 && sleep 0.3
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "^$1\$" | head -n 1)" key Escape
  wait_for 10 window_closed "$1"
}
fail() {
  echo "$1; see $work/screen.png" >&2
  exit 1
}

wait_for 60 icon_at "80 FF" || fail "The tray icon did not appear"
echo "Lumenhop is running. Pictures of it:"
# Other work may keep the disk busy: the idle picture waits for a quiet second.
quiet() { for _ in 1 2 3 4 5; do icon_at 80 >/dev/null || return 1; sleep 0.2; done; }
wait_for 60 quiet || echo "  (the disk stayed busy: the idle picture may show the icon lit)"
screenshot "$work/screen.png"
picture_of_tray tray-idle

# 40 MB written straight to the disk the Wine prefix lies on light the icon.
burst="$WINEPREFIX/drive_c/burst.bin"
disk_burst "$burst" &
writer=$!
wait_for 10 icon_at FF || fail "The icon did not light while the disk was written to"
picture_of_tray tray-busy
wait "$writer"
rm -f "$burst"

menu
screenshot "$work/screen.png"
"$MAGICK_CONVERT" "$work/screen.png" -crop "320x200+0+0" +repage -scale 200% "$pictures/menu.png"
echo "  $pictures/menu.png"
xdotool key Escape

# Settings, the menu's second entry, with its disk list dropped down.
menu Down Down Return
wait_for 15 window_open Settings || fail "Settings did not open"
sleep 0.5
click_in Settings 120 42
sleep 1
picture_of_window Settings settings
xdotool key Escape
close_dialog Settings || fail "Settings did not close"

# Disk Information, the fourth entry (the third below two separators).
menu Down Down Down Return
wait_for 15 window_open "Disk Information" || fail "Disk Information did not open"
sleep 1
picture_of_window "Disk Information" disk-information
close_dialog "Disk Information" || fail "Disk Information did not close"

# Up from an untouched menu selects its last entry, Exit.
menu Up Return
if wait_for 20 eval "! kill -0 $program"; then
  set +e
  wait "$program"
  code=$?
  set -e
  echo "Exit chosen from the menu: Lumenhop ended with exit code $code"
else
  echo "Lumenhop did not end through its menu; stopping Wine" >&2
  exit 1
fi
