#!/usr/bin/env bash
# Makes the sample images of examples/tiff with ImageMagick. The committed files
# came from this script; run it again only to change them.
set -euo pipefail
cd "$(dirname "$0")/tiff"

# A three-page fax at 204 x 196 dpi, Group 4, as a fax server stores it.
for page in 1 2 3; do
  convert -size 1728x1100 xc:white -fill black \
    -draw "rectangle 100,100 1628,180" \
    -draw "rectangle 100,$((250 + page * 60)) $((400 + page * 300)),$((330 + page * 60))" \
    -draw "circle 864,800 864,$((700 - page * 20))" \
    -monochrome "/tmp/zq_fax_page_$page.pbm"
done
convert /tmp/zq_fax_page_{1,2,3}.pbm -units PixelsPerInch -density 204x196 \
  -compress Group4 fax-3-pages.tif
rm -f /tmp/zq_fax_page_*.pbm

# A colour scan at 150 dpi, LZW.
convert -size 620x877 gradient:'#f4e4c1-#6b8fb5' -fill '#a03020' \
  -draw "rectangle 60,80 560,200" -fill '#205080' -draw "circle 310,500 310,380" \
  -units PixelsPerInch -density 150 -depth 8 -compress LZW colour-scan.tif
