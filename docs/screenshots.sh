#!/usr/bin/env bash
# Makes the README's pictures on the desktop rig: the window unfolded on its echo page, and
# the notification-area icon with its menu open.
#   docs/screenshots.sh ECHORA_BINARY   (e.g. build/app/echora)
echora=$(realpath "$1")
docs=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "$0")/../tests/desktop/rig.sh" "$(mktemp -d)"

start_sound_server
start_desktop
start_tray
start_echora "$echora" "$work/echora.log"
wait_for window_named '^About$' && close_about
main=$(main_window)
read -r x y _ _ < <(geometry "$main")
xdotool mousemove $((x + 344)) $((y + 25)) click 1  # Advanced
check "the window unfolds" wait_for height_is "$main" 240
xdotool mousemove 0 767  # no tool tip in the picture
sleep 0.5
import -display "$DISPLAY" -window "$main" "$docs/unfolded.png"

right_click_tray_icon
check "the icon's menu opens" wait_for popup_window
sleep 0.3
read -r tx ty _ _ < <(geometry "$(tray_icon)")
read -r mx my mw mh < <(geometry "$(popup_window)")
# From the menu's left edge to the screen's right edge, the tray's top to the menu's foot.
left=$((mx < tx ? mx : tx))
import -display "$DISPLAY" -window root -crop "$((1024 - left + 40))x$((my + mh + 24))+$((left - 40))+0" \
  +repage "$docs/tray-menu.png"
xdotool key Escape
finish
