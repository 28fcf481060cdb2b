#!/usr/bin/env bash
# Peak memory of echora-cli render on a long input converted to another rate, which is read
# and converted a block at a time: the figure should not grow with the input.
#   bench/render_memory.sh [build-dir] [input-gigabytes]
set -euo pipefail
build=${1:-build}
gigabytes=${2:-2}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Pink noise, so that the converter and the echo work on real sound, not on zeros.
seconds=$(( gigabytes * 1000000000 / (44100 * 4) ))
sox -n -r 44100 -c 2 -b 16 "$dir/in.wav" synth "$seconds" pinknoise vol 0.3
size=$(stat -c %s "$dir/in.wav")
t0=$(date +%s%N)
/usr/bin/time -f %M -o "$dir/time.txt" \
  "$build/tools/echora-cli" render "$dir/in.wav" "$dir/out.wav" --rate 8000 2>/dev/null
t1=$(date +%s%N)
echo "input $(( size / 1000000 )) MB at 44100 Hz, --rate 8000:" \
  "peak RSS $(tail -n 1 "$dir/time.txt") KiB, $(( (t1 - t0) / 1000000 )) ms"
