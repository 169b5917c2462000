# A fax page of text as a plain PBM (P1) on standard output: 1728 x 2292
# pixels (A4 at 204 x 196 dpi), lines of words made of 64 random 5 x 7 glyphs
# drawn three pixels to a dot, so that Group 4 codes it about as densely as a
# typed page. The same seed gives the same page.
#   awk -v seed=N -f fax_page.awk >page.pbm
BEGIN {
  srand(seed)
  width = 1728; height = 2292; margin = 100; advance = 18
  for (g = 0; g < 64; g++) {
    for (r = 0; r < 7; r++) {
      bits = ""
      for (c = 0; c < 5; c++) bits = bits (rand() < 0.45 ? "111" : "000")
      glyph[g, r] = bits "000"
    }
  }
  white = sprintf("%" width "s", ""); gsub(/ /, "0", white)
  gap = substr(white, 1, advance)
  print "P1"; print width, height
  for (y = 0; y < 120; y++) print white
  while (y + 36 <= height - 120) {
    cells = 0
    for (x = margin; x + advance * 10 < width - margin; x += advance * (length_ + 1)) {
      length_ = 2 + int(rand() * 8)
      for (k = 0; k < length_; k++) cell[cells++] = int(rand() * 64)
      cell[cells++] = -1
    }
    for (r = 0; r < 7; r++) {
      row = substr(white, 1, margin)
      for (k = 0; k < cells; k++) row = row (cell[k] < 0 ? gap : glyph[cell[k], r])
      row = row substr(white, 1, width - length(row))
      print row; print row; print row
    }
    for (s = 0; s < 15; s++) print white
    y += 36
  }
  for (; y < height; y++) print white
}
