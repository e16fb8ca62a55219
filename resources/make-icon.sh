#!/usr/bin/env bash
# Draws the program's icon, a key cap with a "T", as a 64 x 64, 256-colour .ico and
# as the 64 x 64 RGBA pixels that the X11 window shows (teclix-icon.rgba).
# Run by hand when the design changes; both results are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/liberation/LiberationSerif-Bold.ttf
convert -size 64x64 xc:none \
  -fill '#3a3f4b' -draw 'roundrectangle 2,4 61,61 10,10' \
  -fill '#c9ced8' -draw 'roundrectangle 4,4 59,55 9,9' \
  -fill '#f4f6fa' -draw 'roundrectangle 9,7 54,48 7,7' \
  -font "$font" -pointsize 40 -fill '#c0121b' -gravity center -annotate +0-6 'T' \
  teclix-icon.png

convert teclix-icon.png -background none -type PaletteAlpha -colors 255 -define bmp:format=bmp3 teclix.ico
convert teclix-icon.png -depth 8 rgba:teclix-icon.rgba

# The same design drawn at 256 x 256 and scaled down, for the desktop's icon theme
# (hicolor/NxN.png, installed with the Linux program).
mkdir -p hicolor
convert -size 256x256 xc:none \
  -fill '#3a3f4b' -draw 'roundrectangle 8,16 247,247 40,40' \
  -fill '#c9ced8' -draw 'roundrectangle 16,16 239,223 36,36' \
  -fill '#f4f6fa' -draw 'roundrectangle 36,28 219,195 28,28' \
  -font "$font" -pointsize 160 -fill '#c0121b' -gravity center -annotate +0-24 'T' \
  hicolor/256.png
for size in 16 32 48 64 128; do
  convert hicolor/256.png -resize ${size}x$size hicolor/$size.png
done
