#!/usr/bin/env bash
# Cost of Japanese page numbers: numbers every page of a 20,000-page document (bench/gen_pages.py)
# in HeiseiMin-W3 and, in the same run, in Helvetica, alternating the two, and prints the median
# wall time of each and their ratio. A release zorvane is built in a scratch folder first.
#
#   bench/japanese_numbers.sh                   # 20,000 pages, 5 runs each
#   PAGES=1000 RUNS=3 bench/japanese_numbers.sh
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-bench-japanese}
BUILD_DIR=${BUILD_DIR:-$SCRATCH/build}
PAGES=${PAGES:-20000}
RUNS=${RUNS:-5}
case "$SCRATCH" in "$ROOT" | "$ROOT"/*) echo "SCRATCH must lie outside the repository" >&2; exit 2 ;; esac
mkdir -p "$SCRATCH"

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target zorvane >/dev/null
ZORVANE=$BUILD_DIR/zorvane
INPUT=$SCRATCH/doc_$PAGES.pdf
[ -f "$INPUT" ] || python3 "$ROOT/bench/gen_pages.py" "$PAGES" "$INPUT"

# seconds FONT FORMAT: wall time of one numbering run.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$ZORVANE" "$INPUT" "$SCRATCH/out.pdf" -nbp -nbf "n,$2,$1,10" -l "" || { echo "run failed: $1" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

heisei=()
helvetica=()
for ((i = 0; i < RUNS; i++)); do
  heisei+=("$(seconds HeiseiMin-W3 '第%s頁')")
  helvetica+=("$(seconds Helvetica 'Page %s')")
done
python3 - "$PAGES" "${heisei[*]}" "${helvetica[*]}" <<'PY'
import statistics, sys
pages, heisei, helvetica = sys.argv[1], [float(v) for v in sys.argv[2].split()], [float(v) for v in sys.argv[3].split()]
a, b = statistics.median(heisei), statistics.median(helvetica)
print("%s pages: HeiseiMin-W3 %.3f s, Helvetica %.3f s (medians of %d), ratio %.3f"
      % (pages, a, b, len(heisei), a / b))
PY
