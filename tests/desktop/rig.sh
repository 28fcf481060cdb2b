# A desktop for the real program, sourced by the desktop tests: a private sound server with
# one device of each kind, Xvfb, a window manager (openbox), a tray host (trayer), and the
# checks and helpers the tests share. Everything started here is ended on exit.
#   source rig.sh ARTIFACTS_DIR
set -uo pipefail
artifacts=$1
mkdir -p "$artifacts"
work=$(mktemp -d)
pids=()
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

wait_up_to() {  # wait_up_to SECONDS COMMAND...
  local tenths=$(($1 * 10))
  shift
  for _ in $(seq "$tenths"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
# A shared machine can be seconds late; only a broken program takes this long.
wait_for() { wait_up_to 30 "$@"; }

# What a copy puts on the clipboard: the clipboard is emptied first and then waited for,
# since the program answers the key in its own time.
#   copied_by COMMAND...   (the key press that copies)
copied_by() {
  printf '' | xclip -selection clipboard
  "$@"
  wait_for bash -c 'test -n "$(xclip -o -selection clipboard 2>/dev/null)"'
  xclip -o -selection clipboard 2>/dev/null
}

source "$(dirname "${BASH_SOURCE[0]}")/../support/pulse_private.sh"

# The sound server, with a null sink for each name given (echora_out when none is), after a
# null source, echora_mic: capture device 0 is then no monitor, so that the devices chosen at
# start-up do not record what they play, a pair Power refuses.
start_sound_server() {
  local sinks=("$@")
  [ ${#sinks[@]} -gt 0 ] || sinks=(echora_out)
  pulse_start "$work" source:echora_mic "${sinks[@]}"
  local started=$?
  pids+=($pulse_pid)
  [ $started -eq 0 ] || { echo "the sound server did not start"; cat "$work/pulse.log"; exit 1; }
}

# Xvfb on a free display, which DISPLAY then names.
start_xserver() {
  local display
  for display in $(seq 90 190 | shuf); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
  done
  # -noreset: otherwise the server resets when its first client leaves, and the window
  # manager then fails now and then.
  Xvfb ":$display" -screen 0 1024x768x24 -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=:$display
  unset WAYLAND_DISPLAY
  wait_for xprop -root || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
}

# A private session bus, a child of this shell, which DBUS_SESSION_BUS_ADDRESS then names.
start_session_bus() {
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" \
    --print-address=3 3>"$work/bus.address" >"$work/dbus.log" 2>&1 &
  pids+=($!)
  wait_for test -s "$work/bus.address" || { echo "dbus-daemon did not start"; exit 1; }
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
}

bus_has_name() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}

start_desktop() {
  start_xserver
  # A session bus that leads nowhere, so that the icon goes to the X11 tray; an unset one
  # would have libdbus start a bus of its own for the display where dbus-x11 is installed.
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  wait_for xprop -root _NET_SUPPORTING_WM_CHECK
}

start_tray() {
  trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
  tray_pid=$!
  pids+=($tray_pid)
  wait_for xdotool search --class trayer
}

stop_tray() {
  kill "$tray_pid" 2>/dev/null
  wait "$tray_pid" 2>/dev/null
}

start_echora() {  # start_echora BINARY LOG: sets echora_pid
  "$1" >"$2" 2>&1 &
  echora_pid=$!
  pids+=($echora_pid)
}

# Ends with the program's status, or kills it and fails if it does not end in ten seconds.
echora_ends_with_status_0() {
  if ! wait_for bash -c "! kill -0 $echora_pid"; then
    kill "$echora_pid" 2>/dev/null
    return 1
  fi
  wait "$echora_pid"
}

# shot NAME [WINDOW]: the whole screen, or one window where the root holds no picture
# (a rootless X server such as XWayland).
shot() { import -display "$DISPLAY" -window "${2:-root}" "$artifacts/$1.png" 2>/dev/null; }
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
# A search can come back empty while another window of the program is being destroyed, so
# it is tried again for up to two seconds.
main_window() {
  local id
  for _ in $(seq 20); do
    id=$(xdotool search --name '^Tarnwick Echora$' 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# xwininfo without a window waits for a click, so every caller checks for an empty id.
geometry() {
  [ -n "$1" ] || { echo 0 0 0 0; return 1; }
  xwininfo -id "$1" | awk -F: '
    /Absolute upper-left X/ {x = $2} /Absolute upper-left Y/ {y = $2}
    /Width/ {w = $2} /Height/ {h = $2}
    END {print x + 0, y + 0, w + 0, h + 0}'
}
mapped() { [ -n "$1" ] && xwininfo -id "$1" | grep -q 'IsViewable'; }
height_is() { [ -n "$1" ] && xwininfo -id "$1" | grep -q "Height: $2\$"; }
skips_taskbar() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR; }

# Keys go to the focused window through XTEST, press and release both: a key sent to a
# given window that closes on the press loses its release, and the server then repeats the
# key into whatever takes the focus next.
press_key() {  # press_key WINDOW KEY
  xdotool windowactivate --sync "$1" >/dev/null 2>&1
  xdotool key "$2"
}

close_about() { press_key "$(window_named '^About$')" Return; }

# The icon's window in the tray: the program's WM_CLASS at an icon's size.
tray_icon() {
  xwininfo -root -tree |
    awk '/"echora": \("echora" "echora"\)/ && /[0-9]+x[0-9]+\+/ {
           split($0, a, /\) +/); split(a[2], s, "x"); if (s[1] + 0 <= 32) {print $1; exit}}'
}

# A right click held a moment, as a hand makes it.
right_click_tray_icon() {
  local tx ty _
  read -r tx ty _ _ < <(geometry "$(tray_icon)")
  xdotool mousemove $((tx + 8)) $((ty + 8)) sleep 0.3 mousedown 3 sleep 0.15 mouseup 3
}

# The open menu or tool tip: the program's visible override-redirect window other than the
# icon.
popup_window() {
  local id icon
  icon=$(($(tray_icon)))
  for id in $(xdotool search --onlyvisible --class echora 2>/dev/null); do
    [ "$id" -eq "$icon" ] && continue
    xwininfo -id "$id" | grep -q 'Override Redirect State: yes' && { echo "$id"; return 0; }
  done
  return 1
}
