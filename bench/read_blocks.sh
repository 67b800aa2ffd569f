#!/usr/bin/env bash
# Reading a Ghostscript document object by object: what it costs two builds of zorvane in read
# calls and time. Ghostscript's pdfwrite puts each page's dictionary, its resources and its
# content stream (with the "Length" number after it) in three places of the file, so a reader
# that keeps only the block it read last reads one block per object. The input is made here:
# PAGES pages of one line of text each, written by ps2pdf.
#
# For each build and job (a plain rewrite, a watermark, a watermark with numbers) it counts the
# read calls of one traced run (read/pread64, strace -f) and takes the median wall time of RUNS
# runs without strace. The outputs of the two builds are compared with the date stamps masked.
#
#   bench/read_blocks.sh OLD_ZORVANE NEW_ZORVANE    # PAGES [20000], RUNS [5],
#                                                   # SCRATCH [$TMPDIR/zorvane-read-blocks]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/bench/lib.sh"
OLD=${1:?old zorvane binary} NEW=${2:?new zorvane binary}
PAGES=${PAGES:-20000} RUNS=${RUNS:-5}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-read-blocks}
for tool in ps2pdf strace python3; do
  command -v $tool >/dev/null || { echo "read_blocks: $tool missing" >&2; exit 2; }
done
mkdir -p "$SCRATCH"
IN=$SCRATCH/gs_text_$PAGES.pdf WM=$ROOT/samples/logo.pdf OUT=$SCRATCH/out.pdf
if [ ! -f "$IN" ]; then
  python3 -c "
import sys
print('%!PS')
for i in range(int(sys.argv[1])):
    print('/Helvetica findfont 12 scalefont setfont 72 72 moveto (page %d) show showpage' % i)
" "$PAGES" >"$SCRATCH/text.ps"
  ps2pdf "$SCRATCH/text.ps" "$IN"
  rm -f "$SCRATCH/text.ps"
fi
echo "input: $(basename "$IN"), $(stat -c %s "$IN") bytes, $PAGES pages by $(gs --version | sed 's/^/Ghostscript /')"
echo

job_args() {
  case $1 in
    rewrite) echo "" ;;
    watermark) echo "-wm $WM" ;;
    numbers) echo "-wm $WM -nbp" ;;
  esac
}
# reads BINARY JOB: the read calls of one traced run.
reads() {
  # shellcheck disable=SC2046
  strace -f -qq -c -e trace=read,pread64 -o "$SCRATCH/trace.txt" \
    "$1" "$IN" "$OUT" $(job_args "$2") -l "" >/dev/null 2>&1
  awk '$NF == "total" { print $4 }' "$SCRATCH/trace.txt"
  rm -f "$SCRATCH/trace.txt"
}
# wall BINARY JOB: median wall seconds of RUNS runs.
# shellcheck disable=SC2046
wall() { median_wall "$RUNS" "$1" "$IN" "$OUT" $(job_args "$2") -l ""; }

echo "| job | build | read calls | median wall (s), $RUNS runs |"
echo "|---|---|---:|---:|"
for job in rewrite watermark numbers; do
  for build in old new; do
    binary=$OLD
    [ $build = new ] && binary=$NEW
    calls=$(reads "$binary" "$job")
    cp "$OUT" "$SCRATCH/$build.pdf"
    echo "| $job | $build | $calls | $(wall "$binary" "$job") |"
  done
  same="OUTPUTS DIFFER"
  cmp -s <(normalise "$SCRATCH/old.pdf") <(normalise "$SCRATCH/new.pdf") && same="same bytes"
  echo "| $job | old vs new output | $same | |"
done
rm -f "$OUT" "$SCRATCH/old.pdf" "$SCRATCH/new.pdf"
