#!/usr/bin/env bash
# Draws the options window's banner (594 x 74, 24-bit BMP) into src/ui/win32/Banner.bmp.
# The bitmap is committed; run this only to change it (needs ImageMagick and the DejaVu fonts).
set -euo pipefail
cd "$(dirname "$0")/.."
out=src/ui/win32/Banner.bmp
convert -size 74x594 gradient:'#16324f'-'#2b7a78' -rotate -90 \
  -fill '#ffffff22' -draw 'polygon 430,0 594,0 594,74 380,74' \
  -fill '#ffffff14' -draw 'polygon 470,0 594,0 594,74 520,74' \
  -font DejaVu-Sans-Bold -pointsize 30 -fill white -annotate +18+42 'Pallix' \
  -font DejaVu-Sans -pointsize 12 -fill '#d8eeea' -annotate +20+62 'Korvel levels to OGRE meshes, materials and textures' \
  -font DejaVu-Sans -pointsize 11 -fill '#d8eeea' -gravity NorthEast -annotate +14+10 'Version 2.0' \
  -type TrueColor -depth 8 -compress None BMP3:"$out"
echo "wrote $out"
