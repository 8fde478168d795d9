#!/usr/bin/env bash
# Converts the screenshots the end-to-end tour saved (BMP) into PNG files for the README.
set -euo pipefail
dir=$1
found=0
for bmp in "$dir"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  found=1
done
[ "$found" = 1 ] || { echo "no screenshots in $dir" >&2; exit 1; }
ls -l "$dir"/*.png
