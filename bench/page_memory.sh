#!/usr/bin/env bash
# Peak memory of the engine against the length of a document: the same fax
# page (A4, 204 x 196 dpi, Group 4) as a TIFF of 10 and of 200 pages,
# converted page by page to PNG in a batch run. Pages are read, converted and
# written one at a time, so both runs should need about the memory of one page.
# Not a test: run it by hand and compare the two figures.
#   bench/page_memory.sh [BUILD_DIR]      (default build/release, else build/dev)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [ -z "$build" ]; then
  build=$top/build/release
  [ -x "$build/bin/Zembrit_Quarnel" ] || build=$top/build/dev
fi
engine=$build/bin/Zembrit_Quarnel
[ -x "$engine" ] || { echo "page_memory: no engine at $engine (build it first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zq_page_memory_XXXXXX")
trap 'rm -rf "$work"' EXIT

convert -size 1728x2200 xc:white -fill black \
  -draw "rectangle 100,100 1628,180" -draw "rectangle 100,400 1300,460" \
  -draw "circle 864,1200 864,900" -monochrome \
  -units PixelsPerInch -density 204x196 -compress Group4 "$work/page.tif"

echo "pages  peak resident memory  wall time"
for pages in 10 200; do
  run=$work/$pages
  mkdir -p "$run/in" "$run/out" "$run/tmp"
  # tiffcp joins the copies without holding them, however many there are.
  files=()
  for ((i = 0; i < pages; ++i)); do files+=("$work/page.tif"); done
  tiffcp "${files[@]}" "$run/in/fax.tif"
  cat >"$run/job.ini" <<INI
[FOLDERS]
source=$run/in
target=$run/out
temp=$run/tmp
[PARAMS]
image_type=7
extract_all=1
[REPORT]
create_report=0
INI
  /usr/bin/time -f "%M %e" -o "$run/time" "$engine" "C|$run/job.ini" >/dev/null
  read -r kib seconds <"$run/time"
  written=$(find "$run/out" -name '*.png' | wc -l)
  [ "$written" -eq "$pages" ] || { echo "page_memory: $written of $pages pages written" >&2; exit 1; }
  printf "%5d  %15d KiB  %8.2f s\n" "$pages" "$kib" "$seconds"
done
