#!/usr/bin/env bash
# The cross-built test programs under Wine, through ctest: the contract tests against the real
# interfaces, and the window and dialog tests against the real user32, comctl32 and shell32, again
# at 120, 144, 168 and 192 DPI for the display-scale ones. ctest's fixture "wine" calls this
# script to set up and end one Wine session with a virtual X server (windows, dialogs and the
# notification area need a display), and every test program runs through it, its emulator.
#
#   bash scripts/wine-tests.sh setup DIR PDH.DLL    the session in DIR: prefix, provider, X server
#   bash scripts/wine-tests.sh run DIR PROGRAM...   one program in it, at $LUMENHOP_DPI (96)
#   bash scripts/wine-tests.sh cleanup DIR          ends the session's Wine and X server
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/wine-session.sh
source "$top/scripts/wine-session.sh"

# The session's prefix, with the provider's overrides: the disk-counter provider of the same build
# is the prefix's own pdh.dll, which answers the counter service's contract, and under it the main
# window's set-up finds disks and its sampler keeps running.
enter_session() {
  wine_session_prefix "$1/prefix"
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"
}

# Ends what a session in DIR left running: its Wine processes and its X server.
end_session() {
  local xvfb=""
  [ -f "$1/session" ] && xvfb=$(sed -n 's/^# xvfb //p' "$1/session")
  if [ -f "$1/prefix/system.reg" ]; then
    WINEPREFIX="$1/prefix" timeout 30 wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb" ] && [ "$(cat "/proc/$xvfb/comm" 2>/dev/null)" = Xvfb ]; then kill "$xvfb" || true; fi
  rm -f "$1/session"
}

case "${1:-}" in
setup)
  dir=$2
  mkdir -p "$dir"
  end_session "$dir"
  enter_session "$dir"
  wine_session_provider "$3"
  wine_session_unmanaged
  # A crash ends the program at once, with no dialog waiting for a click.
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine_session_dpi 96
  # Nothing of this display-less set-up may linger for the tests to join.
  timeout 60 wineserver -w || true
  # The X server outlives this step: the tests use it, and the cleanup step ends it.
  wine_session_display
  printf 'export DISPLAY=%s\n# xvfb %s\n' "$DISPLAY" "$XVFB_PID" >"$dir/session"
  ;;
run)
  dir=$2
  shift 2
  [ -f "$dir/session" ] || { echo "no Wine session in $dir: the wine fixture's setup did not run" >&2; exit 1; }
  # shellcheck source=/dev/null
  source "$dir/session"
  enter_session "$dir"
  # Wine reads the resolution when its session starts: a test at another one starts a new session.
  wine_session_dpi "${LUMENHOP_DPI:-96}"
  # Wine's own processes, which stay after the program, keep a file open rather than ctest's pipe.
  # The tests run one at a time (RESOURCE_LOCK wine), so one file serves them all.
  status=0
  timeout 280 wine "$@" >"$dir/output" 2>&1 || status=$?
  cat "$dir/output"
  exit "$status"
  ;;
cleanup)
  end_session "$2"
  ;;
*)
  sed -n '2,10s/^# \{0,1\}//p' "$0" >&2
  exit 2
  ;;
esac
