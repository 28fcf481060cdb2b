#!/usr/bin/env bash
# The installed program as a menu would start it: the desktop entry's command, found on
# the PATH, on the rig's desktop with a notification area. Its window must be the one the
# entry promises (its class is StartupWMClass) and the usual borderless strip, and it must
# end cleanly from the icon's menu.
#   installed_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
source "$(dirname "$0")/rig.sh" "$2"
entry=$(dirname "$echora")/../share/applications/com.tarnwick.echora.desktop

start_sound_server
start_desktop
start_tray

field() { sed -n "s/^$1=//p" "$entry"; }
check "the desktop entry is installed beside the program" test -f "$entry"
check "the entry's command is the installed program" \
  test "$(PATH=$(dirname "$echora") command -v "$(field Exec)")" = "$echora"
start_echora "$echora" "$work/echora.log"
check "the About dialog appears by itself" wait_for window_named '^About$'
close_about
main=$(main_window)
check "the main window exists" test -n "$main"
read -r _ _ w h < <(geometry "$main")
check "borderless, 490 x 51 ($w x $h)" test "$w $h" = "490 51"
check "its window class is the entry's StartupWMClass" \
  bash -c "xprop -id $main WM_CLASS | grep -qF '\"$(field StartupWMClass)\"'"
check "it carries the program icon" bash -c "xprop -id $main _NET_WM_ICON | grep -qF 'Icon (32 x 32)'"
check "no taskbar entry" skips_taskbar "$main"
check "the icon is in the notification area" test -n "$(tray_icon)"
right_click_tray_icon
wait_for popup_window
xdotool key Up Return
check "Exit from the tray menu ends the program with status 0" echora_ends_with_status_0
finish
