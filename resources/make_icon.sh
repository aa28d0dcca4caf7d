#!/bin/sh
# Redraws icon.png and icon.ico (a knob with its value arc) with ImageMagick.
set -e
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
    -fill '#2c313c' -stroke '#1b1f27' -strokewidth 6 -draw 'roundrectangle 8,8 248,248 48,48' \
    -fill none -stroke '#0b5f5f' -strokewidth 18 -draw 'stroke-linecap round arc 48,48 208,208 135,405' \
    -stroke '#00e5e5' -strokewidth 18 -draw 'stroke-linecap round arc 48,48 208,208 135,320' \
    -stroke none -fill '#454c5a' -draw 'circle 128,128 128,72' \
    -fill '#5a6272' -draw 'circle 128,128 128,80' \
    -stroke '#ffffff' -strokewidth 10 -draw 'stroke-linecap round line 128,128 158,98' \
    -stroke none -fill '#00e5e5' -draw 'circle 128,128 128,138' \
    -depth 8 icon.png
convert icon.png -define icon:auto-resize=256,128,64,48,32,16 icon.ico
