#!/usr/bin/env bash
# echora-cli render against sox's echos on the same 60 s stereo 44100 Hz file, with seven
# taps each (the direct sound and six echoes), best of five runs each, each writing a new
# file (replacing one makes the file system flush the old one's blocks first).
#   bench/render_vs_sox.sh [build-dir]
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sox -n -r 44100 -c 2 -b 16 "$dir/in.wav" synth 60 pinknoise vol 0.3

best() {
  local best=999999999999
  for _ in 1 2 3 4 5; do
    local t0 t1
    rm -f "$dir"/out.wav
    t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N)
    best=$(( (t1 - t0) < best ? (t1 - t0) : best ))
  done
  echo $(( best / 1000000 ))
}

ours=$(best "$build/tools/echora-cli" render "$dir/in.wav" "$dir/out.wav" --repeats 6 --delay-ms 40)
theirs=$(best sox "$dir/in.wav" "$dir/out.wav" echos 0.8 0.7 40 0.6 80 0.5 120 0.4 160 0.3 200 0.2 240 0.1)
echo "echora-cli render: ${ours} ms; sox echos: ${theirs} ms; sox/echora = $(awk "BEGIN {printf \"%.1f\", $theirs / ($ours ? $ours : 1)}")x"
