# shellcheck shell=bash
# Shared by run.sh, e2e.sh, wine-tests.sh and mutate.sh (sourced): a Wine prefix under build/,
# a virtual X server when asked for, and screen reading through ImageMagick and xdotool.
# Everything it starts is ended by wine_session_end, which the callers put in an EXIT trap.

# ImageMagick's own programs; another "convert" may come first on PATH.
MAGICK_CONVERT=/usr/bin/convert
MAGICK_IMPORT=/usr/bin/import

XVFB_PID=""

# wine_session_prefix DIR: a 32-bit prefix in DIR, created on first use.
wine_session_prefix() {
  export WINEPREFIX="$1" WINEARCH=win32 WINEDEBUG=-all
  # No downloads of the browser engine or the .NET runtime on first start.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once; this takes a little while)"
    timeout 180 wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
    timeout 60 wineserver -w || true
  fi
}

# wine_session_provider DLL: installs the disk-counter provider as the prefix's own
# C:\windows\system32\pdh.dll, which Lumenhop and the test programs load with pdh=n,b. By a
# rename, so that a process still running from the old file keeps it intact.
wine_session_provider() {
  local system32="$WINEPREFIX/drive_c/windows/system32"
  cp "$1" "$system32/pdh.dll.new" && mv -f "$system32/pdh.dll.new" "$system32/pdh.dll"
}

# wine_session_unmanaged: no window manager runs in the virtual X server, so windows are made
# unmanaged, which keeps Wine from waiting two seconds for one at every dialog that hides.
wine_session_unmanaged() {
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg"; then
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    timeout 60 wineserver -w || true
  fi
}

# wine_session_dpi DPI: the display's resolution for the programs started after it. Wine 8 reads
# it when its session starts, from the user's LogPixels (which overrides the machine's under
# HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts), so a change ends the
# session; the next program starts one at the new resolution.
wine_session_dpi() {
  grep -qi "^\"LogPixels\"=dword:$(printf '%08x' "$1")" "$WINEPREFIX/user.reg" && return 0
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || return 1
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w || true
}

# wine_session_display: starts a virtual X server on a free display and exports DISPLAY.
wine_session_display() {
  local number=90
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$number"
  wait_for 10 xdpyinfo || { echo "the virtual X server did not start" >&2; return 1; }
}

wine_session_end() {
  if [ -n "${WINEPREFIX:-}" ]; then timeout 20 wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  XVFB_PID=""
}

# wait_for SECONDS COMMAND...: polls the command every 0.2 s until it succeeds.
wait_for() {
  local limit=$(($1 * 5)) tries=0
  shift
  until "$@" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -ge "$limit" ] && return 1
    sleep 0.2
  done
}

# stays_for SECONDS COMMAND...: the command holds at every poll, every 0.2 s, for that long.
fails() { ! "$@"; }
stays_for() {
  local limit=$1
  shift
  ! wait_for "$limit" fails "$@"
}

# The geometry "X Y WIDTH HEIGHT" of the first viewable window with this exact name.
window_geometry() {
  local window
  for window in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    xwininfo -id "$window" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
      /Width:/{w=$2} /Height:/{h=$2} END{if (w > 0) print x, y, w, h; else exit 1}' && return 0
  done
  return 1
}

# Wine shows tray icons in its own "Wine System Tray" window when no desktop tray exists.
tray_geometry() { window_geometry "Wine System Tray"; }

screenshot() { "$MAGICK_IMPORT" -window root "$1"; }

# tray_squares SCREENSHOT X Y W H GREENS [SIZE BORDER]: prints "X Y" (screen) of each SIZE x SIZE
# square (default 12, the 16-pixel icon's) with a black BORDER-pixel border (default 1) and an
# interior of #00GREEN00 inside the given area, one per line; GREENS is one green ("80", the
# inactive icon) or several ("80 FF", either icon).
tray_squares() {
  "$MAGICK_CONVERT" "$1" -crop "$4x$5+$2+$3" +repage txt:- | awk -v ox="$2" -v oy="$3" -v greens="$6" \
    -v size="${7:-12}" -v border="${8:-1}" '
    NR > 1 { split($1, xy, "[,:]"); colour[xy[1] "," xy[2]] = $3 }
    END {
      split(greens, list, " ")
      for (key in colour) {
        if (colour[key] != "#000000") continue
        split(key, p, ","); x = p[1]; y = p[2]
        # The square takes the colour of its first interior pixel, if that is one of the greens.
        want = ""
        for (g in list) if (colour[(x + border) "," (y + border)] == "#00" list[g] "00") want = "#00" list[g] "00"
        if (want == "") continue
        ok = 1
        for (j = 0; j < size && ok; j++) for (i = 0; i < size && ok; i++) {
          c = colour[(x + i) "," (y + j)]
          edge = (i < border || j < border || i >= size - border || j >= size - border)
          if ((edge && c != "#000000") || (!edge && c != want)) ok = 0
        }
        if (ok) print ox + x, oy + y
      }
    }'
}

# disk_burst FILE: 40 MB of direct writes (past the page cache, to the disk itself) into FILE,
# 1 MB every 50 ms for about two seconds, so that every sample of a 100 ms disk counter sees some.
disk_burst() {
  local block
  for block in $(seq 0 39); do
    dd if=/dev/zero of="$1" bs=1M count=1 seek="$block" oflag=direct conv=notrunc status=none || return 1
    sleep 0.05
  done
}
