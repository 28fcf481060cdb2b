#!/usr/bin/env bash
# Renders the program icon's PNGs from echora.svg, each drawn at its own size rather than
# scaled from another picture. The 32 x 32 (echora-32.png) is the hand-made original and is
# left alone. Needs rsvg-convert (Debian: librsvg2-bin); run it after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" echora.svg --output "echora-$size.png"
done
