#!/usr/bin/env bash
# The desktop program used as a new user uses it, on a desktop with a notification area and
# a real sound server: the About dialog moved aside and the window clicked behind it, About
# minimised, drags from every surface of the strip, the preset kept through a power cycle
# with the focus on "Echo active", a sink plugged in after start-up and reached with the Up
# arrow, then unplugged, a pair whose input records its output refused, and the window
# closed while the processor is on. Screenshots go to the artifacts folder.
#   user_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
source "$(dirname "$0")/rig.sh" "$2"

start_sound_server echora_in echora_out
# A name as long as a desktop's own; its monitor is a capture device with a longer one.
pactl load-module module-null-sink sink_name=builtin \
  "sink_properties='device.description=\"Built-in Audio Analog Stereo\"'" >/dev/null
start_desktop
start_tray

playing() { pactl list short sink-inputs | grep -q .; }
silent() { ! playing && ! pactl list short source-outputs | grep -q .; }
# The pixels of a part of the main window, to tell whether what it shows has changed.
crop() {  # crop NAME X Y W H
  shot "$1"
  convert "$artifacts/$1.png" -crop "$4x$5+$((x + $2))+$((y + $3))" +repage "$work/$1.png"
}
same_pixels() { [ "$(compare -metric AE "$work/$1.png" "$work/$2.png" null: 2>&1)" = 0 ]; }
other_pixels() { ! same_pixels "$@"; }
click_at() { xdotool mousemove $((x + $1)) $((y + $2)) click 1; sleep 0.3; }
away() { xdotool mousemove 5 700; sleep 0.3; }
# The debug memo's text, through the clipboard as a user would copy it.
memo_text() {
  click_at 235 64  # Debug Info
  click_at 300 150  # the memo
  copied_by xdotool key ctrl+a ctrl+c
}

start_echora "$echora" "$work/echora.log"
wait_for window_named '^About$'
about=$(window_named '^About$')
main=$(main_window)
read -r x y _ _ < <(geometry "$main")

echo "== the About dialog moved aside"
# Both moved by the window manager, so that no part of the dialog covers the window.
xdotool windowmove "$main" 440 560 windowmove "$about" 10 10
check "About moves aside" wait_for bash -c "read -r ax _ < <(xwininfo -id $about | awk '/Absolute upper-left X/ {print \$NF}'); test \$ax -lt 100"
wait_for bash -c "xwininfo -id $main | grep -q 'Absolute upper-left Y:  *5[0-9][0-9]'"
read -r x y _ _ < <(geometry "$main")
check "About is a dialog of the main window" \
  bash -c "xprop -id $about WM_TRANSIENT_FOR | grep -q $(printf '0x%x' "$main")"
click_at 81 25   # Power, now in plain sight
click_at 344 25  # Advanced
shot about-aside
check "Power does nothing meanwhile" silent
check "nor does Advanced" height_is "$main" 51

echo "== About minimised"
xdotool windowminimize "$about"
sleep 0.5
read -r tx ty _ _ < <(geometry "$(tray_icon)")
xdotool mousemove $((tx + 8)) $((ty + 8)) click --repeat 2 --delay 80 1
check "a double click on the icon brings the window back" wait_for mapped "$main"
check "and About with it" wait_for mapped "$about"
shot about-back
close_about
check "then Return closes it" wait_for bash -c "! xdotool search --onlyvisible --name '^About$'"
xdotool windowmove "$main" 200 300
wait_for bash -c "xwininfo -id $main | grep -q 'Absolute upper-left Y:  *300'"
read -r x y _ _ < <(geometry "$main")

echo "== drags from every surface"
drag_from() {  # drag_from X Y: drags 40 right and 30 down from that point of the window
  xdotool mousemove $((x + $1)) $((y + $2)) mousedown 1
  for step in 1 2 3 4; do
    xdotool mousemove $((x + $1 + 10 * step)) $((y + $2 + 15 * step / 2))
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.3
}
moved_by() { read -r nx ny _ _ < <(geometry "$main"); test "$((nx - x)) $((ny - y))" = "$1 $2"; }
drags() {  # drags WHAT X Y MOVES: MOVES is 1 when the window should follow
  local nx ny
  drag_from "$2" "$3"
  if [ "$4" = 1 ]; then
    check "a drag from $1 moves the window with the pointer" wait_for moved_by 40 30
  else
    # A drag from a button ends away from it, so that it is no click. Whether it moved the
    # window shows once the program has handled it: a drag from the panel after it moves
    # the window, and then by that drag's 40 by 30 alone.
    drag_from 486 25
    check "a drag from $1 leaves the window where it is" wait_for moved_by 40 30
  fi
  read -r x y _ _ < <(geometry "$main")
  away
}
drags "the panel" 486 25 1
drags "the panel below the icon" 24 46 1
drags "the group box" 200 41 1
drags "the power LED" 127 25 1
drags "the icon image" 23 25 0
drags "the Power button" 81 25 0
drags "the Advanced button" 344 25 0
drags "the Hide button" 447 25 0
check "no drag clicked a button: still off" silent
check "and folded" height_is "$main" 51
check "no drag showed About" bash -c "! xdotool search --onlyvisible --name '^About$' >/dev/null"
shot dragged
# Back where the window unfolds in full on the screen.
xdotool windowmove "$main" 200 300
wait_for bash -c "xwininfo -id $main | grep -q 'Absolute upper-left Y:  *300'"
read -r x y _ _ < <(geometry "$main")

echo "== the preset through a power cycle, and the keyboard"
click_at 344 25  # Advanced
wait_for height_is "$main" 240
click_at 215 25  # the preset list opens; the keyboard chooses "Church 2", eight down
xdotool key Down Down Down Down Down Down Down Down Return
sleep 0.3
click_at 81 25   # Power on
check "Power switches on" wait_for playing
click_at 60 137  # "Echo active": unticked, and it holds the focus
away
crop church-2-on 150 16 130 18
click_at 81 25   # Power off disables "Echo active" under the focus
check "Power switches off" wait_for silent
away
crop church-2-off 150 16 130 18
check "the preset shown stays \"Church 2\"" same_pixels church-2-on church-2-off
shot preset-after-power-off
click_at 60 64   # the page's tab; Tab then takes the focus into the page, onto a slider
xdotool key Tab
away
crop custom 150 16 130 18
check "a slider entered with Tab shows \"Custom\"" other_pixels church-2-off custom

echo "== a sink plugged in after start-up"
late=$(pactl load-module module-null-sink sink_name=late_sink \
  sink_properties=device.description=late_sink)
click_at 157 64  # Setup
click_at 80 118  # the input selector, up past the microphone to the built-in sink's monitor
xdotool key Up Up Up
click_at 80 152  # the output selector, then Up past the devices there were at start-up
xdotool key Up Up Up
sleep 0.3
shot setup-late-sink
click_at 235 64  # Debug Info
click_at 59 127  # SB Info: lists the records of the devices chosen
memo=$(memo_text)
check "the Up arrow reaches it" grep -qx ' szPname:late_sink' <<<"$memo"
check "a long name is cut with an ellipsis" grep -qx ' szPname:Monitor of Built-in Audio An…' <<<"$memo"
click_at 39 215  # Clear
pactl unload-module "$late"
check "the sink goes away" wait_for bash -c "! pactl list short sinks | grep -q late_sink"
click_at 157 64  # Setup
click_at 80 152
xdotool key Up
sleep 0.3
memo=$(memo_text)
check "an arrow then reports it gone" grep -qx 'WaveOutGetDevCaps Error!' <<<"$memo"
shot memo-sink-gone
click_at 60 64   # back to the echo page

echo "== an input that records the output"
# Chosen above: the built-in sink's monitor, and the built-in sink, where the output
# selector went back to when the late sink went.
other_window() { xdotool search --onlyvisible --name '^Tarnwick Echora$' 2>/dev/null | grep -vx "$main" | head -1; }
no_box() { [ -z "$(other_window)" ]; }
click_at 81 25   # Power
check "Power says so in a message box" wait_for other_window
box=$(other_window)
shot loop-refused
copied=$(copied_by press_key "$box" ctrl+c)
expected='The input "Monitor of Built-in Audio An…" records the output "Built-in Audio Analog Stereo": what is played would be echoed again and again, louder each time. Choose another input or output on the Setup page.'
check "naming both devices" test "$copied" = "$expected"
check "and opens nothing" silent
press_key "$box" Return
check "OK closes the box" wait_for no_box
check "and the processor stays off" silent
click_at 157 64  # Setup
click_at 80 118  # the input selector, one down: echora_out's monitor
xdotool key Down
sleep 0.3
click_at 60 64   # back to the echo page

echo "== closed while on"
click_at 81 25   # Power on
check "Power switches on again" wait_for playing
sleep 5          # passes of the echo thread meanwhile
press_key "$main" alt+F4
check "closing the window while on ends the program with status 0" echora_ends_with_status_0
check "and leaves no stream behind" silent

finish
