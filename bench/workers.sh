#!/usr/bin/env bash
# Times batch runs on every core against the same runs one file at a time and
# against mogrify: one-page faxes and RGB scans to PNG, TIFF and PDF. Checks
# that the two engine runs leave the same outputs and the same report (dates
# masked). What is compared and why is in bench/README.md.
#
#   bench/workers.sh [--engine PATH] [--faxes N] [--scans N] [--work DIR]
#
#   --engine PATH  the engine to time (default build/release/bin/Zembrit_Quarnel,
#                  built with the release preset when it is missing)
#   --faxes N      one-page Group 4 faxes (default 40)
#   --scans N      A4 RGB scans at 300 dpi (default 10)
#   --work DIR     corpus, outputs and figures (default build/bench/workers)
#
# Prints every run as it ends, then the table, also written to DIR/results.md.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

engine="" faxes=40 scans=10 work="$top/build/bench/workers"
while [ $# -gt 0 ]; do
  case "$1" in
    --engine) engine=$(absolute "$2"); shift 2 ;;
    --faxes) faxes=$2; shift 2 ;;
    --scans) scans=$2; shift 2 ;;
    --work) work=$(absolute "$2"); shift 2 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "workers: unknown argument $1" >&2; exit 2 ;;
  esac
done
for n in "$faxes" "$scans"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "workers: not a file count: $n" >&2; exit 2; }
done

cd "$top"
. bench/release_engine.sh
release_engine workers

corpus="$work/corpus"
bench/make_corpus.sh "$corpus" "$faxes" 0 1 "$scans"
out="$work/out" tmp="$work/temp" kept="$work/kept"
# Debian's policy forbids PDF to ImageMagick's tools; mogrify alone gets one
# that allows it (the engine installs its own).
mkdir -p "$work/peer-config/ImageMagick"
printf '<policymap>\n  <policy domain="coder" rights="read|write" pattern="PDF" />\n</policymap>\n' \
  >"$work/peer-config/ImageMagick/policy.xml"

# write_job FILE KIND TARGET_CODE JOBS: one output per page, a shared report.
write_job() {
  local dpi=300 pdf=3
  [ "$2" = fax-single ] && dpi=204 pdf=1
  {
    printf '[FOLDERS]\r\nsource=%s\r\ntarget=%s\r\ntemp=%s\r\n' "$corpus/$2" "$out" "$tmp"
    printf '[PARAMS]\r\nimage_type=%s\r\nrecurse=0\r\nextract_all=1\r\nsize=\r\njobs=%s\r\n' "$3" "$4"
    printf '[TIFF]\r\nadjoin=0\r\ncompression_type=2\r\ndpi=%s\r\ncolorspace=0\r\n' "$dpi"
    printf '[PDF]\r\nadjoin=0\r\ncompression_type=%s\r\nletter_type=1\r\n' "$pdf"
    printf '[PNG]\r\nquality=75\r\nprogressive=0\r\n'
    printf '[REPORT]\r\ncreate_report=1\r\nuse_tiff_name=0\r\n'
  } >"$1"
}

raw="$work/raw.txt"
: >"$raw"
# measure NAME COMMAND...: wall and CPU time, peak memory of the largest process.
measure() {
  local name=$1
  shift
  rm -rf "$out" "$tmp"
  mkdir -p "$out" "$tmp"
  if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$work/last.log" 2>&1 ||
    [ -z "$(ls -A "$out")" ] || grep -qsE 'Could not convert|cannot be read' "$tmp"/*.log; then
    echo "workers: $name failed:" >&2
    cat "$work/last.log" "$tmp"/*.log >&2 2>/dev/null
    exit 1
  fi
  awk -v name="$name" '{ printf "%s\t%.2f\t%.2f\t%d\n", name, $1, $2 + $3, $4 / 1024 }' \
    "$work/time.txt" | tee -a "$raw" |
    awk -F'\t' '{ printf "  %-34s %8.2f s wall %8.2f s CPU %6d MB\n", $1, $2, $3, $4 }'
}

# What a run left, without the time of writing: every output's digest once
# its dates (and a PDF's identifier, a digest of them) are masked, a PNG's
# pixels and resolution (its time chunks are binary), and the report without
# its date line.
fingerprint() {
  local file
  for file in "$out"/*; do
    case $file in
      *.png) identify -format "${file##*/} %# %wx%h %x %y\n" "$file" ;;
      *) echo "${file##*/} $(perl -0777 -pe 's/\d{4}[-:]\d\d[-:]\d\d[T ]\d\d:\d\d:\d\d|D:\d{14}|\/ID \[<\w+><\w+>\]/<date>/g' "$file" | md5sum)" ;;
    esac
  done
  sed -E 's/^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [0-9]{4}/<date>/' "$tmp/Zembrit_Quarnel.log"
}

declare -A code=([png]=7 [tif]=11 [pdf]=6)
declare -A mogrify_options=([png]="-quality 75" [tif]="-compress Group4" [pdf]="-compress Group4")
echo "== machine: $(nproc) cores, $(free -g | awk '/^Mem:/ { print $2 }') GB; $faxes faxes, $scans scans"
status=0
for kind in fax-single rgb; do
  for target in png tif pdf; do
    dpi=204
    [ $kind = rgb ] && dpi=300
    options=${mogrify_options[$target]}
    [ $target = tif ] && options="-density ${dpi}x$dpi $options"
    [ $target = pdf ] && [ $kind = rgb ] && options="-compress JPEG"
    for jobs in 1 0; do
      write_job "$work/job-$jobs.ini" $kind "${code[$target]}" $jobs
      measure "$kind $target engine jobs=$jobs" "$engine" "C|$work/job-$jobs.ini"
      fingerprint >"$work/fingerprint-$jobs.txt"
    done
    if ! cmp -s "$work/fingerprint-1.txt" "$work/fingerprint-0.txt"; then
      echo "workers: $kind $target: outputs or report differ between jobs=1 and jobs=0" >&2
      status=1
    fi
    # shellcheck disable=SC2086  # the options are words
    measure "$kind $target mogrify" env XDG_CONFIG_HOME="$work/peer-config" \
      /usr/bin/mogrify -path "$out" -format $target $options "$corpus/$kind"/*.tif
  done
done

{
  echo "| kind, target | all cores / jobs=1 (wall) | all cores / mogrify (wall) | peak MB jobs=1 / all cores |"
  echo "|---|---:|---:|---:|"
  awk -F'\t' '
    { split($1, f, " "); key = f[1] " " f[2]; run = f[3] " " f[4]
      wall[key, run] = $2; mem[key, run] = $4; if (!(key in seen)) { seen[key] = 1; order[n++] = key } }
    END { for (i = 0; i < n; i++) { k = order[i]
      printf "| %s | %.2f | %.2f | %d / %d |\n", k, wall[k, "engine jobs=0"] / wall[k, "engine jobs=1"],
        wall[k, "engine jobs=0"] / wall[k, "mogrify "], mem[k, "engine jobs=1"], mem[k, "engine jobs=0"] } }' "$raw"
} | tee "$work/results.md"
exit $status
