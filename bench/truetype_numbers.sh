#!/usr/bin/env bash
# Cost of page numbers in an installed TrueType face: numbers every page of a 10-page and of a
# 20,000-page document (bench/gen_pages.py) in DejaVuSans and, in the same run, in Helvetica,
# alternating the two, and prints the median wall time of each, their difference and ratio.
# The TrueType run pays for listing the installed faces, reading one face and cutting the
# embedded subset once; the budget is 50 ms more on 10 pages and 1.1 times Helvetica's time on
# 20,000. A release zorvane is built in a scratch folder first.
#
#   bench/truetype_numbers.sh                            # 10 and 20,000 pages, 7 runs each
#   SIZES="10 1000" RUNS=3 FACE=IPAGothic FORMAT='第%s頁' bench/truetype_numbers.sh
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-bench-truetype}
BUILD_DIR=${BUILD_DIR:-$SCRATCH/build}
SIZES=${SIZES:-10 20000}
RUNS=${RUNS:-7}
FACE=${FACE:-DejaVuSans}
FORMAT=${FORMAT:-Page %s}
case "$SCRATCH" in "$ROOT" | "$ROOT"/*) echo "SCRATCH must lie outside the repository" >&2; exit 2 ;; esac
mkdir -p "$SCRATCH"

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target zorvane >/dev/null
ZORVANE=$BUILD_DIR/zorvane

# seconds INPUT FONT FORMAT: wall time and CPU time (user + system) of one numbering run; on
# a busy machine the CPU time is the steadier of the two.
seconds() {
  /usr/bin/time -f "%e,%U,%S" -o "$SCRATCH/time.txt" \
    "$ZORVANE" "$1" "$SCRATCH/out.pdf" -nbp -nbf "n,$3,$2,10" -l "" || { echo "run failed: $2" >&2; exit 1; }
  awk -F, '{ printf "%s/%.2f\n", $1, $2 + $3 }' "$SCRATCH/time.txt"
}

for pages in $SIZES; do
  input=$SCRATCH/doc_$pages.pdf
  [ -f "$input" ] || python3 "$ROOT/bench/gen_pages.py" "$pages" "$input"
  truetype=()
  helvetica=()
  for ((i = 0; i < RUNS; i++)); do
    truetype+=("$(seconds "$input" "$FACE" "$FORMAT")")
    helvetica+=("$(seconds "$input" Helvetica "$FORMAT")")
  done
  python3 - "$pages" "$FACE" "${truetype[*]}" "${helvetica[*]}" <<'PY'
import statistics, sys
pages, face = sys.argv[1], sys.argv[2]
for kind, index in (("wall", 0), ("CPU", 1)):
    tt, hv = ([float(v.split("/")[index]) for v in arg.split()] for arg in sys.argv[3:5])
    a, b = statistics.median(tt), statistics.median(hv)
    print("%s pages, %s: %s %.3f s, Helvetica %.3f s (medians of %d): %+.0f ms, ratio %s"
          % (pages, kind, face, a, b, len(tt), (a - b) * 1000, "%.3f" % (a / b) if b else "-"))
PY
done
rm -f "$SCRATCH/out.pdf" "$SCRATCH/time.txt"
