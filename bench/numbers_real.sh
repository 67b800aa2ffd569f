#!/usr/bin/env bash
# Page numbers on realistic text pages (about 1.5 KB of content each, made by a real producer:
# the bench-peers inputs), where the scan of each page's content before its number counts:
# zorvane -wm, -nbp and -wm -nbp against mutool drawing the same numbers, at 20,000 and 200,000
# pages, all in one run and in turn (so that a busy machine weighs on every job alike). Prints
# a Markdown table of the medians of CPU time (user + system, the worker thread included), wall
# time and peak RSS, the ratios the targets name, and the load average before and after.
#
#   bench/numbers_real.sh [[LABEL=]ZORVANE...]   # default: build/zorvane of this tree
#
# Environment: INPUTS (where the inputs are made, or found when already there)
# [$TMPDIR/zorvane-numbers-real], PAGES [20000 200000], RUNS [5], BENCH_PEERS (the harness
# with gen_inputs.py and peers/mutool_stamp.js) [../shared/bench-peers beside the tree],
# MUTOOL [mutool; "none" leaves it out].
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
INPUTS=${INPUTS:-${TMPDIR:-/tmp}/zorvane-numbers-real}
PAGES=${PAGES:-20000 200000}
RUNS=${RUNS:-5}
BENCH_PEERS=${BENCH_PEERS:-$ROOT/../shared/bench-peers}
MUTOOL=${MUTOOL:-mutool}
[ $# -gt 0 ] || set -- "$ROOT/build/zorvane"
mkdir -p "$INPUTS"
sizes=$(echo $PAGES | tr ' ' ,)
# The generator keeps what it made before: a second run costs nothing.
/usr/bin/python3 "$BENCH_PEERS/gen_inputs.py" "$INPUTS" --sizes "$sizes" --heavy-pages 0 >/dev/null
[ "$MUTOOL" = none ] || command -v "$MUTOOL" >/dev/null || MUTOOL=none
OUT=$INPUTS/out.pdf
TIMES=$INPUTS/times

# one KEY COMMAND...: appends "KEY cpu wall rss" of one run to $TIMES.
one() {
  local key=$1
  shift
  /usr/bin/time -f "%U %S %e %M" -o "$INPUTS/time" "$@" >/dev/null 2>&1 ||
    { echo "run failed: $*" >&2; exit 1; }
  awk -v key="$key" '{ printf "%s %.3f %.3f %.1f\n", key, $1 + $2, $3, $4 / 1000 }' \
    "$INPUTS/time" >>"$TIMES"
}
# median KEY FIELD: the median of one column of a key's runs.
median() {
  awk -v key="$1" -v f="$2" '$1 == key { print $f }' "$TIMES" | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
: >"$TIMES"
for n in $PAGES; do
  doc=$INPUTS/doc_$n.pdf
  for _ in $(seq "$RUNS"); do
    for job in "$@"; do
      label=${job%%=*} binary=${job#*=}
      [ "$label" != "$job" ] || label=zorvane
      one "$label/wm/$n" "$binary" "$doc" "$OUT" -wm "$INPUTS/wm.pdf" -l ""
      one "$label/nbp/$n" "$binary" "$doc" "$OUT" -nbp -l ""
      one "$label/both/$n" "$binary" "$doc" "$OUT" -wm "$INPUTS/wm.pdf" -nbp -l ""
    done
    [ "$MUTOOL" = none ] ||
      one "mutool/numbers/$n" "$MUTOOL" run "$BENCH_PEERS/peers/mutool_stamp.js" numbers "$doc" "$OUT"
  done
done
rm -f "$OUT"

echo "| pages | tool | job | CPU s | wall s | peak RSS MB |"
echo "|---:|---|---|---:|---:|---:|"
keys=$(awk '{ print $1 }' "$TIMES" | awk '!seen[$0]++')
for key in $keys; do
  IFS=/ read -r tool job n <<<"$key"
  printf '| %s | %s | %s | %s | %s | %s |\n' "$n" "$tool" "$job" "$(median "$key" 2)" \
    "$(median "$key" 3)" "$(median "$key" 4)"
done
echo
echo "| pages | tool | watermark + numbers / watermark, CPU (wall) | numbers / mutool numbers, CPU (wall) |"
echo "|---:|---|---:|---:|"
for n in $PAGES; do
  for job in "$@"; do
    label=${job%%=*}
    [ "$label" != "$job" ] || label=zorvane
    both="$label/both/$n" wm="$label/wm/$n" nbp="$label/nbp/$n" mu="mutool/numbers/$n"
    versus_mutool="—"
    if [ "$MUTOOL" != none ]; then
      versus_mutool="$(ratio "$(median "$nbp" 2)" "$(median "$mu" 2)") ($(ratio "$(median "$nbp" 3)" "$(median "$mu" 3)"))"
    fi
    printf '| %s | %s | %s (%s) | %s |\n' "$n" "$label" \
      "$(ratio "$(median "$both" 2)" "$(median "$wm" 2)")" \
      "$(ratio "$(median "$both" 3)" "$(median "$wm" 3)")" "$versus_mutool"
  done
done
echo
echo "Load average before: $load_before; after: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) processors, $RUNS runs each, medians)."
