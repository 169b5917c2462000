# A fax page of text as a plain PBM (P1) on standard output: lines of words
# made of 64 random 5 x 7 glyphs, each glyph dot drawn `dot` pixels square,
# so that Group 4 codes it about as densely as a typed page. The same seed and
# settings give the same page. By default 1728 x 2292 pixels (A4 at
# 204 x 196 dpi), three pixels to a dot; an office scanner's A4 at 300 dpi:
#   awk -v seed=N -f fax_page.awk >page.pbm
#   awk -v seed=N -v width=2480 -v height=3508 -v dot=4 -v margin=150 \
#       -v top=180 -v gap=20 -f fax_page.awk >page.pbm
BEGIN {
  srand(seed)
  if (width == "") width = 1728
  if (height == "") height = 2292
  if (dot == "") dot = 3           # pixels to a glyph dot
  if (margin == "") margin = 100   # blank columns at the left and right
  if (top == "") top = 120         # blank rows at the top and bottom
  if (gap == "") gap = 15          # blank rows between text lines
  advance = 6 * dot
  on = sprintf("%" dot "s", ""); off = on; gsub(/ /, "1", on); gsub(/ /, "0", off)
  for (g = 0; g < 64; g++) {
    for (r = 0; r < 7; r++) {
      bits = ""
      for (c = 0; c < 5; c++) bits = bits (rand() < 0.45 ? on : off)
      glyph[g, r] = bits off
    }
  }
  white = sprintf("%" width "s", ""); gsub(/ /, "0", white)
  space = substr(white, 1, advance)
  print "P1"; print width, height
  for (y = 0; y < top; y++) print white
  pitch = 7 * dot + gap
  while (y + pitch <= height - top) {
    cells = 0
    for (x = margin; x + advance * 10 < width - margin; x += advance * (length_ + 1)) {
      length_ = 2 + int(rand() * 8)
      for (k = 0; k < length_; k++) cell[cells++] = int(rand() * 64)
      cell[cells++] = -1
    }
    for (r = 0; r < 7; r++) {
      row = substr(white, 1, margin)
      for (k = 0; k < cells; k++) row = row (cell[k] < 0 ? space : glyph[cell[k], r])
      row = row substr(white, 1, width - length(row))
      for (d = 0; d < dot; d++) print row
    }
    for (s = 0; s < gap; s++) print white
    y += pitch
  }
  for (; y < height; y++) print white
}
