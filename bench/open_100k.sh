#!/usr/bin/env bash
# Opening a 100,000-page document: our Open + page count + every page's MediaBox, and our full
# rewrite, next to qpdf --show-npages and a qpdf rewrite of the same file. Wall time and peak
# memory come from /usr/bin/time -v.
#
#   bench/open_100k.sh [pages]
#
# Builds the library in Release in $BENCH_BUILD (default: build-bench beside the sources) and
# the bench program with one compile line (it is not part of the project's build). Prints a
# Markdown table; nothing is written into the source tree.
set -euo pipefail

SRC="$(cd "$(dirname "$0")/.." && pwd)"
PAGES="${1:-100000}"
BUILD="${BENCH_BUILD:-$SRC/build-bench}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

command -v qpdf >/dev/null || { echo "qpdf is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (GNU time) is needed" >&2; exit 1; }

cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quarn -j2 >/dev/null
g++ -std=c++20 -O2 -I"$SRC" "$SRC/bench/open_pages.cpp" "$BUILD/libquarn.a" \
  $(pkg-config --libs zlib libjpeg libtiff-4 libcrypto freetype2 fontconfig) -o "$WORK/open_pages"

python3 "$SRC/bench/gen_pages.py" "$PAGES" "$WORK/big.pdf"
SIZE_MB=$(awk "BEGIN{printf \"%.1f\", $(stat -c %s "$WORK/big.pdf") / 1048576}")

# measure LABEL COMMAND...: best wall time of three runs and the peak resident set of that run.
measure() {
  local label="$1" best="" peak=""
  shift
  for _ in 1 2 3; do
    /usr/bin/time -v -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" || {
      echo "$label failed: $(cat "$WORK/err")" >&2; exit 1; }
    local wall rss
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
             for (i = 1; i <= n; i++) s = s * 60 + t[i]; printf "%.2f", s }' "$WORK/time")
    rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }' "$WORK/time")
    if [ -z "$best" ] || awk "BEGIN{exit !($wall < $best)}"; then best=$wall; peak=$rss; fi
  done
  printf '| %s | %s | %s |\n' "$label" "$best" "$peak"
}

echo "$PAGES pages, $SIZE_MB MB, classic cross-reference table, balanced page tree (32 kids per node)"
echo
echo "| command | wall time (s) | peak memory (MB) |"
echo "|---|---|---|"
measure "libquarn: open, page count, every page's MediaBox" "$WORK/open_pages" "$WORK/big.pdf"
measure "qpdf --show-npages" qpdf --show-npages "$WORK/big.pdf"
measure "libquarn: the same, then a full rewrite" "$WORK/open_pages" "$WORK/big.pdf" --rewrite "$WORK/ours.pdf"
measure "qpdf rewrite (qpdf in.pdf out.pdf)" qpdf "$WORK/big.pdf" "$WORK/theirs.pdf"
qpdf --check "$WORK/ours.pdf" >/dev/null || { echo "our rewrite does not pass qpdf --check" >&2; exit 1; }
