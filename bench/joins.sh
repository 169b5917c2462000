#!/usr/bin/env bash
# Times the engine's joined outputs against the peer tools that make the same
# files: N one-page Group 4 faxes (A4, 300 dpi) joined into one PDF, into one
# Group 4 TIFF and into one Group 3 TIFF, and one-page faxes to PDF with one
# process per file. What is compared and why is in bench/README.md.
#
#   bench/joins.sh [--engine PATH] [--pages "N ..."] [--single M] [--work DIR]
#                  [--runs "pdf tif g3 single"]
#
#   --engine PATH    the engine to time (default build/release/bin/Zembrit_Quarnel,
#                    built with the release preset when it is missing)
#   --pages "N ..."  the page counts of the joins (default "50 500")
#   --single M       one-page faxes for the one-process-per-file runs (default 50)
#   --work DIR       corpus, outputs and figures (default build/bench/joins)
#   --runs "..."     which comparisons: pdf (joined PDF), tif (Group 4 TIFF),
#                    g3 (Group 3 TIFF), single (one PDF per fax); default all
#
# Prints every run as it ends, then the tables, also written to DIR/results.md.
# A run that fails or writes a wrong file shows "failed" and its reason in
# place of figures; the bench goes on. Exit code 1 when an engine run failed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

# Paths given on the command line are taken from where the caller stands.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

engine="" page_counts="50 500" single=50 work="$top/build/bench/joins" runs="pdf tif g3 single"
while [ $# -gt 0 ]; do
  case "$1" in
    --engine) engine=$(absolute "$2"); shift 2 ;;
    --pages) page_counts=$2; shift 2 ;;
    --single) single=$2; shift 2 ;;
    --work) work=$(absolute "$2"); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "joins: unknown argument $1" >&2; exit 2 ;;
  esac
done
read -ra page_counts <<<"$page_counts"
for n in "${page_counts[@]}" "$single"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "joins: not a page count: $n" >&2; exit 2; }
done
[ ${#page_counts[@]} -gt 0 ] || { echo "joins: --pages lists no page count" >&2; exit 2; }
for run in $runs; do
  case $run in pdf|tif|g3|single) ;; *) echo "joins: unknown run $run" >&2; exit 2 ;; esac
done
wanted() { [[ " $runs " == *" $1 "* ]]; }

cd "$top"
. bench/release_engine.sh
release_engine joins

# The peers and the readers that check every output, by their real paths.
convert=/usr/bin/convert
tiff2pdf=/usr/bin/tiff2pdf
qpdf=/usr/bin/qpdf
img2pdf=/usr/bin/img2pdf
tiffcp=/usr/bin/tiffcp
for tool in "$convert" "$tiff2pdf" "$qpdf" "$img2pdf" "$tiffcp" /usr/bin/tiffinfo \
  /usr/bin/pdfinfo /usr/bin/pdfimages /usr/bin/time; do
  [ -x "$tool" ] || { echo "joins: $tool is missing (scripts/setup installs it)" >&2; exit 2; }
done

mkdir -p "$work"
corpus="$work/corpus"
out="$work/out"
tmp="$work/temp"
scratch="$work/check"

# Debian's ImageMagick policy forbids writing PDF; convert gets a policy of
# its own that allows it, through the per-user configuration folder, for the
# peer's processes only. The resource limits stay the system's: a convert
# that runs out of them is a result of its own.
peer_config="$work/peer-config"
mkdir -p "$peer_config/ImageMagick"
cat >"$peer_config/ImageMagick/policy.xml" <<'EOF'
<policymap>
  <policy domain="coder" rights="read|write" pattern="PDF" />
</policymap>
EOF

# ---- Corpus ---------------------------------------------------------------

# The pixels of one page as a sum that does not depend on the file format:
# the same page read from a TIFF, or taken out of a PDF, gives the same sum.
pixel_sum() { "$convert" "$1" -depth 1 gray:- | md5sum | cut -c1-32; }

# Ten distinct pages; every fax of the corpus is a copy of one of them, page
# i (from 0) of page (i mod 10), so that the order of the pages of a joined
# file can be read back from their pixels. Copies cost the converters the
# same as new pages, and 500 of them take a second to make.
distinct=10
draw="$corpus/draw"
if [ ! -f "$draw/sums" ] || [ "$(wc -l <"$draw/sums")" -ne $distinct ]; then
  rm -rf "$corpus"
  mkdir -p "$draw"
  for ((d = 0; d < distinct; d++)); do
    # A fax page of typed-looking text at the resolution of an office scanner.
    LC_ALL=C awk -v seed=$((d + 1)) -v width=2480 -v height=3508 -v dot=4 -v margin=150 \
      -v top=180 -v gap=20 -f "$top/bench/fax_page.awk" >"$draw/page.pbm"
    # One strip of 3508 rows, as a fax server writes a page.
    "$convert" "$draw/page.pbm" -units PixelsPerInch -density 300x300 -compress Group4 \
      -define tiff:rows-per-strip=3508 "$draw/fax-$d.tif"
    pixel_sum "$draw/fax-$d.tif" >>"$draw/sums.new"
  done
  rm "$draw/page.pbm"
  mv "$draw/sums.new" "$draw/sums"
  strips=$(/usr/bin/tiffinfo "$draw/fax-0.tif" 2>/dev/null | awk '/Rows\/Strip/ { print $2 }')
  [ "$strips" = 3508 ] || { echo "joins: the corpus pages are not single-strip" >&2; exit 1; }
fi
mapfile -t sums <"$draw/sums"

# faxes FOLDER COUNT: COUNT one-page faxes fax-0001.tif ... in FOLDER, kept
# when the folder holds that many already.
faxes() {
  local folder=$1 count=$2 i
  if [ -d "$folder" ] && [ "$(find "$folder" -name '*.tif' | wc -l)" -eq "$count" ]; then
    return
  fi
  rm -rf "$folder"
  mkdir -p "$folder"
  for ((i = 0; i < count; i++)); do
    cp "$draw/fax-$((i % distinct)).tif" "$(printf '%s/fax-%04d.tif' "$folder" $((i + 1)))"
  done
}

# ---- Checks of the outputs ------------------------------------------------
# Each prints nothing for a right output, else one line saying what is wrong.

# The pages whose pixels are compared: the first ten (every distinct page in
# its place) and the last.
checked_pages() {
  local n=$1 k
  for ((k = 1; k <= n && k <= distinct; k++)); do echo $k; done
  [ "$n" -le $distinct ] || echo "$n"
}

# expect_order PAGE FAX SUM: the page whose pixels sum to SUM holds those of
# the corpus's fax-FAX.tif.
expect_order() {
  [ "$3" = "${sums[$((($2 - 1) % distinct))]}" ] || printf 'page %d is not fax-%04d.tif\n' "$1" "$2"
}

# check_pdf FILE PAGES [FIRST]: PAGES pages of A4, each one Group 4 image,
# in order from fax FIRST of the corpus (default 1). What is wrong is said
# after the file's name.
check_pdf() {
  local wrong
  wrong=$(pdf_fault "$@")
  [ -z "$wrong" ] || echo "${1##*/}: $wrong"
}
pdf_fault() {
  local file=$1 n=$2 first=${3:-1} pages images sizes k wrong
  pages=$(/usr/bin/pdfinfo "$file" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  [ "${pages:-0}" -eq "$n" ] || { echo "${pages:-no} pages, not $n"; return; }
  # Columns of -list: page, num, type, width, height, color, comp, bpc, enc.
  images=$(/usr/bin/pdfimages -list "$file" 2>/dev/null | awk -v n="$n" '
    NR > 2 { count[$1]++; if ($9 != "ccitt") other = other " " $1 ":" $9 }
    END { for (p = 1; p <= n; p++) if (count[p] != 1) { print "page " p " holds " count[p] + 0 " images"; exit }
          if (other != "") print "not Group 4 (page:coding):" substr(other, 1, 60) }')
  [ -z "$images" ] || { echo "$images"; return; }
  # A4 is 595.28 x 841.89 points; a resolution rounded in the file moves it
  # by less than a point.
  sizes=$(/usr/bin/pdfinfo -f 1 -l "$n" "$file" 2>/dev/null | awk '
    /^Page +[0-9]+ size:/ { if ($4 < 594 || $4 > 597 || $6 < 840.5 || $6 > 843.5) { print "page " $2 " is " $4 " x " $6 " pt, not A4"; exit } }')
  [ -z "$sizes" ] || { echo "$sizes"; return; }
  for k in $(checked_pages "$n"); do
    rm -rf "$scratch" && mkdir -p "$scratch"
    /usr/bin/pdfimages -f "$k" -l "$k" -png "$file" "$scratch/page"
    wrong=$(expect_order "$k" $((first + k - 1)) "$(pixel_sum "$scratch/page-000.png")")
    [ -z "$wrong" ] || { echo "$wrong"; return; }
  done
}

# check_tiff FILE PAGES [GROUP]: PAGES directories of 2480 x 3508 at 300 dpi,
# CCITT Group GROUP (default 4), in order; what is wrong after the file's name.
check_tiff() {
  local wrong
  wrong=$(tiff_fault "$@")
  [ -z "$wrong" ] || echo "${1##*/}: $wrong"
}
tiff_fault() {
  local file=$1 n=$2 group=${3:-4} wrong k
  wrong=$(/usr/bin/tiffinfo "$file" 2>/dev/null | awk -v n="$n" -v group="$group" '
    /^TIFF Directory/ { dirs++ }
    /Image Width: 2480 Image Length: 3508/ { size++ }
    /Resolution: 300, 300 pixels\/inch/ { dpi++ }
    $0 ~ "Compression Scheme: CCITT Group " group "$" { coded++ }
    END { if (dirs != n) print dirs + 0 " pages, not " n
          else if (coded != n) print n - coded " of " n " pages not Group " group
          else if (size != n) print n - size " of " n " pages not 2480 x 3508"
          else if (dpi != n) print n - dpi " of " n " pages not at 300 dpi" }')
  [ -z "$wrong" ] || { echo "$wrong"; return; }
  for k in $(checked_pages "$n"); do
    wrong=$(expect_order "$k" "$k" "$(pixel_sum "${file}[$((k - 1))]")")
    [ -z "$wrong" ] || { echo "$wrong"; return; }
  done
}

# One joined file, and nothing else of its kind, in the output folder.
the_one() {  # the_one EXTENSION
  local found
  found=$(find "$out" -maxdepth 1 -name "*.$1")
  if [ "$(printf '%s' "$found" | grep -c .)" -ne 1 ]; then
    echo "$(printf '%s' "$found" | grep -c .) .$1 files in the output folder, not 1" >&2
    return 1
  fi
  echo "$found"
}
check_joined_pdf() { local f; f=$(the_one pdf 2>&1) || { echo "$f"; return; }; check_pdf "$f" "$1"; }
check_joined_tiff() { local f; f=$(the_one tif 2>&1) || { echo "$f"; return; }; check_tiff "$f" "$1"; }
check_joined_g3() { local f; f=$(the_one tif 2>&1) || { echo "$f"; return; }; check_tiff "$f" "$1" 3; }

# Every source of the folder has its one-page PDF, of the same name; the
# first ten are compared pixel for pixel.
check_single_pdfs() {
  local n=$1 k file wrong
  [ "$(find "$out" -maxdepth 1 -name '*.pdf' | wc -l)" -eq "$n" ] ||
    { echo "$(find "$out" -maxdepth 1 -name '*.pdf' | wc -l) PDF files, not $n"; return; }
  for ((k = 1; k <= n; k++)); do
    file=$(printf '%s/fax-%04d.pdf' "$out" $k)
    [ -f "$file" ] || { echo "no ${file##*/}"; return; }
    if [ $k -le $distinct ]; then
      wrong=$(check_pdf "$file" 1 $k)
    else
      wrong=$(/usr/bin/pdfimages -list "$file" 2>/dev/null |
        awk -v f="${file##*/}" 'NR > 2 { n++; if ($9 != "ccitt") print f ": not Group 4 but " $9 } END { if (n != 1) print f ": " n + 0 " images" }')
    fi
    [ -z "$wrong" ] || { echo "$wrong"; return; }
  done
}

# ---- Timing ---------------------------------------------------------------

results="$work/results.md"
raw="$work/raw.txt"
: >"$raw"
engine_failed=0

# measure NAME PAGES CHECK COMMAND...: one timed run into an empty output
# folder, then CHECK PAGES on what it wrote (not timed). Appends
# "NAME<tab>PAGES<tab>wall<tab>CPU<tab>peak KB" to $raw, or for a run that
# exits non-zero, names an unconverted file in the engine's report or fails
# its check "NAME<tab>PAGES<tab>failed<tab>REASON": a failed run has no figure,
# and the bench goes on with the next. $prepare, when set, names a command run
# in the emptied folders before the clock starts.
prepare=""
measure() {
  local name=$1 pages=$2 check=$3 timing="$work/time.txt" log="$work/last.log" reason="" line
  shift 3
  rm -rf "$out" "$tmp"
  mkdir -p "$out" "$tmp"
  [ -z "$prepare" ] || $prepare
  if ! /usr/bin/time -f '%e %U %S %M' -o "$timing" "$@" >"$log" 2>&1; then
    # Its first message, or for one that says nothing how it ended
    # ("Command exited with non-zero status N", "... terminated by signal N").
    reason=$(grep -m1 . "$log" || grep -m1 '^Command' "$timing" || echo "ended without a message")
  elif reason=$(grep -hsm1 -E 'Could not convert|cannot be read' "$tmp"/*.log) && [ -n "$reason" ]; then
    :
  else
    reason=$($check "$pages") || true
  fi
  if [ -n "$reason" ]; then
    # Paths of this bench say nothing in a table; the file names do.
    reason="${reason//"$work/"/} (after $(tail -n1 "$timing" | cut -d' ' -f1) s)"
    printf '%s\t%s\tfailed\t%s\n' "$name" "$pages" "$reason" >>"$raw"
    printf '  %-40s failed: %s\n' "$name" "$reason"
    case $name in *engine*) engine_failed=1 ;; esac
    return
  fi
  line=$(tail -n1 "$timing" |
    awk -v name="$name" -v pages="$pages" '{ printf "%s\t%d\t%.2f\t%.2f\t%d", name, pages, $1, $2 + $3, $4 }')
  echo "$line" >>"$raw"
  awk -F'\t' '{ printf "  %-40s %8.2f s wall %8.2f s CPU %6d MB %8.1f ms CPU a page\n", $1, $3, $4, $5 / 1024, 1000 * $4 / $2 }' <<<"$line"
}

# The runs of one comparison, in turn, the order turned at every comparison
# so that a machine that gets busier or quieter favours no side.
flip=0
compare() {  # compare PAGES CHECK NAME "COMMAND" NAME "COMMAND" ...
  local pages=$1 check=$2 i
  shift 2
  local names=() commands=()
  while [ $# -gt 0 ]; do names+=("$1"); commands+=("$2"); shift 2; done
  if [ $flip -eq 0 ]; then
    for ((i = 0; i < ${#names[@]}; i++)); do measure "${names[i]}" "$pages" "$check" bash -c "${commands[i]}"; done
  else
    for ((i = ${#names[@]} - 1; i >= 0; i--)); do measure "${names[i]}" "$pages" "$check" bash -c "${commands[i]}"; done
  fi
  flip=$((1 - flip))
}

# The job file of a run: the settings a front-end user picks to join every
# fax of a folder into one file (adjoin on), or, for the one-file-per-page
# runs, to write one PDF per source. Lines end in CRLF as the settings
# program writes them.
write_job() {  # write_job FILE SOURCE_FOLDER IMAGE_TYPE ADJOIN [TIFF_COMPRESSION]
  printf '[FOLDERS]\r\nsource=%s\r\ntarget=%s\r\ntemp=%s\r\n' "$2" "$out" "$tmp" >"$1"
  printf '[PARAMS]\r\nimage_type=%s\r\nrecurse=0\r\nextract_all=1\r\nsize=\r\n' "$3" >>"$1"
  # TIFF compression 2 and PDF compression 1 are Group 4; TIFF 1 is Group 3.
  printf '[TIFF]\r\nadjoin=%s\r\ncompression_type=%s\r\ndpi=300\r\ncolorspace=0\r\ntif_name=joined\r\n' "$4" "${5:-2}" >>"$1"
  printf '[PDF]\r\nadjoin=%s\r\ncompression_type=1\r\nletter_type=1\r\npdf_name=joined\r\n' "$4" >>"$1"
  printf '[REPORT]\r\ncreate_report=1\r\nuse_tiff_name=0\r\n' >>"$1"
}

# A batch run joins into one TIFF the files listed in the temporary folder's
# file list (z.log, section [FILES], keys 0, 1, ...). The engine writes that
# list itself only for a joined PDF; for a TIFF the caller writes it, and
# without it the run writes nothing. The bench writes it as a front end
# would, before the clock starts.
file_list_of=""
write_file_list() {
  local i=0 f
  {
    printf '[FILES]\r\n'
    for f in "$file_list_of"/*.tif; do printf '%d=%s\r\n' $i "$f"; i=$((i + 1)); done
  } >"$tmp/z.log"
}

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/^Mem:/ { print $2 }') GB"
echo "== engine: $engine"
echo "== corpus: $distinct distinct one-page Group 4 faxes, 2480 x 3508 at 300 dpi, in $corpus"
peer_env="XDG_CONFIG_HOME='$peer_config'"
for n in "${page_counts[@]}"; do
  src="$corpus/faxes-$n"
  faxes "$src" "$n"
  label=$(printf '%03d' "$n")

  if wanted pdf; then
    echo "== $n faxes joined into one PDF"
    job="$work/job-pdf-$n.ini"
    write_job "$job" "$src" 6 1
    compare "$n" check_joined_pdf \
      "pdf join $label engine" "'$engine' 'C|$job' >/dev/null" \
      "pdf join $label tiff2pdf+qpdf" \
      "for f in '$src'/*.tif; do b=\${f##*/}; $tiff2pdf -o '$tmp'/\"\${b%.tif}.pdf\" \"\$f\" || exit; done
       $qpdf --empty --pages '$tmp'/*.pdf -- '$out/joined.pdf'" \
      "pdf join $label convert" "$peer_env $convert '$src'/*.tif -compress Group4 '$out/joined.pdf'"
  fi

  # Only the engine's TIFF runs need the list; the peers' runs leave it unread.
  prepare=write_file_list file_list_of=$src
  if wanted tif; then
    echo "== $n faxes joined into one Group 4 TIFF"
    job="$work/job-tif-$n.ini"
    write_job "$job" "$src" 11 1
    compare "$n" check_joined_tiff \
      "tif join $label engine" "'$engine' 'C|$job' >/dev/null" \
      "tif join $label tiffcp" "$tiffcp -c g4 '$src'/*.tif '$out/joined.tif'" \
      "tif join $label convert" "$peer_env $convert '$src'/*.tif -compress Group4 '$out/joined.tif'"
  fi
  if wanted g3; then
    # convert is left out: it fails on these pages as it does for Group 4.
    echo "== $n faxes joined into one Group 3 TIFF"
    job="$work/job-g3-$n.ini"
    write_job "$job" "$src" 11 1 1
    compare "$n" check_joined_g3 \
      "g3 join $label engine" "'$engine' 'C|$job' >/dev/null" \
      "g3 join $label tiffcp" "$tiffcp -c g3 '$src'/*.tif '$out/joined.tif'"
  fi
  prepare=""
done

if wanted single; then
  echo "== $single one-page faxes to PDF, one process per file"
  src="$corpus/single-$single"
  faxes "$src" "$single"
  job="$work/job-pdf-single.ini"
  write_job "$job" "$src" 6 0
  label=$(printf '%03d' "$single")
  compare "$single" check_single_pdfs \
    "pdf single $label engine" \
    "for f in '$src'/*.tif; do b=\${f##*/}; '$engine' \"G|\$f|$out/\${b%.tif}.pdf|$job\" >/dev/null || exit; done" \
    "pdf single $label tiff2pdf" \
    "for f in '$src'/*.tif; do b=\${f##*/}; $tiff2pdf -o '$out'/\"\${b%.tif}.pdf\" \"\$f\" || exit; done" \
    "pdf single $label img2pdf" \
    "for f in '$src'/*.tif; do b=\${f##*/}; $img2pdf -o '$out'/\"\${b%.tif}.pdf\" \"\$f\" || exit; done"
fi
rm -rf "$scratch"

# Summary: every run with its cost a page, then the ratio engine/peer of each
# comparison (below 1: the engine is faster or smaller); "failed" where a side
# has no figure, "too short" where the peer ran too briefly to time.
awk -F'\t' '
  function cell(s) { gsub(/\|/, "\\|", s); return s }
  # A comparison is a run name without its last word; its runs are listed
  # engine first, then the peers by name, whichever ran first.
  { k = $1; pages[k] = $2; base = k; sub(/ [^ ]+$/, "", base)
    if (!(base in members)) { bases[nb++] = base; members[base] = "" }
    if (k ~ / engine$/) members[base] = k SUBSEP members[base]; else members[base] = members[base] k SUBSEP
    if ($3 == "failed") { failed[k] = $4 } else { wall[k] = $3; cpu[k] = $4; peak[k] = $5 } }
  function ratio(a, b,   label) {
    if (!(a in pages) || !(b in pages)) return
    label = a; sub(/ engine$/, "", label)
    label = label ": engine/" w[split(b, w, " ")]
    if ((a in failed) || (b in failed))
      printf "| %s | failed | failed | failed |\n", label
    else if (wall[b] <= 0 || cpu[b] <= 0 || peak[b] <= 0)
      printf "| %s | too short | too short | too short |\n", label
    else
      printf "| %s | %.2f | %.2f | %.2f |\n", label, wall[a] / wall[b], cpu[a] / cpu[b], peak[a] / peak[b] }
  END {
    for (b = 0; b < nb; b++) {
      m = split(members[bases[b]], list, SUBSEP)
      for (j = 3; j <= m; j++)
        for (i = j; i > 2 && list[i] < list[i - 1]; i--) { t = list[i]; list[i] = list[i - 1]; list[i - 1] = t }
      for (j = 1; j <= m; j++) if (list[j] != "") order[n++] = list[j]
    }
    print "| run | pages | wall s | CPU s | peak MB | wall ms a page | CPU ms a page |"
    print "|---|---:|---:|---:|---:|---:|---:|"
    for (i = 0; i < n; i++) {
      k = order[i]
      if (k in failed) printf "| %s | %d | failed | failed | failed | failed | failed |\n", k, pages[k]
      else printf "| %s | %d | %.2f | %.2f | %.0f | %.1f | %.1f |\n", k, pages[k], wall[k], cpu[k], peak[k] / 1024,
        1000 * wall[k] / pages[k], 1000 * cpu[k] / pages[k]
    }
    print ""
    print "| comparison | wall engine/peer | CPU engine/peer | peak memory engine/peer |"
    print "|---|---:|---:|---:|"
    for (i = 0; i < n; i++) {
      k = order[i]
      if (k !~ / engine$/) continue
      base = k; sub(/ engine$/, "", base)
      for (j = 0; j < n; j++)
        if (order[j] != k && index(order[j], base " ") == 1) ratio(k, order[j])
    }
    first = 1
    for (i = 0; i < n; i++) {
      k = order[i]
      if (!(k in failed)) continue
      if (first) { print ""; print "Failed runs:"; print ""; first = 0 }
      printf "- %s: %s\n", k, cell(failed[k])
    }
  }' "$raw" >"$results"
echo
cat "$results"
exit $engine_failed
