#!/usr/bin/env bash
# The desktop program's figures on the test desktop (Xvfb, openbox, trayer, a private sound
# server): time from launch to the window on screen, resident memory, and CPU while on at
# the start-up settings, the sound server's excluded.
#   bench/desktop_figures.sh [SECONDS_ON]   (default 30; needs build/app/echora)
here=$(cd "$(dirname "$0")/.." && pwd)
echora=$here/build/app/echora
seconds=${1:-30}
source "$here/tests/desktop/rig.sh" "$(mktemp -d)"

start_sound_server echora_in echora_out
start_desktop
start_tray

ms() { date +%s%N | cut -c1-13; }
launched=$(ms)
start_echora "$echora" "$work/echora.log"
shown() { [ -n "$(xdotool search --onlyvisible --name '^Tarnwick Echora$' 2>/dev/null)" ]; }
until shown; do sleep 0.005; done
echo "launch to window shown: $(($(ms) - launched)) ms"

wait_for window_named '^About$' && close_about
main=$(main_window)
read -r x y _ _ < <(geometry "$main")
rss() { awk '/VmRSS/ {print int($2 / 1024) " MB"}' "/proc/$echora_pid/status"; }
echo "resident memory, off: $(rss)"

ticks() { awk '{print $14 + $15}' "/proc/$echora_pid/stat"; }
click_at() { xdotool mousemove $((x + $1)) $((y + $2)) click 1; sleep 0.3; }
# Playback device 1, echora_out: device 0 would play into the sink whose monitor is the
# capture device, a loop that makes the sound server work for nothing.
click_at 344 25  # Advanced
click_at 157 64  # Setup
click_at 80 152  # the output selector
xdotool key Up
click_at 60 64   # back to the echo page
xdotool mousemove $((x + 81)) $((y + 25)) click 1  # Power
sleep 5  # past the first periods
before=$(ticks)
sleep "$seconds"
used=$(($(ticks) - before))
hz=$(getconf CLK_TCK)
echo "CPU while on over ${seconds} s: $(awk -v t="$used" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f%% of one core", 100 * t / hz / s}')"
echo "resident memory, on: $(rss)"
xdotool mousemove $((x + 81)) $((y + 25)) click 1
kill "$echora_pid"
