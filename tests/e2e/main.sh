# shellcheck shell=bash disable=SC2154
# The program as a person meets it: it starts with its icon, a second start brings back a lost
# icon and adds none, the right-button menu opens About and Disk Information, and Exit ends it
# with 0. With the helpers every scenario uses: the program, its tray icon, its menu and its
# dialogs. Sourced by scripts/e2e.sh, whose check, $exe and $work it uses.

# store NAME TYPE DATA: a value of the settings key, as the program would write it.
store() { timeout 30 wine reg add 'HKCU\Software\Orvane\Lumenhop' /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1; }

start_program() {
  wine "$exe" >/dev/null 2>&1 &
  program_pid=$!
}
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_for_exit() {
  local code=0
  wait_for 20 program_ended || return 1
  wait "$program_pid" || code=$?
  [ "$code" -eq 0 ] || { echo "    exit code $code"; return 1; }
}
# The program's main window closes at taskkill's request, even when no icon can be clicked.
end_program() { ! program_ended && timeout 30 wine taskkill /im Lumenhop.exe >/dev/null 2>&1 && wait_for_exit; }
second_start_exits_at_once() { timeout 20 wine "$exe" >/dev/null 2>&1; }

# One shot of the tray area; prints the squares found with the given interior greens.
tray_squares_now() {
  local geometry
  geometry=$(tray_geometry) && screenshot "$work/shot.png" || return 1
  # shellcheck disable=SC2086 # the geometry's four numbers, as four arguments
  tray_squares "$work/shot.png" $geometry "$1"
}
# icon_is GREENS: one icon in the tray, inactive (80), active (FF) or either ("80 FF").
icon_is() { [ "$(tray_squares_now "$1" | wc -l)" -eq 1 ]; }
icon_gone() { ! tray_geometry >/dev/null 2>&1 || [ -z "$(tray_squares_now "80 FF")" ]; }
# tray_crop FORMAT: the tray area of a new screenshot, in ImageMagick's FORMAT (txt, say).
tray_crop() {
  local x y w h
  read -r x y w h < <(tray_geometry) || return 1
  screenshot "$work/shot.png"
  "$MAGICK_CONVERT" "$work/shot.png" -crop "${w}x${h}+$x+$y" +repage "$1:-"
}

# The program's popup, its menu or a combo box's list: a viewable window of no name.
popup_window() {
  local id
  for id in $(xwininfo -root -children | awk '/\(has no name\): \("lumenhop.exe"/{print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable' && { echo "$id"; return 0; }
  done
  return 1
}
# The menu's entries read from its pixels, one per line: "T y" for a line of text (y its middle),
# "S y" for a separator; and its left edge in $menu_x.
menu_entries() {
  local id X Y WIDTH HEIGHT
  id=$(popup_window) || return 1
  eval "$(xdotool getwindowgeometry --shell "$id")"
  screenshot "$work/menu.png"
  echo "$X"
  # Each pixel's colour, and whether it is dark: its 8-bit red, green and blue sum under 300.
  "$MAGICK_CONVERT" "$work/menu.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -depth 8 txt:- |
    awk -v top="$Y" -v w="$WIDTH" -v h="$HEIGHT" '
    NR > 1 { split($1, xy, "[,:]"); split($2, rgb, "[(,)]"); c[xy[1] "," xy[2]] = $3; d[xy[1] "," xy[2]] = rgb[2] + rgb[3] + rgb[4] < 300 }
    END {
      frame = c["0,0"]
      # A line of text may have rows without dark pixels (between letters and descenders).
      last = -10
      for (row = 1; row < h - 1; row++) {
        dark = 0; line = 0
        for (col = 1; col < w - 1; col++) {
          if (c[col "," row] == frame) line++
          dark += d[col "," row]
        }
        if (line > (w - 2) / 2) {
          if (last >= 0) print "T", top + int((start + last) / 2)
          last = -10
          print "S", top + row
        } else if (dark > 0) {
          if (row - last > 4) { if (last >= 0) print "T", top + int((start + last) / 2); start = row }
          last = row
        }
      }
      if (last >= 0) print "T", top + int((start + last) / 2)
    }'
}
# The menu drawn whole, four items and two separators: its left edge, then its entries, in $menu.
menu_drawn() { menu=$(menu_entries) && [ "$(sed 1d <<<"$menu" | awk '{print $1}' | tr -d '\n')" = TTSTST ]; }

# Right-clicks the icon and picks item N of the menu (About 1, Settings 2, Disk Information 3,
# Exit 4), once it is drawn whole.
choose_from_menu() {
  local x y
  read -r x y < <(tray_squares_now "80 FF" | head -n 1) || return 1
  xdotool mousemove $((x + 6)) $((y + 6)) click 3
  wait_for 10 menu_drawn || { echo "    menu read as: $(menu_entries | tr '\n' ' ')"; return 1; }
  y=$(sed 1d <<<"$menu" | awk -v n="$1" '$1 == "T" && ++i == n { print $2 }')
  xdotool mousemove $(($(head -n 1 <<<"$menu") + 30)) "$y" click 1
}

# The dialogs, by title: how many are shown, and whether one is open or none.
shown() { timeout 10 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }
dialog_open() { [ "$(shown "$1")" -ge 1 ]; }
dialog_closed() { [ "$(shown "$1")" -eq 0 ]; }
# open_dialog TITLE ENTRY: a fresh opening from the menu; none is open before.
open_dialog() { dialog_closed "$1" && choose_from_menu "$2" && wait_for 15 dialog_open "$1"; }

# click_in TITLE X Y [WIDTH HEIGHT]: a click at a point of the dialog given in the units of its
# template, WIDTH x HEIGHT (default 246 x 155, Settings and Disk Information). Without a window
# manager the X window is exactly the client area, so units map to pixels by the window's size.
click_in() {
  local x y w h
  read -r x y w h < <(window_geometry "$1") || return 1
  xdotool mousemove $((x + ($2 * w + ${4:-246} / 2) / ${4:-246})) $((y + ($3 * h + ${5:-155} / 2) / ${5:-155})) click 1
}

# press_in TITLE KEY...: keys to the window of that title; without a window manager the X focus
# is given by hand.
press_in() {
  local window
  window=$(timeout 10 xdotool search --onlyvisible --name "^$1\$" | head -n 1) || return 1
  shift
  [ -n "$window" ] && timeout 10 xdotool windowfocus --sync "$window" key "$@"
}

# press_after_click TITLE X Y KEY...: as a person would after using the tray menu, a click on the
# dialog's empty face at X Y first brings it to the front, moving no focus inside it; the keys
# follow once Windows has it in the foreground.
press_after_click() {
  click_in "$1" "$2" "$3" && wait_for 10 session_tool foreground "$1" && press_in "$1" "${@:4}"
}

main_scenario() {
  start_program
  check "starts and shows the default inactive icon (black border, interior 0,128,0)" wait_for 40 icon_is 80
  screenshot "$work/tray.png"
  check "a second start exits with 0 at once" second_start_exits_at_once
  check "... and adds no second icon" stays_for 2 icon_is 80
  check "the icon taken away behind the program's back is gone" \
    eval 'session_tool remove-icon && wait_for 10 icon_gone'
  check "a second start brings it back at once, and exits with 0" \
    eval 'second_start_exits_at_once && wait_for 5 icon_is 80'
  check "a right-button press opens the menu, four items and two separators; About opens from it" open_dialog "About Varrowin" 1
  screenshot "$work/about.png"
  # OK's place in the About template: 142, 53, 49 x 15 of 198 x 74.
  check "OK closes About" eval 'click_in "About Varrowin" 166 60 198 74 && wait_for 10 dialog_closed "About Varrowin"'
  disk_information_checks
  check "Exit from the menu ends the program with 0" eval 'choose_from_menu 4 && wait_for_exit'
}
