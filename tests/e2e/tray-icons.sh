# shellcheck shell=bash disable=SC2154
# Tray icons taken from a file: shell restarts with file icons for both roles leave the program's
# object counts flat; and a notification area that comes late still gets the icon. Sourced by
# scripts/e2e.sh, with the helpers of tests/e2e/main.sh.

# store_icon ROLE INDEX: the role's icon is the one at INDEX in the shell's icon library.
store_icon() {
  store "External${1}IconFile" REG_SZ 'C:\windows\system32\shell32.dll' &&
    store "External${1}IconIndex" REG_DWORD "$2"
}

# After 10 restarts to settle, 200 more leave the count flat but for the one or two replaced
# icons that may still wait for the shell to show their successor (an icon is three entries of
# Wine's table); a leak grows by six entries a restart. The session tool prints the live entries of the
# program's GDI handle table, where every icon keeps its bitmaps, before and after.
restarts_leave_counts_flat() {
  local before after
  wait_for 40 session_tool shell-restarts 10 || return 1
  read -r before after < <(session_tool shell-restarts 200 2>/dev/null | tr -d '\r' | tr '\n' ' ')
  echo "    GDI handle table: ${before:-?} -> ${after:-?} entries"
  [ "${before:-0}" -gt 0 ] && [ "${after:-0}" -le $((before + 6)) ]
}

icons_scenario() {
  store_icon Inactive 3 && store_icon Active 4
  start_program
  check "with file icons, 200 shell restarts leave the object counts flat" restarts_leave_counts_flat
  check "... and the program still runs; taskkill ends it with 0" end_program
}

# The notification area comes late, as at a logon where the shell is slow: Wine's desktop process
# is held just before it creates the area (the session tool's hold-tray), the program starts
# meanwhile and the shell refuses its icon; once the area is there the icon must come from the
# program's own retries, since Wine never broadcasts "TaskbarCreated" (no Wine 8 library holds
# the name, in ASCII or in UTF-16).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
no_desktop_process() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 1
  done
  return 0
}

# A fresh session whose start-up is done, then the desktop process started held.
hold_notification_area() {
  rm -f "$work/gate.open" "$work/gate.out"
  timeout 30 wineserver -k >/dev/null 2>&1
  timeout 30 wineserver -w
  wineserver -p && timeout 60 wine cmd /c exit >/dev/null 2>&1 && wait_for 20 no_desktop_process || return 1
  (timeout 300 wine "$(windows_path "$tool")" hold-tray "$(windows_path "$work/gate.open")" >"$work/gate.out" 2>&1 &)
  wait_for 30 grep -q '^held' "$work/gate.out"
}
no_notification_area() { ! program_ended && ! tray_geometry >/dev/null 2>&1; }
let_notification_area_come() { touch "$work/gate.open" && wait_for 10 grep -q '^open' "$work/gate.out"; }

late_shell_scenario() {
  check "with the notification area held back, the program starts and stays without an icon" \
    eval 'hold_notification_area && start_program && stays_for 3 no_notification_area'
  check "once the area comes, the icon appears within the first retries" \
    eval 'let_notification_area_come && wait_for 3 icon_is 80'
  check "... and Exit ends the program with 0" eval 'choose_from_menu 4 && wait_for_exit'
}
