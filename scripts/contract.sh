#!/usr/bin/env bash
# Runs the cross-built contract tests under Wine, against the real interfaces, in a virtual X
# server (windows and the notification area need a display). Expects the windows preset built.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-session.sh
trap wine_session_end EXIT

program=build/windows/tests/contract/lumenhop_contract.exe
# The disk-counter provider, when built, answers the counter service's contract.
if [ -f build/windows/app/pdh.dll ]; then
  cp build/windows/app/pdh.dll "$(dirname "$program")/"
fi
wine_session_prefix "$PWD/build/wine-contract"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"
wine_session_display
timeout 300 wine "$program"
