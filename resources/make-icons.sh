#!/usr/bin/env bash
# Draws the application icon's PNG sizes for the hicolor theme (run once; the PNGs are kept in
# the repository, so builds need no SVG tool). Up to 24 px they come from drawings fitted to the
# pixel grid, which stay sharp where the scaled-down ferrit.svg would blur; 22 px is the 24 px
# drawing without its empty outer pixel. Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/icons"
draw() { # size, drawing, margin cut from each side
  local size=$1 svg=$2 cut=${3:-0}
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w $((size + 2 * cut)) -h $((size + 2 * cut)) \
    --page-width "$size" --page-height "$size" --left="-$cut" --top="-$cut" \
    -o "hicolor/${size}x${size}/apps/ferrit.png" "$svg"
}
draw 16 ferrit-16.svg
draw 22 ferrit-24.svg 1
draw 24 ferrit-24.svg
for size in 32 48 64 128 256; do
  draw "$size" ferrit.svg
done
