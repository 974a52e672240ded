#!/usr/bin/env bash
# Lumenhop's footprint under Wine, side by side with a minimal tray program in plain C
# (bench/footprint/MinimalTray.c) that samples the same counter through the same provider at the
# same 100 ms period. For each program, in one virtual X session:
#
#   start to icon   from starting the program to its icon on the screen (median of a few starts)
#   CPU time        user + system time of the program's process over a steady minute, and of the
#                   Wine server, which does the program's file reads
#   peak RSS        the program's largest resident set (VmHWM) by the end
#   busy to icon    from starting a burst of direct writes to the disk to the icon lit, over at
#                   least 20 bursts on an otherwise quiet disk: median and worst
#
# The icon is watched on the screen by bench/footprint/PixelWatch.c, every millisecond.
#
#   bash bench/footprint.sh            the full measurement (about six minutes)
#   bash bench/footprint.sh --quick    a short smoke run of the same steps
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60 bursts=20 starts=9
if [ "${1:-}" = --quick ]; then seconds=5 bursts=3 starts=1; fi

bash scripts/setup-deps.sh
build=${LUMENHOP_WINDOWS_BUILD:-build/windows}
work=$(realpath -m "${LUMENHOP_BENCH_DIR:-build/footprint}")
apps=$work/apps
mkdir -p "$apps"
[ -f "$build/CMakeCache.txt" ] || cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target Lumenhop lumenhop_pdh -j 2 >/dev/null
cp "$build/app/Lumenhop.exe" "$apps/"
i686-w64-mingw32-windres bench/footprint/MinimalTray.rc -o "$work/MinimalTray.res.o"
i686-w64-mingw32-gcc -std=c11 -Os -Wall -Wextra -Werror -mwindows -s -o "$apps/MinimalTray.exe" \
  bench/footprint/MinimalTray.c "$work/MinimalTray.res.o" -lpdh
gcc -std=c11 -O2 -Wall -Wextra -Werror -o "$work/pixelwatch" bench/footprint/PixelWatch.c -lX11

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
wine_session_prefix "$work/prefix"
# Both programs load the provider as the prefix's own pdh.dll.
wine_session_provider "$build/wine/pdh.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"
trap wine_session_end EXIT
wine_session_display
# Lumenhop with its defaults: LogicalDisk(_Total), 100 ms, the built-in icons.
timeout 30 wine reg delete 'HKCU\Software\Orvane' /f >/dev/null 2>&1 || true

inactive=008000 active=00FF00
now_us() { echo "${EPOCHREALTIME/./}"; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
worst() { sort -n | tail -n 1; }

program_pid=""
# start NAME: starts the program and prints the milliseconds until its icon shows.
start() {
  local started seen
  "$work/pixelwatch" "$icon_x" "$icon_y" "$inactive,$active" 30000 >"$work/seen" &
  local watcher=$!
  sleep 0.2
  started=$(now_us)
  wine "$apps/$1.exe" >/dev/null 2>&1 &
  program_pid=$!
  wait "$watcher" || { echo "$1: no icon within 30 s" >&2; return 1; }
  seen=$(cat "$work/seen")
  echo $(((seen - started) / 1000))
}
# stop NAME: has Wine's task killer close the program's windows, naming it by its process id,
# which Wine's debugger lists.
stop() {
  local winpid
  winpid=$(timeout 30 wine winedbg --command "info process" 2>/dev/null | tr -d '\r' |
    awk -v name="'$1.exe'" 'tolower($NF) == tolower(name) {print $1}' | tr -d '=')
  [ -n "$winpid" ] && timeout 30 wine taskkill /pid "$((16#$winpid))" >/dev/null 2>&1
  wait_for 20 eval "! kill -0 $program_pid" || { echo "$1 did not end" >&2; return 1; }
  wait "$program_pid" 2>/dev/null || true
}
# The Wine server of this prefix, which serves the program's file reads.
wine_server_pid() {
  local candidate
  for candidate in $(pgrep -x wineserver32; pgrep -x wineserver); do
    if tr '\0' '\n' <"/proc/$candidate/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}
# One burst's latency in milliseconds: from starting 8 MB of direct writes to the icon lit. Other
# work on the machine may light the icon too, so a burst counts only when the icon was dark as it
# started and no block device had completed a transfer in the quarter second before (two samples
# of the counter); otherwise it is written again.
burst_latency() {
  local attempt started seen first_transfer
  for ((attempt = 0; attempt < 200; attempt++)); do
    "$work/pixelwatch" "$icon_x" "$icon_y" "$inactive" 10000 >/dev/null || continue
    "$work/pixelwatch" "$icon_x" "$icon_y" "$active" 3000 io >"$work/seen" &
    local watcher=$!
    # At a random point of the sampling period: the icon went dark at the end of a sample.
    sleep "0.$((250 + RANDOM % 100))"
    started=$(now_us)
    dd if=/dev/zero of="$WINEPREFIX/drive_c/burst.bin" bs=1M count=8 oflag=direct conv=notrunc status=none
    wait "$watcher" || { echo "no light within 3 s of a burst" >&2; return 1; }
    read -r seen first_transfer <"$work/seen"
    if [ "$first_transfer" -gt "$started" ] && [ "$seen" -gt "$started" ]; then
      echo $(((seen - started) / 1000))
      return 0
    fi
  done
  echo "no burst on a quiet disk in 200 tries" >&2
  return 1
}

# A first start of each program warms Wine's caches; Lumenhop's shows where the icon sits.
wine "$apps/Lumenhop.exe" >/dev/null 2>&1 &
program_pid=$!
icon_found() {
  local x y w h
  read -r x y w h < <(tray_geometry) || return 1
  screenshot "$work/screen.png"
  read -r icon_x icon_y < <(tray_squares "$work/screen.png" "$x" "$y" "$w" "$h" "80 FF" | head -n 1) || return 1
}
wait_for 60 icon_found || { echo "Lumenhop's icon did not appear" >&2; exit 1; }
icon_x=$((icon_x + 5)) icon_y=$((icon_y + 5))
stop Lumenhop
wine "$apps/MinimalTray.exe" >/dev/null 2>&1 &
program_pid=$!
"$work/pixelwatch" "$icon_x" "$icon_y" "$inactive,$active" 30000 >/dev/null || { echo "MinimalTray's icon did not appear" >&2; exit 1; }
stop MinimalTray

declare -A result
for name in Lumenhop MinimalTray; do
  echo "--- $name"
  : >"$work/$name.starts"
  for ((i = 1; i <= starts; i++)); do
    start "$name" >>"$work/$name.starts"
    [ "$i" -eq "$starts" ] || stop "$name"
  done
  server=$(wine_server_pid)
  sleep 2
  program_before=$(ticks "$program_pid") server_before=$(ticks "$server")
  sleep "$seconds"
  program_after=$(ticks "$program_pid") server_after=$(ticks "$server")
  : >"$work/$name.bursts"
  for ((i = 1; i <= bursts; i++)); do burst_latency >>"$work/$name.bursts"; done
  hz=$(getconf CLK_TCK)
  result[$name,start]=$(median <"$work/$name.starts")
  result[$name,cpu]=$(((program_after - program_before) * 1000 / hz))
  result[$name,server]=$(((server_after - server_before) * 1000 / hz))
  result[$name,rss]=$(awk '/VmHWM/ {print $2}' "/proc/$program_pid/status")
  result[$name,median]=$(median <"$work/$name.bursts")
  result[$name,worst]=$(worst <"$work/$name.bursts")
  stop "$name"
  echo "starts (ms): $(tr '\n' ' ' <"$work/$name.starts"); bursts (ms): $(tr '\n' ' ' <"$work/$name.bursts")"
done
rm -f "$WINEPREFIX/drive_c/burst.bin"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }
row() {
  printf '%-34s %12s %12s %8s\n' "$1" "${result[Lumenhop,$2]}" "${result[MinimalTray,$2]}" \
    "$(ratio "${result[Lumenhop,$2]}" "${result[MinimalTray,$2]}")"
}
echo
printf '%-34s %12s %12s %8s\n' "under Wine, 100 ms period" Lumenhop MinimalTray ratio
row "start to icon, median (ms)" start
row "CPU time over ${seconds} s (ms)" cpu
row "... Wine server meanwhile (ms)" server
row "peak RSS (KiB)" rss
row "busy to icon, median (ms)" median
row "busy to icon, worst (ms)" worst
