#!/usr/bin/env bash
# echora-cli render against sox's echos on the same 60 s stereo 44100 Hz file, with seven
# taps each (the direct sound and six echoes), and against cp of that file as the floor any
# file-to-file tool stands on. Best of five runs each for the time, the peak memory (GNU
# time's maximum resident set) of the best run; each run writes a new file (replacing one
# makes the file system flush the old one's blocks first).
#   bench/render_vs_sox.sh [build-dir]
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sox -n -r 44100 -c 2 -b 16 "$dir/in.wav" synth 60 pinknoise vol 0.3

# Prints "milliseconds kilobytes" for the fastest of five runs of the command.
best() {
  local best=999999999999 memory=0
  for _ in 1 2 3 4 5; do
    local t0 t1 kb
    rm -f "$dir"/out.wav
    t0=$(date +%s%N)
    /usr/bin/time -f %M -o "$dir/time.txt" "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    kb=$(tail -n 1 "$dir/time.txt")
    if (( t1 - t0 < best )); then best=$(( t1 - t0 )); memory=$kb; fi
  done
  echo "$(( best / 1000000 )) $memory"
}

read -r ours ours_kb < <(best "$build/tools/echora-cli" render "$dir/in.wav" "$dir/out.wav" \
  --repeats 6 --delay-ms 40)
read -r theirs theirs_kb < <(best sox "$dir/in.wav" "$dir/out.wav" \
  echos 0.8 0.7 40 0.6 80 0.5 120 0.4 160 0.3 200 0.2 240 0.1)
read -r floor floor_kb < <(best cp "$dir/in.wav" "$dir/out.wav")
printf '%-20s %8s %10s\n' "60 s stereo 44.1 kHz" "time" "peak RSS"
printf '%-20s %6d ms %7d KiB\n' "echora-cli render" "$ours" "$ours_kb" "sox echos" "$theirs" \
  "$theirs_kb" "cp" "$floor" "$floor_kb"
echo "sox/echora = $(awk "BEGIN {printf \"%.1f\", $theirs / ($ours ? $ours : 1)}")x;" \
  "echora/cp = $(awk "BEGIN {printf \"%.1f\", $ours / ($floor ? $floor : 1)}")x"
