#!/usr/bin/env bash
# Writes the benchmark corpus into OUT, the same bytes on every run:
#   fax-single/  FAX_SINGLE one-page Group 4 faxes, A4 at 204 x 196 dpi
#   fax-multi/   FAX_MULTI Group 4 faxes of FAX_PAGES pages each
#   rgb/         SCANS RGB scans, 2480 x 3508 (A4 at 300 dpi), LZW
#   grey/        SCANS 8-bit grey scans of the same size, uncompressed
#   pages/       one fax of 10 and one of 100 pages (memory against page count)
#   small/       one 100 x 100 grey page (start-up cost)
# Eight distinct fax pages and two distinct scans are drawn; the files are
# made of copies of them, which costs the converters the same as new ones.
# A corpus already in OUT with the same counts is kept.
#   bench/make_corpus.sh OUT FAX_SINGLE FAX_MULTI FAX_PAGES SCANS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: $0 OUT FAX_SINGLE FAX_MULTI FAX_PAGES SCANS}
fax_single=$2 fax_multi=$3 fax_pages=$4 scans=$5
stamp="corpus $fax_single $fax_multi $fax_pages $scans"
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$stamp" ]; then
  echo "corpus: kept $out ($stamp)"
  exit 0
fi
rm -rf "$out"
mkdir -p "$out"/{draw,fax-single,fax-multi,rgb,grey,pages,small}
cd "$out"

for seed in 1 2 3 4 5 6 7 8; do
  LC_ALL=C awk -v seed=$seed -f "$here/fax_page.awk" >draw/page.pbm
  convert draw/page.pbm -units PixelsPerInch -density 204x196 -compress Group4 draw/fax-$seed.tif
done
rm draw/page.pbm
fax_page() { echo "draw/fax-$(($1 % 8 + 1)).tif"; }

for ((i = 0; i < fax_single; i++)); do
  cp "$(fax_page $i)" "$(printf 'fax-single/fax-%03d.tif' $i)"
done
# fax_of PAGES OUT: a multi-page fax of the drawn pages in turn.
fax_of() {
  local pages=() p
  for ((p = 0; p < $1; p++)); do pages+=("$(fax_page $p)"); done
  tiffcp -c g4 "${pages[@]}" "$2"
}
for ((i = 0; i < fax_multi; i++)); do
  fax_of "$fax_pages" "$(printf 'fax-multi/fax-%03d-pages-%02d.tif' "$fax_pages" $i)"
done
fax_of 10 pages/fax-010-pages.tif
fax_of 100 pages/fax-100-pages.tif

for seed in 1 2; do
  convert -seed $seed -size 2480x3508 plasma:fractal -blur 0x2 -depth 8 -units PixelsPerInch \
    -density 300 -compress LZW draw/rgb-$seed.tif
  convert draw/rgb-$seed.tif -colorspace Gray -depth 8 -compress None draw/grey-$seed.tif
done
for ((i = 0; i < scans; i++)); do
  cp draw/rgb-$((i % 2 + 1)).tif "$(printf 'rgb/scan-%03d.tif' $i)"
  cp draw/grey-$((i % 2 + 1)).tif "$(printf 'grey/scan-%03d.tif' $i)"
done

convert -size 100x100 gradient:white-black -colorspace Gray -depth 8 -units PixelsPerInch \
  -density 100 -compress None small/small.tif
rm -r draw
echo "$stamp" >stamp
echo "corpus: wrote $out ($stamp)"
