#!/usr/bin/env bash
# An image-heavy file at copy speed: the bench-peers harness's heavy_200 (200 A4 pages, a
# unique JPEG and a ~75 KB content stream each, 45.6 MB) watermarked by zorvane and by mutool,
# against the physical floor, `cp` of the same file plus one fsync (`sync FILE`). Every job runs
# RUNS times in turn (warm page cache, `sync` before each run); the median wall time is printed
# as a markdown table.
#
#   ZORVANE=/path/to/zorvane bench/run_copy.sh       # RUNS [7], SCRATCH [$TMPDIR/zorvane-copy]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PEERS_SRC=${PEERS_SRC:-$ROOT/../shared/bench-peers}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-copy}
RUNS=${RUNS:-7}
: "${ZORVANE:?path of a release zorvane binary}"
command -v mutool >/dev/null || { echo "run_copy: mutool missing (apt-get install mupdf-tools)" >&2; exit 2; }
mkdir -p "$SCRATCH/inputs"
[ -f "$SCRATCH/inputs/heavy_200.pdf" ] ||
  /usr/bin/python3 "$PEERS_SRC/gen_inputs.py" "$SCRATCH/inputs" --sizes 10 --heavy-pages 200 >&2
IN=$SCRATCH/inputs/heavy_200.pdf WM=$SCRATCH/inputs/wm.pdf OUT=$SCRATCH/out.pdf

run() {
  case $1 in
    zorvane) "$ZORVANE" "$IN" "$OUT" -wm "$WM" -l "" ;;
    mutool) mutool run "$PEERS_SRC/peers/mutool_stamp.js" underlay "$IN" "$WM" "$OUT" ;;
    cp+fsync) cp "$IN" "$OUT" && sync "$OUT" ;;
  esac
}
declare -A times
for _ in $(seq "$RUNS"); do
  for tool in zorvane mutool cp+fsync; do
    rm -f "$OUT"; sync
    start=$(date +%s%N); run "$tool" >/dev/null 2>&1; end=$(date +%s%N)
    times[$tool]+="$(( (end - start) / 1000 )) "
  done
done
median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]/1e6}'; }
z=$(median "${times[zorvane]}") m=$(median "${times[mutool]}") c=$(median "${times[cp+fsync]}")
echo "| job on heavy_200 | median wall (s), $RUNS runs |"
echo "|---|---|"
echo "| zorvane IN OUT -wm wm.pdf | $z |"
echo "| mutool run mutool_stamp.js underlay | $m |"
echo "| cp IN OUT && sync OUT | $c |"
echo "| zorvane / mutool | $(echo "$z / $m" | bc -l | xargs printf '%.2f') |"
echo "| zorvane / (cp + fsync) | $(echo "$z / $c" | bc -l | xargs printf '%.2f') |"
