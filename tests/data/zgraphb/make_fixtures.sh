#!/bin/sh
# Writes the bitmaps that zgraphb's BMP reader is checked against, each with
# ImageMagick's own decoding of it as an 8-bit PPM beside it (name.bmp, name.ppm).
# Made with ImageMagick 6.9.11: CONVERT=/usr/bin/convert tests/data/zgraphb/make_fixtures.sh
set -eu
cd "$(dirname "$0")"
convert=${CONVERT:-convert}
picture=$(mktemp --suffix=.png)
trap 'rm -f "$picture"' EXIT

# 37 x 13: an odd width, so rows of every depth end in padding. A colour
# gradient with a white box and a black diagonal.
"$convert" -size 37x13 gradient:red-blue -fill white -draw 'rectangle 3,3 10,8' \
  -fill black -draw 'line 0,12 36,0' "$picture"

# fixture NAME CODER [OPTIONS...]: CODER BMP writes a 108 or 124-byte header,
# BMP3 the 40-byte Windows one, BMP2 the 12-byte OS/2 1.x one.
fixture() {
  name=$1 coder=$2
  shift 2
  "$convert" "$picture" "$@" "$coder:$name.bmp"
  "$convert" "$name.bmp" -depth 8 "ppm:$name.ppm"
}

fixture bilevel_black_first BMP -type bilevel
fixture bilevel_white_first BMP -negate -type bilevel
fixture os2_bilevel BMP2 -type bilevel
fixture colors16 BMP3 -colors 16
fixture os2_colors16 BMP2 -colors 16
fixture colors200 BMP3 -colors 200 -compress None
fixture colors200_rle8 BMP3 -colors 200 -compress RLE
fixture v5_rle8 BMP -colors 200 -compress RLE
fixture truecolor BMP3
fixture os2_truecolor BMP2
