#!/usr/bin/env bash
# Builds the processor and starts it: the desktop program where a display is reachable;
# elsewhere a few plucked notes go through the same engine on the virtual sound card with
# three presets, and the results are left to listen to.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build --preset default --target echora
  exec build/app/echora
fi
echo "No display is reachable, so here is the engine rendering files instead of the window."
cmake --build --preset default --target echora-cli

out=build/demo
mkdir -p "$out"
# A second of silence first: as at every first power-on, the engine drops the first buffer
# period it captures and passes the second twice; with multiplier 2 a period is half a
# second.
# At -10 dB, so that the echo's taps, which add up to about twice the input, do not clip.
sox -n -r 44100 -c 2 -b 16 "$out/notes.wav" synth 0.4 pluck C4 : synth 0.4 pluck E4 \
    : synth 0.4 pluck G4 : synth 2.8 pluck C5 fade 0 2.8 2.6
sox "$out/notes.wav" "$out/input.wav" gain -n -10 pad 1 0
for preset in "Concert Hall 1" "Canyon" "Robot 3"; do
  file="$out/$(echo "$preset" | tr ' A-Z' '-a-z').wav"
  ./build/tools/echora-cli render "$out/input.wav" "$file" --preset "$preset" --multiplier 2
  echo "$preset: $file ($(sox "$file" -n stat 2>&1 | awk '/Maximum amplitude/ {print "peak " $3}'))"
done
echo "Input: $out/input.wav. Listen with: play $out/canyon.wav"
