#!/usr/bin/env bash
# Times the TIFF file picker's list on a large tree: "Add folder and
# subfolders" over 20,000 generated TIFF names in 200 folders, the same walk
# when every file is listed already, the column sorts, the list file, and
# the same files added one by one in four quarters (a list that slowed down
# as it grew would show it there). Run by hand; prints the figures.
#
#   bench/picker.sh [FILES [FOLDERS]]
#
# ZQ_BUILD_DIR picks a configured build folder (default: the release preset's).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${ZQ_BUILD_DIR:-}
if [ -z "$build" ]; then
  cmake --preset release >/dev/null
  build=build/release
fi
cmake --build "$build" --target zq_bench_picker >/dev/null

tree=$(mktemp -d "${TMPDIR:-/tmp}/zq_bench_picker.XXXXXX")
trap 'rm -rf "$tree"' EXIT
"$build/tools/zq_bench_picker" "$tree" "${1:-20000}" "${2:-200}"
