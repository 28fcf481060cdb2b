#!/usr/bin/env bash
# The live engine's completion order on a machine whose every core is busy: `echora-cli
# live` between two null sinks of a private sound server, fed a steady tone, while one busy
# loop per core runs at normal priority. Prints the engine's report, whose "out of turn"
# counts the buffers played without their echo or echoed twice, beside its underflows and
# overflows; then what a listener hears of it: the recording's level in tenths of a second,
# each against the steady level (a missed echo is about half of it, an echo applied twice
# about twice), counted from seven buffer periods in, past the start-up periods that the
# engine plays silent or echoed twice by design.
#   bench/live_order_under_load.sh [SECONDS] [pulseaudio|pipewire] [MULTIPLIER]
#   (default 60 pulseaudio 2)
# Needs build/tools/echora-cli; PipeWire needs Debian's pipewire, pipewire-bin,
# pipewire-pulse and wireplumber.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
server=${2:-pulseaudio}
multiplier=${3:-2}
cli=$here/build/tools/echora-cli
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
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
"$cli" live --in "$in" --out "$out" --seconds "$seconds" --multiplier "$multiplier"
python3 - "$work/out.raw" "$multiplier" <<'PY'
import array, statistics, sys
samples = array.array("h")
samples.frombytes(open(sys.argv[1], "rb").read())
block = 4410 * 2  # a tenth of a second of stereo
peaks = [max(map(abs, samples[i:i + block])) for i in range(0, len(samples) - block, block)]
start = max(60, 7 * int(sys.argv[2]) * 10 // 4)  # tenths: seven periods of M/4 s
heard = [p for p in peaks[start:] if p > 0]
steady = statistics.median(heard) if heard else 0
wrong = sum(1 for p in heard if abs(p - steady) > 0.1 * steady)
print(f"recording: {len(heard) / 10:.1f} s at level, steady peak {steady}; "
      f"{wrong / 10:.1f} s off it by more than 10%")
PY
