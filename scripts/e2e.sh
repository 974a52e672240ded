#!/usr/bin/env bash
# End-to-end tests of the real Lumenhop.exe under Wine in a virtual X server, driven with xdotool
# and read back from screenshots. The scenarios (tests/e2e/*.sh) are independent: each starts
# from a clean state (no program running, no settings key, 96 DPI, the provider as the prefix's
# pdh.dll), a failure is reported and the next one still runs, and the tally counts them all.
# Every wait is bounded; Wine and the X server are ended on every way out.
#
#   bash scripts/e2e.sh [SCENARIO...]    all of them by default: main disk_light
#                                        without_pdh lacking_pdh drives display_scale
#
# LUMENHOP_WINDOWS_BUILD (default build/windows) is the build of the executable; LUMENHOP_E2E_DIR
# (default build/e2e) holds the Wine prefix, the screenshots and the small programs the scenarios
# use. LUMENHOP_E2E_SECONDS (default 300) bounds each scenario.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

windows_build=${LUMENHOP_WINDOWS_BUILD:-build/windows}
work=$(realpath -m "${LUMENHOP_E2E_DIR:-build/e2e}")
exe=$windows_build/app/Lumenhop.exe
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(main disk_light without_pdh lacking_pdh drives display_scale)

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
for file in tests/e2e/*.sh; do
  # shellcheck source=/dev/null
  source "$file"
done
for scenario in "${scenarios[@]}"; do
  declare -F "${scenario}_scenario" >/dev/null || { echo "e2e.sh: no scenario \"$scenario\"" >&2; exit 2; }
done

# Each result is a line of $results, so that it outlives the scenario's subshell.
results=$work/results
record() { echo "$1" | tee -a "$results" | sed 's/^/  /'; }
check() {
  local what=$1
  shift
  if "$@"; then record "ok    $what"; else record "FAIL  $what"; fi
}

echo "--- building"
[ -f "$windows_build/CMakeCache.txt" ] || cmake --preset windows -B "$windows_build" >/dev/null
cmake --build "$windows_build" --target Lumenhop lumenhop_pdh -j 2 >/dev/null
mkdir -p "$work"
rm -f "$work"/*.png
: >"$results"
# The small Windows program that acts and reads in the session; built when its source is newer.
tool=$work/SessionTool.exe
[ "$tool" -nt tests/e2e/SessionTool.cpp ] ||
  i686-w64-mingw32-g++-posix -std=c++20 -O1 -Wall -Wextra -Werror -static -o "$tool" tests/e2e/SessionTool.cpp
session_tool() { timeout 120 wine "$tool" "$@"; }

wine_session_prefix "$work/prefix"
# The program runs from a folder of its own, with a planted pdh.dll beside it.
plant_beside_program "$work/app"
base_dll_overrides=$WINEDLLOVERRIDES
# On every way out, the scenario running is ended too.
scenario_pid=""
trap 'if [ -n "$scenario_pid" ]; then kill "$scenario_pid" 2>/dev/null; fi; wine_session_end' EXIT
wine_session_display

# The clean state every scenario starts from.
fresh_state() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w || true
  wine_session_dpi 96
  wine_session_provider "$windows_build/wine/pdh.dll"
  # The scenarios' files: the burst's, and the drive letter the drives scenario gives and takes.
  rm -f "$WINEPREFIX/drive_c/burst.bin" "$WINEPREFIX/dosdevices/q:"
  timeout 30 wine reg delete 'HKCU\Software\Orvane' /f >/dev/null 2>&1 || true
}

# run_scenario NAME: NAME_scenario in a subshell of its own, from the clean state, with Wine's own
# counter service (pdh=b) unless it chooses the provider. Should anything under Wine hang past
# every bounded wait, the watchdog ends the scenario and the Wine session, which also frees any
# call still waiting on them, and the next scenario runs.
run_scenario() {
  local limit=${LUMENHOP_E2E_SECONDS:-300} watchdog status
  echo "--- $1"
  fresh_state
  set +e
  (
    set -e
    export WINEDLLOVERRIDES="$base_dll_overrides;pdh=b"
    "$1_scenario"
  ) &
  scenario_pid=$!
  # The watchdog ends with the scenario, or ends it when the time is up.
  (timeout "$limit" tail --pid="$scenario_pid" -f /dev/null ||
    { kill -TERM "$scenario_pid"; timeout 20 wineserver -k >/dev/null 2>&1; }) &
  watchdog=$!
  wait "$scenario_pid"
  status=$?
  scenario_pid=""
  wait "$watchdog"
  set -e
  [ "$status" = 143 ] && status="out of time after ${limit}s" || status="exit $status"
  [ "$status" = "exit 0" ] || record "FAIL  the $1 scenario ended early ($status)"
}

for scenario in "${scenarios[@]}"; do run_scenario "$scenario"; done

echo "$(grep -c '^ok' "$results") passed, $(grep -c '^FAIL' "$results") failed in ${#scenarios[@]} scenarios"
! grep -q '^FAIL' "$results"
