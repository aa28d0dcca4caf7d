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

# The tray's own frames, 16, 20, 24, 32, 40 and 48 px (the tray's 16 px at 100 % to 300 %, so that
# Qt never scales the 256 px icon down for it): the same knob drawn bolder and plainer, with a light
# rim so it stands out on a dark taskbar and a dark body so it stands out on a light one. Each is
# drawn at eight times its size and scaled down.
for size in 16 20 24 32 40 48; do
    s=$((size * 8))
    px=8 # one pixel of the frame
    convert -size ${s}x${s} xc:none \
        -fill '#2c313c' -stroke '#d0d4dc' -strokewidth $px \
        -draw "roundrectangle $((px / 2)),$((px / 2)) $((s - px / 2 - 1)),$((s - px / 2 - 1)) $((s / 5)),$((s / 5))" \
        -fill none -stroke '#0b7070' -strokewidth $((px * 2 + px / 2)) \
        -draw "arc $((s * 22 / 100)),$((s * 22 / 100)) $((s * 78 / 100)),$((s * 78 / 100)) 135,405" \
        -stroke '#00f0f0' -draw "arc $((s * 22 / 100)),$((s * 22 / 100)) $((s * 78 / 100)),$((s * 78 / 100)) 135,320" \
        -stroke '#ffffff' -strokewidth $((px * 2)) -draw "line $((s / 2)),$((s / 2)) $((s * 61 / 100)),$((s * 39 / 100))" \
        -filter Box -resize ${size}x${size} -depth 8 tray-$size.png
done
