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
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"
wine_session_display

failed=0
for program in "${programs[@]}"; do
  echo "--- $(basename "$program")"
  timeout 300 wine "$program" || failed=1
done
exit $failed
