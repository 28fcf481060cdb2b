#!/usr/bin/env bash
# The live engine's completion order on a machine whose every core is busy: `echora-cli
# live` between two null sinks of a private sound server, fed a steady 450 Hz tone, while
# one busy loop per core runs at normal priority. Prints the engine's report, whose "out of
# turn" counts the notices let through without their turn, beside its underflows and
# overflows; then what a listener hears of it, cycle by cycle (bench/level_count): the
# seconds echoed right, the seconds mis-echoed (played without their echo, or echoed
# twice) and the seconds of silence, counted from seven buffer periods in, past the
# start-up periods that the engine plays silent or echoed twice by design.
#   bench/live_order_under_load.sh [SECONDS] [pulseaudio|pipewire] [MULTIPLIER] [PRIORITY]
#   (default 60 pulseaudio 2 normal)
# PRIORITY is what the engine's sound threads may have:
#   normal  no real-time scheduling: no rtkit on the system bus, and the process may not
#           take it itself (CAP_SYS_NICE dropped), as for a desktop user without rtkit;
#   rtkit   granted by rtkit, on a private system bus of its own with polkit, as on most
#           desktops (needs Debian's rtkit and polkitd);
#   direct  taken directly with SCHED_FIFO, as root may.
# Needs build/tools/echora-cli and build/bench/level_count; PipeWire needs Debian's
# pipewire, pipewire-bin, pipewire-pulse and wireplumber.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
server=${2:-pulseaudio}
multiplier=${3:-2}
priority=${4:-normal}
cli=$here/build/tools/echora-cli
levels=$here/build/bench/level_count
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  [ -f "$work/rtkit.pid" ] && kill "$(cat "$work/rtkit.pid")" 2>/dev/null
  [ "$server" = pipewire ] && pw_stop "$work/pw"
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$server" = pipewire ]; then
  source "$here/tests/support/pipewire_private.sh"
  pw_start "$work/pw" || { echo "PipeWire did not start"; exit 1; }
  for sink in echora_in echora_out; do
    pactl load-module module-null-sink sink_name=$sink \
      "sink_properties=device.description=$sink" rate=44100 channels=2 >/dev/null
  done
else
  source "$here/tests/support/pulse_private.sh"
  pulse_start "$work" echora_in echora_out || { echo "PulseAudio did not start"; exit 1; }
  pids+=($pulse_pid)
fi
source "$here/bench/device_number.sh"
number() { device_number "$cli" "$@"; }
in=$(number in echora_in)
out=$(number out echora_out)
[ -n "$in" ] && [ -n "$out" ] || { echo "devices not found"; "$cli" devices; exit 1; }

# The sound threads' priority, and what runs the engine.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus
run=(capsh --drop=cap_sys_nice -- -c 'exec "$0" "$@"')
case $priority in
  normal) ;;  # the bus address leads nowhere: rtkit is absent
  rtkit)
    chmod 755 "$work"  # polkitd and rtkit reach the bus as users of their own
    dbus-daemon --config-file=/usr/share/dbus-1/system.conf --address="$DBUS_SYSTEM_BUS_ADDRESS" \
      --fork --nopidfile --print-pid=3 3>"$work/bus.pid" || { echo "no system bus"; exit 1; }
    pids+=("$(cat "$work/bus.pid")")
    await_name() {
      for _ in $(seq 100); do
        dbus-send --system --dest=org.freedesktop.DBus --print-reply /org/freedesktop/DBus \
          org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true && return 0
        sleep 0.1
      done
      echo "$1 did not come on the system bus"; cat "$work"/*.log; exit 1
    }
    /usr/lib/polkit-1/polkitd --no-debug >"$work/polkit.log" 2>&1 &
    pids+=($!)
    await_name org.freedesktop.PolicyKit1
    # rtkit limits its own file sizes to nothing, so its log goes through a pipe. Its
    # canary thread cannot run here; the kernel's RLIMIT_RTTIME still guards each thread.
    (/usr/libexec/rtkit-daemon --stderr --no-canary </dev/null 2>&1 & echo $! >"$work/rtkit.pid"
     wait) | cat >"$work/rtkit.log" &
    await_name org.freedesktop.RealtimeKit1 ;;
  direct) run=() ;;
  *) echo "PRIORITY is normal, rtkit or direct"; exit 2 ;;
esac

sox -n -r 44100 -c 2 -b 16 -e signed -t raw - synth "$((seconds + 10))" sine 450 vol 0.18 \
  2>/dev/null | pacat -d echora_in --raw --format=s16le --rate=44100 --channels=2 \
  --latency-msec=200 2>/dev/null &
pids+=($!)
for _ in $(seq "$(nproc)"); do
  sh -c 'while :; do :; done' &
  pids+=($!)
done
parec -d echora_out.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/out.raw" \
  2>/dev/null &
pids+=($!)
echo "== $server, $seconds s at multiplier $multiplier, priority $priority, $(nproc) busy loops"
"${run[@]}" "$cli" live --in "$in" --out "$out" --seconds "$seconds" --multiplier "$multiplier"
# Seven periods of M/4 s in, or six seconds, whichever is later; the tone's peak as sox
# makes it at vol 0.18.
skip=$(awk -v m="$multiplier" 'BEGIN {s = 7 * m / 4; print (s > 6 ? s : 6)}')
echo "recording: $("$levels" "$work/out.raw" 44100 "$skip" "$(awk -v a="$seconds" -v b="$skip" 'BEGIN {print a - b - 2}')" 5898)"
