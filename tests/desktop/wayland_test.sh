#!/usr/bin/env bash
# The program in Wayland sessions, on a headless weston with qt6-wayland installed. With
# XWayland there and no platform chosen, it must run on X11 (its window an X11 window of
# 490 x 51 on the XWayland display), since only X11 lets it centre, drag and hide its
# taskbar entry; a user's QT_QPA_PLATFORM=wayland wins; on Wayland alone it runs and says
# in one line what the session cannot do, and nothing else.
#   wayland_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
source "$(dirname "$0")/rig.sh" "$2"
note="echora: on Wayland the window cannot centre itself"

start_sound_server
mkdir -m 700 "$work/xdg"
export XDG_RUNTIME_DIR=$work/xdg XDG_SESSION_TYPE=wayland
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS DISPLAY

start_weston() {  # start_weston SOCKET [--xwayland]: sets weston_pid
  weston --backend=headless-backend.so --socket="$1" --width=1024 --height=768 \
    --idle-time=0 "${@:2}" >"$work/weston-$1.log" 2>&1 &
  weston_pid=$!
  pids+=($weston_pid)
  export WAYLAND_DISPLAY=$1
  wait_for test -S "$XDG_RUNTIME_DIR/$1" || { echo "weston did not start"; cat "$work/weston-$1.log"; exit 1; }
}
stop_weston() {
  kill "$weston_pid" 2>/dev/null
  wait "$weston_pid" 2>/dev/null
}
stop_echora() {
  kill "$echora_pid" 2>/dev/null
  wait "$echora_pid" 2>/dev/null
}

echo "== a Wayland session with XWayland"
start_weston echora-xwayland --xwayland
wait_for grep -q "xserver listening on display" "$work/weston-echora-xwayland.log"
xdisplay=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston-echora-xwayland.log")
check "weston offers an X display ($xdisplay)" test -n "$xdisplay"
export DISPLAY=$xdisplay
start_echora "$echora" "$work/echora-xwayland.log"
check "the window appears on the XWayland display" wait_for main_window
main=$(main_window)
# Weston's window manager first maps the X window inside a frame at the screen's corner,
# the client at the frame's 32-pixel margin, and moves the frame to the asked-for place a
# moment later; the position is read once it has settled there.
centred() {
  local x y
  read -r x y _ _ < <(geometry "$main")
  [ $((x - (1024 - 490) / 2)) -ge -2 ] && [ $((x - (1024 - 490) / 2)) -le 2 ] &&
    [ $((y - (768 - 51) / 2)) -ge -2 ] && [ $((y - (768 - 51) / 2)) -le 2 ]
}
wait_for centred
read -r x y w h < <(geometry "$main")
check "it is an X11 window of 490 x 51 ($w x $h)" test "$w $h" = "490 51"
check "centred by itself ($x, $y)" centred
check "no note about Wayland" bash -c "! grep -q '$note' '$work/echora-xwayland.log'"
shot wayland-xwayland "$main"
stop_echora

echo "== the user's QT_QPA_PLATFORM=wayland wins"
QT_QPA_PLATFORM=wayland start_echora "$echora" "$work/echora-chosen.log"
check "it runs on Wayland and says so" wait_for grep -q "$note" "$work/echora-chosen.log"
sleep 1
check "no window of it on the X display" bash -c "! xdotool search --name '^Tarnwick Echora$'"
stop_echora
stop_weston

echo "== Wayland alone"
unset DISPLAY
start_weston echora-wayland
start_echora "$echora" "$work/echora-wayland.log"
check "it runs on Wayland and says so" wait_for grep -q "$note" "$work/echora-wayland.log"
sleep 2
check "it keeps running" kill -0 "$echora_pid"
check "the note is one line and the only output" test "$(wc -l <"$work/echora-wayland.log")" -eq 1
[ "$(wc -l <"$work/echora-wayland.log")" -eq 1 ] || cat "$work/echora-wayland.log"
stop_echora
finish
