#!/usr/bin/env bash
# echora-cli render of a 10-minute 16-bit stereo 44100 Hz WAV file against cp of the same
# file, the floor any file-to-file tool stands on. The two run in turn, nine pairs, each
# writing a new file (the old one removed first, outside the timing); the ratio is taken
# pair by pair, so that a machine whose speed drifts still gives a fair figure, and its
# median is printed. The aim: at most 2.5.
#   bench/render_vs_cp.sh [build-dir] [pairs]
set -euo pipefail
build=${1:-build}
pairs=${2:-9}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sox -n -r 44100 -c 2 -b 16 "$dir/in.wav" synth 600 pinknoise vol 0.3

# Milliseconds the command takes, as a whole process.
took() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}

ratios=()
for ((i = 0; i < pairs + 1; i++)); do
  rm -f "$dir/out.wav" "$dir/copy.wav"
  ours=$(took "$build/tools/echora-cli" render "$dir/in.wav" "$dir/out.wav")
  floor=$(took cp "$dir/in.wav" "$dir/copy.wav")
  # The first pair warms the page cache and is not counted.
  (( i == 0 )) && continue
  ratios+=("$(awk "BEGIN {printf \"%.2f\", $ours / ($floor ? $floor : 1)}")")
  printf 'pair %d: echora-cli render %5d ms, cp %5d ms, ratio %s\n' "$i" "$ours" "$floor" \
    "${ratios[-1]}"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "10 min stereo 44.1 kHz: render/cp median ratio ${median}x over ${pairs} pairs (aim: at most 2.5)"
