#!/usr/bin/env bash
# The live engine against the plainest way to pass sound through the same sound server, side
# by side in one run: `echora-cli live` at the start-up settings (44100 Hz, multiplier 8,
# "Concert Hall 1", the server latency following the buffer period), the same at the fixed
# 40 ms the engine used to ask for, and `parec | pacat` at 40 ms, all fed the same steady
# 450 Hz tone. Reports each one's CPU, the engine's own underflow and overflow counts, the
# dropouts found in each recording, and what a listener hears of the engine's, cycle by
# cycle: the seconds echoed right and the seconds mis-echoed (a period played without its
# echo or echoed twice, which keeps the waveform whole and so is no dropout).
#   bench/live_vs_passthrough.sh [SECONDS] [pulseaudio|pipewire]   (default 60 pulseaudio)
# Needs build/tools/echora-cli, build/bench/dropout_count and build/bench/level_count; PipeWire needs Debian's
# pipewire, pipewire-bin, pipewire-pulse and wireplumber.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
server=${2:-pulseaudio}
cli=$here/build/tools/echora-cli
count=$here/build/bench/dropout_count
levels=$here/build/bench/level_count
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  [ "$server" = pipewire ] && pw_stop "$work/pw"
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

sinks=(echora_in echora_out echora_fixed echora_pt)
if [ "$server" = pipewire ]; then
  source "$here/tests/support/pipewire_private.sh"
  pw_start "$work/pw" || { echo "PipeWire did not start"; exit 1; }
  for sink in "${sinks[@]}"; do
    pactl load-module module-null-sink sink_name=$sink \
      "sink_properties=device.description=$sink" rate=44100 channels=2 >/dev/null
  done
else
  source "$here/tests/support/pulse_private.sh"
  pulse_start "$work" "${sinks[@]}" || { echo "PulseAudio did not start"; exit 1; }
  pids+=($pulse_pid)
fi

# Device numbers by name, as the engine counts them.
source "$here/bench/device_number.sh"
number() { device_number "$cli" "$@"; }
in=$(number in echora_in)
out=$(number out echora_out)
fixed_out=$(number out echora_fixed)
[ -n "$in" ] && [ -n "$out" ] && [ -n "$fixed_out" ] ||
  { echo "devices not found"; "$cli" devices; exit 1; }

raw=(--raw --format=s16le --rate=44100 --channels=2)
# 450 Hz: 98 frames a cycle, so the taps of "Concert Hall 1" (3528 frames apart) add in step
# and the output is a clean tone too, at 1.98 times the input.
total=$((seconds + 24))
sox -n -r 44100 -c 2 -b 16 -e signed -t raw - synth "$total" sine 450 vol 0.18 2>/dev/null |
  pacat -d echora_in "${raw[@]}" --latency-msec=200 2>/dev/null &
pids+=($!)
parec -d echora_out.monitor "${raw[@]}" >"$work/engine.raw" 2>/dev/null &
pids+=($!)
parec -d echora_pt.monitor "${raw[@]}" >"$work/passthrough.raw" 2>/dev/null &
pids+=($!)
parec -d echora_fixed.monitor "${raw[@]}" >"$work/fixed.raw" 2>/dev/null &
pids+=($!)

parec -d echora_in.monitor "${raw[@]}" --latency-msec=40 |
  pacat -d echora_pt "${raw[@]}" --latency-msec=40 2>/dev/null &
pids+=($!)
sleep 0.5
passthrough=$(pgrep -f "parec -d echora_in.monitor --raw" | head -1)
passthrough+=" $(pgrep -f "pacat -d echora_pt --raw" | head -1)"

"$cli" live --in "$in" --out "$out" --seconds "$((seconds + 16))" >"$work/live.txt" 2>&1 &
engine=$!
"$cli" live --in "$in" --out "$fixed_out" --seconds "$((seconds + 16))" --latency-ms 40 \
  >"$work/fixed.txt" 2>&1 &
fixed=$!
pids+=($engine $fixed)
ticks() { local t=0 pid; for pid in "$@"; do t=$((t + $(awk '{print $14 + $15}' "/proc/$pid/stat"))); done; echo $t; }
sleep 10  # past the first periods, whose passes and start-up are not the steady state
engine_before=$(ticks $engine)
fixed_before=$(ticks $fixed)
# shellcheck disable=SC2086
passthrough_before=$(ticks $passthrough)
sleep "$seconds"
engine_used=$(($(ticks $engine) - engine_before))
fixed_used=$(($(ticks $fixed) - fixed_before))
# shellcheck disable=SC2086
passthrough_used=$(($(ticks $passthrough) - passthrough_before))
wait "$engine" "$fixed"
hz=$(getconf CLK_TCK)
percent() { awk -v t="$1" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f%%", 100 * t / hz / s}'; }

echo "== $server, ${seconds} s at 44100 Hz, multiplier 8, \"Concert Hall 1\""
echo "echora-cli live:        CPU $(percent $engine_used) of one core"
echo "  at a fixed 40 ms:     CPU $(percent $fixed_used) of one core"
echo "parec | pacat, 40 ms:   CPU $(percent $passthrough_used) of one core (both processes)"
awk -v a="$engine_used" -v b="$passthrough_used" \
  'BEGIN {if (b > 0) printf "ratio:                  %.2f\n", a / b}'
grep 'off after' "$work/live.txt"
grep -v 'on at\|off after' "$work/live.txt"
echo "at a fixed 40 ms: $(grep 'off after' "$work/fixed.txt")"
# The engine's output starts four periods (8 s) and its server share late; the first
# periods after the start are treated apart, so its count starts 14 s in.
echo "engine recording:       $("$count" "$work/engine.raw" 44100 14 "$seconds")"
echo "  at a fixed 40 ms:     $("$count" "$work/fixed.raw" 44100 14 "$seconds")"
echo "pass-through recording: $("$count" "$work/passthrough.raw" 44100 2 "$seconds")"
# The tone's peak as sox makes it at vol 0.18.
echo "engine, as heard:       $("$levels" "$work/engine.raw" 44100 14 "$seconds" 5898)"
echo "  at a fixed 40 ms:     $("$levels" "$work/fixed.raw" 44100 14 "$seconds" 5898)"
