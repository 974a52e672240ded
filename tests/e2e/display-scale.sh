# shellcheck shell=bash disable=SC2154
# The tray icon at 100% and 200% display scale: a custom icon from a file with 16 and 32 pixel
# images shows the file's own image of the size, not another one scaled. (The built-in icon's
# picture at each scale is the window tests' DisplayScaleTest, run at every DPI.) Sourced by scripts/e2e.sh, whose
# helpers it uses (check, wait_for, start_program, end_program, tray_geometry, screenshot), with
# $work.

# tray_colour_count RRGGBB: how many pixels of the tray area have exactly that colour.
tray_colour_count() { tray_crop txt | grep -c " #$1 "; }
# Exactly SIZE x SIZE pixels of the colour: the file's own image, not another one scaled.
solid_image_of() { [ "$(tray_colour_count "$1")" -eq $(($2 * $2)) ]; }

# The inactive role's icon from a file of two solid images, 16 pixels red and 32 pixels blue, in
# the Windows folder and stored as the shell's picker gives such a path, with %SystemRoot%.
store_two_size_icon() {
  "$MAGICK_CONVERT" -size 16x16 xc:red -size 32x32 xc:blue -type TrueColor \
    "$WINEPREFIX/drive_c/windows/lumenhop-two-sizes.ico" &&
    store ExternalInactiveIconFile REG_SZ '%SystemRoot%\lumenhop-two-sizes.ico'
}

display_scale_scenario() {
  local dpi
  for dpi in 192 96; do
    check "at $dpi DPI a custom icon of 16 and 32 pixel images, stored with %SystemRoot%, shows its $((dpi / 6))-pixel image" \
      eval "wine_session_dpi $dpi && store_two_size_icon && start_program &&
        wait_for 40 solid_image_of $([ "$dpi" = 96 ] && echo FF0000 || echo 0000FF) $((dpi / 6))"
    check "... and taskkill ends the program" end_program
  done
}
