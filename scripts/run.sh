#!/usr/bin/env bash
# Installs what is missing, builds Lumenhop.exe and runs it under Wine.
#
# With a display, the program runs there until you choose Exit from its tray icon's
# right-button menu. Without one, it runs in a virtual X server for a short demonstration: it
# writes screenshots of its tray icon and of its open menu into build/run/ and says where, then
# ends the program through the menu's Exit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=${LUMENHOP_WINDOWS_BUILD:-build/windows}
work=$(realpath -m "${LUMENHOP_RUN_DIR:-build/run}")
[ -f "$build/CMakeCache.txt" ] || cmake --preset windows -B "$build" >/dev/null
echo "Building Lumenhop.exe in $build"
cmake --build "$build" --target Lumenhop -j 2 >/dev/null
exe=$(realpath "$build/app/Lumenhop.exe")
echo "Built $exe"

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
mkdir -p "$work"
wine_session_prefix "$work/prefix"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Lumenhop is running: its icon is in the notification area (or in Wine's system tray"
  echo "window). Right-click it for the menu; choose Exit to end the program."
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

icon_shown() {
  local x y w h
  read -r x y w h < <(tray_geometry) || return 1
  screenshot "$work/screen.png"
  [ -n "$(tray_squares "$work/screen.png" "$x" "$y" "$w" "$h" 80)" ]
}
if ! wait_for 60 icon_shown; then
  echo "The tray icon did not appear; see $work/screen.png" >&2
  exit 1
fi
read -r tx ty tw th < <(tray_geometry)
read -r ix iy < <(tray_squares "$work/screen.png" "$tx" "$ty" "$tw" "$th" 80 | head -n 1)
"$MAGICK_CONVERT" "$work/screen.png" -crop "$((tw + 40))x$((th + 40))+0+0" +repage -scale 400% "$work/tray.png"
echo "Lumenhop is running. Its tray icon (the dark green square in Wine's system tray window):"
echo "  $work/tray.png"

xdotool mousemove $((ix + 6)) $((iy + 6)) click 3
sleep 1.5
screenshot "$work/screen.png"
"$MAGICK_CONVERT" "$work/screen.png" -crop "320x200+0+0" +repage -scale 200% "$work/menu.png"
echo "Its menu after a right-button press on the icon:"
echo "  $work/menu.png"

# Up from an untouched menu selects its last entry, Exit.
xdotool key Up Return
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
