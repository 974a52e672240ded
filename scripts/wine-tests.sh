#!/usr/bin/env bash
# Runs the cross-built test programs under Wine, in one Wine session with a virtual X server
# (windows, dialogs and the notification area need a display): the contract tests against the
# real interfaces, and the window and dialog tests against the real user32, comctl32 and shell32.
# Expects the windows preset built. Arguments, when given, are the programs to run instead.
#
#   bash scripts/wine-tests.sh [PROGRAM.exe ...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-session.sh
trap wine_session_end EXIT

programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
  programs=(build/windows/tests/contract/lumenhop_contract.exe build/windows/tests/windows/lumenhop_window_tests.exe)
fi
# The disk-counter provider of the same build is the prefix's own pdh.dll: it answers the counter
# service's contract, and under it the main window's set-up finds disks and its sampler keeps running.
# None stays beside a program, where older builds put it.
for program in "${programs[@]}"; do rm -f "$(dirname "$program")/pdh.dll"; done
wine_session_prefix "$PWD/build/wine-tests"
wine_session_provider "${programs[0]%/tests/*}/wine/pdh.dll"
wine_session_unmanaged
wine_session_dpi 96
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"
wine_session_display

failed=0
for program in "${programs[@]}"; do
  echo "--- $(basename "$program")"
  timeout 300 wine "$program" || failed=1
done
# The display-scale tests again at 125, 150, 175 and 200%, then the prefix back at 100%.
for program in "${programs[@]}"; do
  [ "$(basename "$program")" = lumenhop_window_tests.exe ] || continue
  for dpi in 120 144 168 192; do
    echo "--- $(basename "$program") at $dpi DPI"
    wine_session_dpi "$dpi" && timeout 120 wine "$program" --gtest_filter='DisplayScaleTest.*' || failed=1
  done
  wine_session_dpi 96
done
exit $failed
