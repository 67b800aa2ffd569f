#!/usr/bin/env bash
# What an incremental update in place costs now that it is written after a copy of the input
# (shared blocks where the file system can, copy_file_range else), fsynced and renamed over the
# input, against a build that appended the update to the input itself. Two inputs: the
# bench-peers harness's heavy_200 (45.6 MB of images, a small update) and bench/gen_pages.py's
# 200,000-page document (49 MB, an update of about as much again). Each job runs RUNS times on a
# fresh copy of the input (made outside the timing, `sync` before each run); medians of wall
# and CPU seconds go into the section "## Incremental update in place: copy and rename" of
# bench/RESULTS.md.
#
#   BEFORE=/path/to/old/zorvane AFTER=/path/to/zorvane bench/inc_inplace.sh
#
# Environment: RUNS [3], PAGES [200000], SCRATCH [$TMPDIR/zorvane-inc-inplace] (outside the
# repository), PEERS_SRC [../shared/bench-peers].
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${BEFORE:?path of a zorvane that appends the update in place}"
: "${AFTER:?path of a zorvane that copies and renames}"
RUNS=${RUNS:-3}
PAGES=${PAGES:-200000}
PEERS_SRC=${PEERS_SRC:-$ROOT/../shared/bench-peers}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-inc-inplace}
HEADING="## Incremental update in place: copy and rename"
case "$SCRATCH" in "$ROOT"|"$ROOT"/*) echo "inc_inplace: SCRATCH must lie outside the repository" >&2; exit 2 ;; esac
mkdir -p "$SCRATCH/inputs"
cd "$SCRATCH"
[ -f inputs/heavy_200.pdf ] ||
  /usr/bin/python3 "$PEERS_SRC/gen_inputs.py" inputs --sizes 10 --heavy-pages 200 >&2
pages=pages_$PAGES.pdf
[ -f "$pages" ] || python3 "$ROOT/bench/gen_pages.py" "$PAGES" "$pages"
WM=inputs/wm.pdf

# measure BINARY INPUT ARGS...: "wall cpu" medians of RUNS in-place updates of a copy of INPUT.
measure() {
  local binary=$1 input=$2
  shift 2
  local wall=() cpu=()
  for _ in $(seq "$RUNS"); do
    cp "$input" victim.pdf
    sync
    /usr/bin/time -o time.txt -f '%e %U %S' "$binary" victim.pdf -inc "$@" -l /dev/null
    local e u s
    read -r e u s <time.txt
    wall+=("$e")
    cpu+=("$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')")
    qpdf --check victim.pdf >/dev/null 2>&1 || { echo "inc_inplace: qpdf --check fails" >&2; exit 1; }
  done
  median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  echo "$(median "${wall[@]}") $(median "${cpu[@]}")"
}

rows=""
for job in "heavy_200|inputs/heavy_200.pdf|-wm $WM" "$PAGES pages|$pages|-wm $WM -nbp"; do
  IFS='|' read -r name input args <<<"$job"
  read -r -a argv <<<"$args"
  echo "== $name" >&2
  read -r before_s before_cpu < <(measure "$BEFORE" "$input" "${argv[@]}")
  read -r after_s after_cpu < <(measure "$AFTER" "$input" "${argv[@]}")
  added=$(( $(stat -c %s victim.pdf) - $(stat -c %s "$input") ))
  rows+="| $name | $(stat -c %s "$input") | $added | $before_s / $before_cpu | $after_s / $after_cpu | $(awk -v a="$after_s" -v b="$before_s" 'BEGIN { printf "%+.2f", a - b }') |"$'\n'
done

fs=$(df -T . | awk 'NR == 2 { print $2 }')
section=$(cat <<MD
$HEADING

Written by \`bench/inc_inplace.sh\` on $(date -u +%Y-%m-%dT%H:%M:%SZ) ($(nproc) cores, load
average $(cut -d' ' -f1 /proc/loadavg) at the end, $fs). \`-inc\` in place, on a fresh copy of
the input each run; "append" is the build that wrote the update into the input itself (a run
killed half way left part of an update after %%EOF), "copy + rename" the one that writes the
input's bytes and the update into a temporary beside it, fsyncs it and renames it over the
input. Times are "wall / CPU" seconds, medians of $RUNS runs.

| input | bytes | bytes appended | append s | copy + rename s | difference s |
|---|---:|---:|---:|---:|---:|
$rows
$fs cannot share blocks between files, so the copy writes the whole input again and the final
fsync waits for it; the copy is handed to the disk while the pages are walked, which hides part
of it. On btrfs or XFS the copy is a clone (FICLONE) and costs next to nothing.
MD
)
python3 "$ROOT/bench/results_section.py" "$ROOT/bench/RESULTS.md" "$HEADING" "$section"
echo "$section"
