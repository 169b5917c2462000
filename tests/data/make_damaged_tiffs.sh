#!/usr/bin/env bash
# Writes a set of damaged and disguised TIFF files into the folder OUT, every
# name ending in .tif so that a batch walk takes each of them:
#   truncated copies of three valid files (bilevel G4 of three pages, RGB LZW,
#   8-bit grey) cut at several points; a zero-length file; hand-made files with
#   directory loops, huge declared sizes, offsets past the end and wrong magic;
#   PostScript, PDF, SVG and text files named .tif; a raw fax signature
#   followed by noise.
# The same OUT is written byte for byte on every run.
#   tests/data/make_damaged_tiffs.sh OUT
set -euo pipefail
out=${1:?usage: $0 OUT}
mkdir -p "$out"
cd "$out"

# Little-endian fields of a hand-made TIFF.
u16() { printf "$(printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
u32() {
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) \
    $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}
# One directory entry: tag, type (3 SHORT, 4 LONG), count 1, value.
entry() {
  u16 "$1"; u16 "$2"; u32 1
  if [ "$2" -eq 3 ]; then u16 "$3"; u16 0; else u32 "$3"; fi
}

# An uncompressed bilevel image directory of nine entries (118 bytes with its
# count and next offset).
#   ifd WIDTH HEIGHT STRIP_OFFSET STRIP_BYTES NEXT_IFD
ifd() {
  u16 9
  entry 256 4 "$1"   # ImageWidth
  entry 257 4 "$2"   # ImageLength
  entry 258 3 1      # BitsPerSample
  entry 259 3 1      # Compression: none
  entry 262 3 0      # Photometric: white is zero
  entry 273 4 "$3"   # StripOffsets
  entry 277 3 1      # SamplesPerPixel
  entry 278 4 "$2"   # RowsPerStrip
  entry 279 4 "$4"   # StripByteCounts
  u32 "$5"
}
kIfdSize=118
header() { printf 'II*\0'; u32 "${1:-8}"; }
strip() { head -c "$1" /dev/zero | tr '\0' '\125'; }

# A valid 16 x 16 page, as the hand-made files start from.
strip_at=$((8 + kIfdSize))
{ header; ifd 16 16 $strip_at 32 0; strip 32; } >valid-handmade.tif

{ header; ifd 16 16 $strip_at 32 8; strip 32; } >ifd-loop-to-self.tif
second=$((strip_at + 32))
{ header; ifd 16 16 $strip_at 32 $second; strip 32; ifd 16 16 $strip_at 32 8; } \
  >ifd-loop-pair.tif
{ header 4294967040; ifd 16 16 $strip_at 32 0; strip 32; } >ifd-offset-past-end.tif
{ header; ifd 16 16 $strip_at 32 4000000000; strip 32; } >next-ifd-past-end.tif
{ header; u16 65535; u32 0; } >ifd-count-past-end.tif
{ header; u16 0; u32 0; } >ifd-without-entries.tif

{ header; ifd 4294967295 4294967295 $strip_at 32 0; strip 32; } >size-4g-by-4g.tif
{ header; ifd 100000 100000 $strip_at 32 0; strip 32; } >size-100k-by-100k.tif
{ header; ifd 16 4000000000 $strip_at 32 0; strip 32; } >size-16-by-4g.tif
{ header; ifd 0 0 $strip_at 32 0; strip 32; } >size-0-by-0.tif
{ header; ifd 16 16 $strip_at 4294967280 0; strip 32; } >strip-bytes-4g.tif
{ header; ifd 16 16 2147483647 32 0; strip 32; } >strip-offset-past-end.tif

# Wrong magic: the BigTIFF number with a classic header, a foreign byte-order
# mark, big-endian marks over little-endian fields, and no header at all.
{ printf 'II+\0'; u32 8; ifd 16 16 $strip_at 32 0; strip 32; } >magic-bigtiff-number.tif
{ printf 'XX*\0'; u32 8; ifd 16 16 $strip_at 32 0; strip 32; } >magic-foreign-order.tif
{ printf 'MM\0*'; u32 8; ifd 16 16 $strip_at 32 0; strip 32; } >magic-big-endian-mark.tif
head -c 1024 /dev/zero >magic-all-zero.tif

# Files that only their name calls TIFF. The PostScript would loop forever if
# anything ever ran it.
printf '%%!PS-Adobe-3.0\n%%%%BoundingBox: 0 0 100 100\n{ } loop\nshowpage\n' >postscript.tif
printf '%%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n%%%%EOF\n' >pdf.tif
printf '<?xml version="1.0"?>\n<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100"><image href="file:///etc/passwd" width="10" height="10"/></svg>\n' >svg.tif
printf 'Not an image at all.\n' >text.tif
{ printf '\273\001'; LC_ALL=C awk 'BEGIN { srand(7); for (i = 0; i < 4096; i++) printf "%c", int(rand() * 256) }'; } \
  >raw-fax-signature-noise.tif
: >zero-length.tif

# Truncated copies of real encodings, cut inside the header, the first
# directory, the image data and just before the end.
convert -size 1728x400 xc:white -fill black -draw 'rectangle 100,50 1600,120' \
  -draw 'circle 860,260 860,200' -monochrome \( +clone \) \( +clone -negate \) \
  -units PixelsPerInch -density 204x196 -compress Group4 base-g4-3-pages.tif
convert -size 320x240 gradient:'#203080-#e0c040' -depth 8 -compress LZW base-rgb-lzw.tif
convert -size 320x240 gradient:black-white -colorspace Gray -depth 8 -compress None \
  base-grey-8bit.tif
for base in base-g4-3-pages base-rgb-lzw base-grey-8bit; do
  size=$(stat -c %s "$base.tif")
  for cut in 4 8 20 200 $((size / 2)) $((size - 1)); do
    head -c "$cut" "$base.tif" >"truncated-$base-at-$cut.tif"
  done
done
