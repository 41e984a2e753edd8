#!/usr/bin/env bash
# Draws the program's icon (zeltratouch.ico: 48, 32 and 16 pixels, 32-bit
# with alpha) and the main window's picture (logo.bmp: 176 x 92 pixels, 256
# colours, uncompressed) with ImageMagick and writes them next to the resource
# script. The generated files are committed; run this again only to change
# the pictures.
# Usage: resources/tools/make-images.sh   (needs ImageMagick and DejaVu fonts)
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

frame='#1b2a41'
screen='#3d8fd1'

# A monitor with a touch point and its ripples, drawn at 256 pixels.
# ripples: 2 for the large sizes, 1 for the small one.
draw_monitor() {
  local ripples=$1 target=$2
  local rings=()
  if [ "$ripples" -ge 2 ]; then
    rings+=(-stroke '#ffffffa0' -strokewidth 8 -draw 'circle 128,112 128,64')
  fi
  rings+=(-stroke '#ffffffd0' -strokewidth 12 -draw 'circle 128,112 128,82')
  convert -size 256x256 xc:none \
    -fill "$frame" -draw 'roundrectangle 12,28 244,196 26,26' \
    -fill "$screen" -draw 'roundrectangle 28,44 228,180 12,12' \
    -fill "$frame" -draw 'polygon 104,196 152,196 164,232 92,232' \
    -fill "$frame" -draw 'roundrectangle 64,224 192,240 8,8' \
    -fill none "${rings[@]}" \
    -stroke none -fill white -draw 'circle 128,112 128,98' \
    "$target"
}

draw_monitor 2 "$work/large.png"
draw_monitor 1 "$work/small.png"
convert "$work/large.png" -resize 48x48 "$work/48.png"
convert "$work/large.png" -resize 32x32 "$work/32.png"
convert "$work/small.png" -resize 16x16 "$work/16.png"
convert "$work/48.png" "$work/32.png" "$work/16.png" "$out/zeltratouch.ico"

convert -size 176x92 gradient:'#16324f-#2a7ab8' \
  \( "$work/large.png" -resize 64x64 \) -geometry +8+12 -composite \
  -fill white -font DejaVu-Sans-Bold -pointsize 18 -annotate +78+42 'Zeltra' \
  -fill '#bfe3ff' -annotate +78+62 'Touch' \
  -fill '#d6e6f2' -font DejaVu-Sans -pointsize 9 -annotate +8+86 'Serial touch-screen controller' \
  -colors 256 -type Palette -compress None BMP3:"$out/logo.bmp"

file "$out/zeltratouch.ico" "$out/logo.bmp"
