#!/usr/bin/env bash
# The desktop program on a real X display: Xvfb, a window manager (openbox), a tray host
# (trayer), xdotool for clicks, xprop and xwininfo to look, and a private sound server so
# that the start-up device check finds devices. Screenshots go to the artifacts folder.
#   desktop_test.sh ECHORA_BINARY ARTIFACTS_DIR
set -uo pipefail
echora=$1
artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d)
display=":$((90 + RANDOM % 100))"
passed=0
failed=0
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
  fi
}

wait_for() {  # wait_for COMMAND...: up to ten seconds
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

shot() { import -display "$display" -window root "$artifacts/$1.png" 2>/dev/null; }
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
geometry() { xwininfo -display "$display" -id "$1" | awk -F: '/Absolute upper-left X/ {x=$2} /Absolute upper-left Y/ {y=$2} /Width/ {w=$2} /Height/ {h=$2} END {gsub(/ /,"",x); gsub(/ /,"",y); gsub(/ /,"",w); gsub(/ /,"",h); print x, y, w, h}'; }
mapped() { xwininfo -display "$display" -id "$1" | grep -q 'IsViewable'; }
skips_taskbar() { xprop -display "$display" -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR; }

# A private sound server with one device of each kind.
mkdir -p "$work"/{run,state,home}
HOME=$work/home XDG_RUNTIME_DIR=$work/run PULSE_RUNTIME_PATH=$work/run \
  PULSE_STATE_PATH=$work/state pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --use-pid-file=no --disable-shm=yes \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$work/native" \
  -L "module-null-sink sink_name=echora_out norewinds=1" >"$work/pulse.log" 2>&1 &
pids+=($!)
export PULSE_SERVER=unix:$work/native
wait_for pactl info || { echo "the sound server did not start"; exit 1; }

# -noreset: otherwise the server resets when its first client leaves, and the window
# manager then fails now and then.
Xvfb "$display" -screen 0 1024x768x24 -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY  # so that Qt uses the X11 tray
wait_for xprop -root
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for xprop -root _NET_SUPPORTING_WM_CHECK
run_tray() {
  trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
  tray_pid=$!
  pids+=($tray_pid)
  wait_for xdotool search --class trayer
}

echo "== with a notification area"
run_tray
"$echora" >"$work/echora.log" 2>&1 &
echora_pid=$!
pids+=($echora_pid)
check "the About dialog appears by itself" wait_for window_named '^About$'
about=$(window_named '^About$')
main=$(xdotool search --name '^Tarnwick Echora$' | head -1)
check "the main window exists" test -n "$main"
shot about
xdotool key --window "$about" Return
check "Return closes the About dialog" wait_for bash -c "! xdotool search --onlyvisible --name '^About$'"
sleep 1
check "the About dialog is shown only once" bash -c "! xdotool search --onlyvisible --name '^About$'"
read -r x y w h < <(geometry "$main")
check "borderless, 490 x 51 ($w x $h)" test "$w $h" = "490 51"
check "no frame" bash -c "xprop -id $main _NET_FRAME_EXTENTS | grep -q '= 0, 0, 0, 0'"
check "centred ($x, $y)" test $((x - (1024 - 490) / 2)) -ge -1 -a $((x - (1024 - 490) / 2)) -le 1 -a $((y - (768 - 51) / 2)) -ge -1 -a $((y - (768 - 51) / 2)) -le 1
check "no taskbar entry" skips_taskbar "$main"
tray=$(xwininfo -root -tree | awk '/"echora": \("echora" "echora"\)/ && /22x22|24x24|16x16/ {print $1; exit}')
check "the icon is in the notification area (WM_CLASS echora)" test -n "$tray"
shot folded
xdotool mousemove $((x + 610 - 266)) $((y + 25)) click 1
check "Advanced unfolds the pages" wait_for bash -c "xwininfo -id $main | grep -q 'Height: 240'"
shot unfolded
xdotool mousemove $((x + 610 - 266)) $((y + 25)) click 1
check "Advanced again folds them" wait_for bash -c "xwininfo -id $main | grep -q 'Height: 51'"
xdotool mousemove $((x + 447)) $((y + 25)) click 1
check "Hide hides the window" wait_for bash -c "! xwininfo -id $main | grep -q IsViewable"
read -r tx ty _ _ < <(geometry "$tray")
xdotool mousemove $((tx + 8)) $((ty + 8)) click --repeat 2 --delay 80 1
check "a double click on the icon brings it back" wait_for mapped "$main"
read -r x2 y2 _ _ < <(geometry "$main")
check "at the same place" test "$x2 $y2" = "$x $y"
check "still without a taskbar entry after Hide and Show" skips_taskbar "$main"
# A click held a moment, as a hand makes it: an instant press and release can open and
# close the menu in one go.
visible_windows() { xdotool search --onlyvisible --class echora 2>/dev/null | wc -l; }
before=$(visible_windows)
for _ in 1 2 3; do
  sleep 1
  xdotool mousemove $((tx + 8)) $((ty + 8)) sleep 0.3 mousedown 3 sleep 0.15 mouseup 3
  sleep 1
  [ "$(visible_windows)" -gt "$before" ] && break
done
shot tray-menu
xdotool key Up Return
check "Exit from the tray menu ends the program" wait_for bash -c "! kill -0 $echora_pid"
if kill -0 "$echora_pid" 2>/dev/null; then
  kill "$echora_pid"
  failed=$((failed + 1))
  echo "FAILED: with status 0 (it had to be ended)"
else
  wait "$echora_pid"
  check "with status 0" test $? -eq 0
fi
kill "$tray_pid" 2>/dev/null
wait "$tray_pid" 2>/dev/null

echo "== without a notification area"
"$echora" >"$work/echora2.log" 2>&1 &
echora_pid=$!
pids+=($echora_pid)
wait_for window_named '^About$' && xdotool key --window "$(window_named '^About$')" Return
main=$(xdotool search --name '^Tarnwick Echora$' | head -1)
wait_for mapped "$main"
check "the window keeps a taskbar entry" bash -c "! xprop -id $main _NET_WM_STATE | grep -q SKIP_TASKBAR"
read -r x y _ _ < <(geometry "$main")
xdotool mousemove $((x + 447)) $((y + 25)) click 1
check "Hide minimises it" wait_for bash -c "xprop -id $main WM_STATE | grep -q Iconic"
xdotool windowactivate "$main" 2>/dev/null
check "it comes back from the taskbar" wait_for mapped "$main"
xdotool key --window "$main" alt+F4
check "closing it ends the program" wait_for bash -c "! kill -0 $echora_pid"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
