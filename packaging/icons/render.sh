#!/usr/bin/env bash
# Renders the committed PNG icons from stowline.svg; run after changing the SVG (needs librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 128 256; do
    rsvg-convert -w "$size" -h "$size" stowline.svg -o "stowline-$size.png"
done
