#!/usr/bin/env bash
# The desktop program on a real X display, looked at with xprop and xwininfo and used with
# xdotool: the borderless strip without a taskbar entry, the About dialog, folding, Hide and
# the icon's double click, the icon's menu; then the same program on a desktop without a
# notification area. Screenshots go to the artifacts folder.
#   desktop_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
source "$(dirname "$0")/rig.sh" "$2"

start_sound_server
start_desktop

echo "== with a notification area"
start_tray
start_echora "$echora" "$work/echora.log"
check "the About dialog appears by itself" wait_for window_named '^About$'
about=$(window_named '^About$')
read -r ax ay aw ah < <(geometry "$about")
check "centred on the screen" test $((2 * ax + aw - 1024)) -ge -2 -a $((2 * ax + aw - 1024)) -le 2 \
  -a $((2 * ay + ah - 768)) -ge -2 -a $((2 * ay + ah - 768)) -le 2
main=$(main_window)
check "the main window exists" test -n "$main"
read -r x y w h < <(geometry "$main")
advanced() { xdotool mousemove $((x + 344)) $((y + 25)) click 1; }
advanced
sleep 0.5
check "modal: the main window ignores clicks meanwhile" height_is "$main" 51
shot about
close_about
check "Return closes the About dialog" wait_for bash -c "! xdotool search --onlyvisible --name '^About$'"
sleep 1
check "the About dialog is shown only once" bash -c "! xdotool search --onlyvisible --name '^About$'"
check "borderless, 490 x 51 ($w x $h)" test "$w $h" = "490 51"
check "no frame" bash -c "xprop -id $main _NET_FRAME_EXTENTS | grep -q '= 0, 0, 0, 0'"
check "centred ($x, $y)" test $((x - (1024 - 490) / 2)) -ge -1 -a $((x - (1024 - 490) / 2)) -le 1 \
  -a $((y - (768 - 51) / 2)) -ge -1 -a $((y - (768 - 51) / 2)) -le 1
check "no taskbar entry" skips_taskbar "$main"
check "the icon is in the notification area (WM_CLASS echora)" test -n "$(tray_icon)"
shot folded

xdotool mousemove $((x + 23)) $((y + 25)) click 1
check "a click on the icon image shows the About dialog" wait_for window_named '^About$'
close_about
wait_for bash -c "! xdotool search --onlyvisible --name '^About$'"

advanced
check "Advanced unfolds the pages" wait_for height_is "$main" 240
shot unfolded
advanced
check "Advanced again folds them" wait_for height_is "$main" 51
xdotool mousemove $((x + 447)) $((y + 25)) click 1
hidden() { ! mapped "$1"; }
check "Hide hides the window" wait_for hidden "$main"
read -r tx ty _ _ < <(geometry "$(tray_icon)")
xdotool mousemove $((tx + 8)) $((ty + 8)) click --repeat 2 --delay 80 1
check "a double click on the icon brings it back" wait_for mapped "$main"
read -r x2 y2 _ _ < <(geometry "$main")
check "at the same place" test "$x2 $y2" = "$x $y"
check "still without a taskbar entry after Hide and Show" skips_taskbar "$main"

echo "== a second launch"
"$echora" >"$work/second.out" 2>"$work/second.err" &
second=$!
pids+=($second)
check "hands over to the first and ends with status 0" \
  bash -c "for _ in \$(seq 100); do kill -0 $second 2>/dev/null || exit 0; sleep 0.1; done; exit 1"
wait "$second"
check "with status 0" test $? -eq 0
check "saying so on stderr" grep -q "already running" "$work/second.err"
check "no second window" test "$(xdotool search --name '^Tarnwick Echora$' | wc -l)" -eq 1
xdotool mousemove $((x + 447)) $((y + 25)) click 1
wait_for hidden "$main"
"$echora" 2>/dev/null
check "shows the hidden window of the first" wait_for mapped "$main"

right_click_tray_icon
check "a right click on the icon opens its menu" wait_for popup_window
read -r _ _ mw mh < <(geometry "$(popup_window)")
shot tray-menu
xdotool key Escape
no_popup() { ! popup_window; }
check "Escape closes the menu" wait_for no_popup
right_click_tray_icon
wait_for popup_window
xdotool key Up Return  # the last item
check "Exit from the tray menu ends the program with status 0" echora_ends_with_status_0
check "and takes its icon with it" test -z "$(tray_icon)"

echo "== Exit while the About dialog is shown"
start_echora "$echora" "$work/echora-about.log"
wait_for window_named '^About$'
right_click_tray_icon
wait_for popup_window
xdotool key Up Return
check "ends the modal showing and the program with status 0" echora_ends_with_status_0
stop_tray

echo "== without a notification area"
start_echora "$echora" "$work/echora-no-tray.log"
wait_for window_named '^About$' && close_about
wait_for bash -c "test -n \"\$(xdotool search --onlyvisible --name '^Tarnwick Echora$')\""
main=$(main_window)
check "the window keeps a taskbar entry" bash -c "! xprop -id $main _NET_WM_STATE | grep -q SKIP_TASKBAR"
read -r x y _ _ < <(geometry "$main")
xdotool mousemove $((x + 447)) $((y + 25)) click 1
check "Hide minimises it" wait_for bash -c "xprop -id $main WM_STATE | grep -q Iconic"
xdotool windowactivate "$main" 2>/dev/null
check "it comes back from the taskbar" wait_for mapped "$main"
strip_menu() {  # the icon's menu, opened by a right click on the strip
  xdotool mousemove $((x + 486)) $((y + 25)) sleep 0.2 click 3
  wait_for popup_window
}
check "a right click on the strip opens the icon's menu" strip_menu
shot strip-menu
xdotool key Escape
check "Escape closes it" wait_for no_popup

echo "== a tray that comes after the program, and goes"
start_tray
has_tray_icon() { test -n "$(tray_icon)"; }
check "the icon comes into the tray" wait_for has_tray_icon
main=$(main_window)
check "the taskbar entry goes" wait_for skips_taskbar "$main"
check "the window stays shown" wait_for mapped "$main"
read -r x y _ _ < <(geometry "$main")
xdotool mousemove $((x + 447)) $((y + 25)) click 1
check "Hide now hides it" wait_for hidden "$main"
stop_tray
check "the window comes back when the tray goes" wait_for mapped "$main"
check "with a taskbar entry" bash -c "! xprop -id $main _NET_WM_STATE | grep -q SKIP_TASKBAR"
read -r x y _ _ < <(geometry "$main")
strip_menu
xdotool key Up Return  # the last item
check "Exit from the strip's menu ends the program with status 0" echora_ends_with_status_0

finish
