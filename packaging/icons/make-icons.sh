#!/usr/bin/env bash
# Draws the hicolor PNG icons from the SVG (needs rsvg-convert, Debian package
# librsvg2-bin). The PNGs are committed, so building needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
ID=io.github.tarnrecorder.TarnRecorder
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$ID.svg" -o "$ID-$size.png"
done
