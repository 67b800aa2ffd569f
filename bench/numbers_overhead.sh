#!/usr/bin/env bash
# What page numbers cost on top of the watermark: zorvane IN OUT -wm WM against the same with
# -nbp, on documents of 20,000 and 200,000 pages made by gen_pages.py, each run RUNS times in
# turn (so that a busy machine weighs on both alike). Prints a Markdown table of the medians of
# wall time and of CPU time (user + system, which counts the worker thread too), with numbers
# compressed on a worker (the default) and on the main thread alone (ZORVANE_THREADS=1).
# gen_pages.py pages hold almost no content, so the scan of each page's content before its
# number costs next to nothing there: PAGES_FROM=bench-peers takes the text pages of the
# bench-peers harness instead (about 1.5 KB of content a page; bench/numbers_real.sh measures
# those against mutool too).
#
#   bench/numbers_overhead.sh [[LABEL=]ZORVANE...]   # default: a Release build in $SCRATCH/build
#
# A binary that predates the worker (LABEL "before", say) is measured with its one thread only:
# THREADS_OF_<LABEL>="2" leaves the single-thread rows out for it.
# Environment: SCRATCH [$TMPDIR/zorvane-numbers-overhead], PAGES [20000 200000], RUNS [5],
# WM (the watermark) [a 200x100 pt page made here], PAGES_FROM [gen_pages, or bench-peers],
# BENCH_PEERS (the harness with gen_inputs.py) [../shared/bench-peers beside the tree].
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-numbers-overhead}
PAGES=${PAGES:-20000 200000}
RUNS=${RUNS:-5}
mkdir -p "$SCRATCH"
if [ $# -eq 0 ]; then
  cmake -S "$ROOT" -B "$SCRATCH/build" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$SCRATCH/build" -j2 --target zorvane >/dev/null
  set -- "$SCRATCH/build/zorvane"
fi
WM=${WM:-$SCRATCH/wm.pdf}
if [ ! -f "$WM" ]; then
  printf '%s\n' '%!PS' '<< /PageSize [200 100] >> setpagedevice' \
    '/Helvetica findfont 24 scalefont setfont 20 40 moveto (WATERMARK) show' \
    '0.5 setgray 4 setlinewidth 5 5 190 90 rectstroke showpage' >"$SCRATCH/wm.ps"
  ps2pdf "$SCRATCH/wm.ps" "$WM"
fi
if [ "${PAGES_FROM:-gen_pages}" = bench-peers ]; then
  # Made in a directory of their own (the generator keeps what it made before).
  SCRATCH=$SCRATCH/bench-peers
  mkdir -p "$SCRATCH"
  /usr/bin/python3 "${BENCH_PEERS:-$ROOT/../shared/bench-peers}/gen_inputs.py" "$SCRATCH" \
    --sizes "$(echo $PAGES | tr ' ' ,)" --heavy-pages 0 >/dev/null
fi
for n in $PAGES; do
  [ -f "$SCRATCH/doc_$n.pdf" ] || python3 "$ROOT/bench/gen_pages.py" "$n" "$SCRATCH/doc_$n.pdf"
done

# one BINARY THREADS ARGS...: "wall cpu" of one run.
one() {
  local binary=$1 threads=$2
  shift 2
  ZORVANE_THREADS=$threads /usr/bin/time -f "%e %U %S" -o "$SCRATCH/time" "$binary" "$@" -l "" ||
    { echo "run failed: $binary $*" >&2; exit 1; }
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$SCRATCH/time"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "| binary | pages | threads | watermark s (cpu s) | watermark + numbers s (cpu s) | ratio wall | ratio cpu |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for job in "$@"; do
  label=${job%%=*} binary=${job#*=}
  [ "$label" != "$job" ] || label=$(basename "$(dirname "$binary")")
  threads_var=THREADS_OF_$label
  for n in $PAGES; do
    for threads in ${!threads_var:-2 1}; do
      : >"$SCRATCH/wm.t"
      : >"$SCRATCH/nb.t"
      for _ in $(seq "$RUNS"); do
        one "$binary" "$threads" "$SCRATCH/doc_$n.pdf" "$SCRATCH/out.pdf" -wm "$WM" >>"$SCRATCH/wm.t"
        one "$binary" "$threads" "$SCRATCH/doc_$n.pdf" "$SCRATCH/out.pdf" -wm "$WM" -nbp \
          -nbf n,%s,H,9 -nbs 8,0,4.2817 >>"$SCRATCH/nb.t"
      done
      ww=$(cut -d' ' -f1 "$SCRATCH/wm.t" | median) wc=$(cut -d' ' -f2 "$SCRATCH/wm.t" | median)
      nw=$(cut -d' ' -f1 "$SCRATCH/nb.t" | median) nc=$(cut -d' ' -f2 "$SCRATCH/nb.t" | median)
      printf '| %s | %s | %s | %.2f (%.2f) | %.2f (%.2f) | %.2f | %.2f |\n' "$label" \
        "$n" "$threads" "$ww" "$wc" "$nw" "$nc" "$(echo "$nw / $ww" | bc -l)" "$(echo "$nc / $wc" | bc -l)"
    done
  done
done
rm -f "$SCRATCH/out.pdf"
