#!/usr/bin/env bash
# Streams whose "Length" is an indirect number written after the stream, as cairo writes every
# stream and Ghostscript its content streams: what reading such a file costs two builds of
# zorvane. The input is made here: PAGES pages of one large RGB image each (random bytes,
# Flate-compressed, so that the image streams stay as large as the raw pixels), drawn in
# PostScript, written by Ghostscript's pdfwrite and then by cairo (pdftocairo -pdf), which gives
# every image stream "/Length n 0 R" with object n right after the stream.
#
# For each build and job (a plain rewrite, and a watermark), it counts the bytes the run reads
# (the sum of what read/pread64 returned, strace -f) and the bytes the kernel copied for it
# (copy_file_range), and takes the median wall time of RUNS runs without strace. The outputs
# of the two builds are compared with the date stamps masked.
#
#   bench/indirect_length.sh OLD_ZORVANE NEW_ZORVANE    # PAGES [10], SIDE [1200], RUNS [5],
#                                                       # SCRATCH [$TMPDIR/zorvane-indirect]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/bench/lib.sh"
OLD=${1:?old zorvane binary} NEW=${2:?new zorvane binary}
PAGES=${PAGES:-10} SIDE=${SIDE:-1200} RUNS=${RUNS:-5}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-indirect}
for tool in gs pdftocairo strace python3; do
  command -v $tool >/dev/null || { echo "indirect_length: $tool missing" >&2; exit 2; }
done
mkdir -p "$SCRATCH"
IN=$SCRATCH/images_${PAGES}x${SIDE}.pdf WM=$ROOT/samples/logo.pdf

if [ ! -f "$IN" ]; then
  python3 - "$SCRATCH/images.ps" "$PAGES" "$SIDE" <<'EOF'
import random, sys
path, pages, side = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
width, height = side, side * 3 // 4
rng = random.Random(7)
with open(path, "wb") as ps:
    ps.write(b"%!PS\n<< /PageSize [612 792] >> setpagedevice\n")
    for _ in range(pages):
        ps.write(b"gsave 36 120 translate 540 405 scale\n")
        ps.write(b"%d %d 8 [%d 0 0 -%d 0 %d] currentfile false 3 colorimage\n"
                 % (width, height, width, height, height))
        ps.write(rng.randbytes(width * height * 3))
        ps.write(b"\ngrestore showpage\n")
EOF
  # Flate rather than JPEG, so that the images keep their size.
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -dAutoFilterColorImages=false \
    -sColorImageFilter=FlateEncode -sOutputFile="$SCRATCH/gs.pdf" "$SCRATCH/images.ps"
  pdftocairo -pdf "$SCRATCH/gs.pdf" "$IN"
  rm -f "$SCRATCH/images.ps" "$SCRATCH/gs.pdf"
fi
indirect=$(grep -a -c -E '^<< /Length [0-9]+ 0 R$' "$IN" || true)
echo "input: $(basename "$IN"), $(stat -c %s "$IN") bytes, $indirect streams with an indirect Length"
echo

OUT=$SCRATCH/out.pdf
job_args() {
  case $1 in
    rewrite) echo "" ;;
    watermark) echo "-wm $WM" ;;
  esac
}
# bytes BINARY JOB: "read copied" in bytes, one traced run.
bytes() {
  local trace=$SCRATCH/trace.txt
  # shellcheck disable=SC2046
  strace -f -qq -e trace=read,pread64,copy_file_range -o "$trace" \
    "$1" "$IN" "$OUT" $(job_args "$2") -l "" >/dev/null 2>&1
  awk '/(read|pread64)\(/ && $NF ~ /^[0-9]+$/ { r += $NF }
       /copy_file_range\(/ && $NF ~ /^[0-9]+$/ { c += $NF }
       END { printf "%d %d", r, c }' "$trace"
  rm -f "$trace"
}
# wall BINARY JOB: median wall seconds of RUNS runs.
# shellcheck disable=SC2046
wall() { median_wall "$RUNS" "$1" "$IN" "$OUT" $(job_args "$2") -l ""; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }

echo "| job | build | bytes read (MB) | copied by the kernel (MB) | median wall (s), $RUNS runs |"
echo "|---|---|---:|---:|---:|"
for job in rewrite watermark; do
  for build in old new; do
    binary=$OLD
    [ $build = new ] && binary=$NEW
    read -r r c <<<"$(bytes "$binary" "$job")"
    cp "$OUT" "$SCRATCH/$build.pdf"
    echo "| $job | $build | $(mb "$r") | $(mb "$c") | $(wall "$binary" "$job") |"
  done
  if cmp -s <(normalise "$SCRATCH/old.pdf") <(normalise "$SCRATCH/new.pdf"); then
    same="same bytes"
  else
    same="OUTPUTS DIFFER"
  fi
  echo "| $job | old vs new output | $same | | |"
done
rm -f "$OUT" "$SCRATCH/old.pdf" "$SCRATCH/new.pdf"
