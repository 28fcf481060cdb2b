#!/usr/bin/env bash
# The program making sound on a private sound server, used with xdotool as a user uses it:
# the three pages looked at, the playback device chosen, Power on, an impulse played into
# the capture side and its echo recorded from the playback side, Power off, "Exit" from the
# tray menu. Then the program started with no sound server at all. Screenshots go to the
# artifacts folder.
#   sound_test.sh ECHORA_BINARY ECHO_CHECK ARTIFACTS_DIR
echora=$1
echo_check=$2
source "$(dirname "$0")/rig.sh" "$3"

# Capture device 1 is the monitor of echora_in, where the test plays (0 is the rig's
# microphone); playback device 1 is echora_out, whose monitor the test records.
start_sound_server echora_in echora_out
start_desktop
start_tray

echo "== on a sound server"
start_echora "$echora" "$work/echora.log"
wait_for window_named '^About$' && close_about
main=$(main_window)
wait_for mapped "$main"
read -r x y _ _ < <(geometry "$main")
check "no message box at start-up" test "$(xdotool search --onlyvisible --name '^Tarnwick Echora$' | wc -l)" -eq 1
click_at() { xdotool mousemove $((x + $1)) $((y + $2)) click 1; sleep 0.3; }

click_at 344 25  # Advanced
wait_for height_is "$main" 240
shot echo-page
click_at 157 64  # the Setup tab
click_at 80 118  # the input selector, then one up: echora_in's monitor
xdotool key Up
click_at 80 152  # the output selector, then one up: echora_out
xdotool key Up
sleep 0.3
shot setup-page
click_at 235 64  # Debug Info
click_at 59 99   # DevNum
click_at 59 127  # SB Info
shot debug-page
click_at 60 64   # back to the echo page

sink_index() { pactl list short sinks | awk -v name="$1" '$2 == name {print $1}'; }
source_index() { pactl list short sources | awk -v name="$1" '$2 == name {print $1}'; }
playing_into() { pactl list short sink-inputs | awk '{print $2}' | grep -qx "$1"; }
recording_from() { pactl list short source-outputs | awk '{print $2}' | grep -qx "$1"; }

click_at 81 25  # Power
check "Power on plays into echora_out" wait_for playing_into "$(sink_index echora_out)"
check "and records from echora_in's monitor" recording_from "$(source_index echora_in.monitor)"
shot power-on

# The icon's tool tip, in a screenshot: it should read "Echora: ON".
read -r tx ty _ _ < <(geometry "$(tray_icon)")
xdotool mousemove $((tx + 8)) $((ty + 8))
check "the icon shows its tool tip" wait_for popup_window
sleep 0.3
shot tooltip-on
xdotool mousemove $((x + 200)) $((y + 200))
# "Exit" is disabled while on: the keyboard skips it, and the last item it reaches is "Show".
right_click_tray_icon
wait_for popup_window
shot tray-menu-on
xdotool key Up Return
menu_closed() { ! popup_window; }
check "the menu closes" wait_for menu_closed
# Had Return reached Exit, the program would be ending. That it is not shows once it has
# handled an action after the menu's: Advanced folding the window.
click_at 344 25
check "the window still answers" wait_for height_is "$main" 51
check "Exit is disabled while on" kill -0 "$echora_pid"

# One impulse of 20000 into the capture side, after the first two periods of two seconds
# (the first power-on echoes those apart); both sides recorded meanwhile.
sleep 3
{
  head -c $((13230 * 4)) /dev/zero
  printf '\x20\x4e\x20\x4e'
  head -c $((44100 * 4)) /dev/zero
} >"$work/impulse.raw"
raw=(--raw --format=s16le --rate=44100 --channels=2)
parec -d echora_in.monitor "${raw[@]}" >"$work/in.raw" &
recorder_in=$!
parec -d echora_out.monitor "${raw[@]}" >"$work/out.raw" &
recorder_out=$!
pids+=($recorder_in $recorder_out)
sleep 0.5
pacat -d echora_in "${raw[@]}" "$work/impulse.raw"
# Four buffer periods of two seconds each at the start-up settings, and some room.
sleep 10
kill "$recorder_in" "$recorder_out"
wait "$recorder_in" "$recorder_out" 2>/dev/null
# "Concert Hall 1": 3528 frames (80 ms) between taps, weights 33, 66, 99, volume 1.00; the
# taps come out four periods (352800 frames) later, plus the sound server's share (at most
# half a second at these settings) and the null sink's own few milliseconds.
check "the echo of Concert Hall 1 comes out four buffer periods later" \
  "$echo_check" "$work/in.raw" "$work/out.raw" 3528 33 100 352800 26460

click_at 81 25  # Power off
check "Power off closes both streams" wait_for bash -c "! pactl list short sink-inputs | grep -q . && ! pactl list short source-outputs | grep -q ."
right_click_tray_icon
wait_for popup_window
xdotool key Up Return
check "Exit from the tray menu ends the program with status 0" echora_ends_with_status_0

echo "== with no sound server"
PULSE_SERVER=unix:$work/no-server start_echora "$echora" "$work/echora-no-server.log"
check "a message box comes first" wait_for window_named '^Tarnwick Echora$'
box=$(window_named '^Tarnwick Echora$')
shot no-server
copied=$(copied_by press_key "$box" ctrl+c)
expected="ERROR:  No recording device present! No playing device present! Please correct the error(s) before turning the DSP on!"
check "saying \"$expected\"" test "$copied" = "$expected"
press_key "$box" Return
check "then the About dialog" wait_for window_named '^About$'
close_about
wait_for bash -c "! xdotool search --onlyvisible --name '^About$'"
right_click_tray_icon
wait_for popup_window
xdotool key Up Return
check "and Exit ends it with status 0" echora_ends_with_status_0

finish
