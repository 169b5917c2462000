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

# A raw fax page: no TIFF at all, but the data a fax modem or fax card stores.
# The engine recognises raw fax by its first two bytes, 0xBB 0x01, and reads
# such a file through ImageMagick's "FAX:" coder; only batch runs do this.
# What that coder accepts (checked with this ImageMagick, 6.9.11): raw Group 3
# one-dimensional data (Modified Huffman runs, each row ended by an EOL code),
# exactly what its own FAX writer produces. The data carry no size: the reader
# decodes rows of 2592 pixels, its default, so a 1728-pixel fax row ends at its
# EOL and the rest of the row stays white, and it counts rows until the data end.
# Plain Group 3 data begin with an EOL (0x00 0x1n), never with 0xBB 0x01, so the
# sample carries the two signature bytes in front of the fax data. The decoder
# finds its way to the first EOL through them: the page it reads is pixel for
# pixel the page written (compare -metric AE reports 0 differing pixels for
# the 1728 x 1100 area). The name ends in .tif because a batch run takes only
# such names from a folder.
convert -size 1728x1100 xc:white -fill black \
  -draw "rectangle 100,60 1628,120" -draw "rectangle 100,200 900,230" \
  -draw "rectangle 100,280 1300,310" -draw "circle 864,700 864,560" \
  -monochrome /tmp/zq_raw_fax.pbm
convert /tmp/zq_raw_fax.pbm FAX:/tmp/zq_raw_fax.g3
printf '\273\001' | cat - /tmp/zq_raw_fax.g3 >raw-fax.tif
rm -f /tmp/zq_raw_fax.pbm /tmp/zq_raw_fax.g3
