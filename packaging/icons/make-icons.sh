#!/usr/bin/env bash
# Draws the program's icon (a serial connector's face on a blue tile) with
# ImageMagick and writes the files the packages use: torvane.png (256x256),
# scaled down to the desktop's usual sizes as hicolor/torvane-<N>.png (the
# Linux desktop icon and the Qt window's own), and torvane.ico (16, 32, 48
# and 256 pixels, the Windows programs' icon). The results are kept in the
# repository; run this only to change the icon.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
  -fill '#1f5f9f' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill white -stroke '#0b2f52' -strokewidth 6 \
  -draw 'polygon 28,78 228,78 200,182 56,182' \
  -fill '#0b2f52' -stroke none \
  -draw 'circle 64,108 74,108' -draw 'circle 96,108 106,108' -draw 'circle 128,108 138,108' \
  -draw 'circle 160,108 170,108' -draw 'circle 192,108 202,108' \
  -draw 'circle 80,148 90,148' -draw 'circle 112,148 122,148' -draw 'circle 144,148 154,148' \
  -draw 'circle 176,148 186,148' \
  -depth 8 -strip -define png:exclude-chunks=date,time torvane.png
convert torvane.png -define icon:auto-resize=256,48,32,16 torvane.ico
mkdir -p hicolor
for size in 16 22 24 32 48 64 128 256; do
  convert torvane.png -resize "${size}x${size}" -depth 8 -strip \
    -define png:exclude-chunks=date,time "hicolor/torvane-$size.png"
done
