#!/usr/bin/env bash
# An image watermark against the PDF watermark of the same size, on large inputs, in one run:
# a 200x100 PNG with an alpha channel, the same image as a JPEG, and a 200x100 one-page PDF, each
# stamped under every page. The image is written once and every page draws the same form, so
# its cost should be the PDF watermark's (the goal: within 1.1x of its CPU time). Writes its
# table under "## Image watermark against the PDF watermark" in bench/RESULTS.md.
#
#   bench/image_watermark.sh                  # the 20,000- and 200,000-page inputs, 5 runs each
#   INPUTS=/work/h1-bench/doc_20000.pdf RUNS=3 bench/image_watermark.sh
#
# Environment: INPUTS [doc_20000.pdf and doc_200000.pdf in <repo>/../h1-bench, the bench-peers
# inputs], RUNS [5], ZORVANE (a built binary; when unset a Release build is made in
# $SCRATCH/build), SCRATCH [$TMPDIR/zorvane-image-bench].
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
INPUTS=${INPUTS:-$ROOT/../h1-bench/doc_20000.pdf $ROOT/../h1-bench/doc_200000.pdf}
RUNS=${RUNS:-5}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-image-bench}
HEADING="## Image watermark against the PDF watermark"
for input in $INPUTS; do
  [ -f "$input" ] || { echo "image_watermark: no input at $input" >&2; exit 2; }
done
mkdir -p "$SCRATCH"
binary="a binary given as ZORVANE"
if [ -z "${ZORVANE:-}" ]; then
  binary="a Release build"
  echo "== building zorvane (Release) in $SCRATCH/build" >&2
  cmake -S "$ROOT" -B "$SCRATCH/build" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$SCRATCH/build" -j2 --target zorvane >/dev/null
  ZORVANE=$SCRATCH/build/zorvane
fi
cd "$SCRATCH"

python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
# A red disc on transparency, 200 x 100.
rows = b"".join(b"\0" + b"".join(bytes([200, 0, 0, 255 if (x - 100) ** 2 + 4 * (y - 50) ** 2 < 2500 else 0])
                                  for x in range(200)) for y in range(100))
with open("wm.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 200, 100, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
with open("wm.ppm", "wb") as f:
    f.write(b"P6\n200 100\n255\n" + bytes([200, 0, 0]) * 20000)
PY
cjpeg -quality 90 wm.ppm >wm.jpg
cat >wm.ps <<'PS'
%!PS
<< /PageSize [200 100] >> setpagedevice
0.8 0 0 setrgbcolor 100 50 50 0 360 arc fill
showpage
PS
ps2pdf wm.ps wm.pdf

# One run on INPUT with watermark FILE: its user + system seconds and its wall seconds.
measure() {
  /usr/bin/time -f "%U %S %e" -o time.txt "$ZORVANE" "$1" out.pdf -wm "$2" -l "" >/dev/null 2>&1
  awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' time.txt
}
# The rows of INPUT. The runs are interleaved, so that a change of load on the machine falls on
# the three watermarks alike; each one's median by CPU time.
rows() {
  local input=$1 kind pdf_cpu c w
  local -A runs=() result=()
  for _ in $(seq "$RUNS"); do
    for kind in pdf png jpg; do runs[$kind]+="$(measure "$input" "wm.$kind")"$'\n'; done
  done
  for kind in pdf png jpg; do
    result[$kind]=$(printf '%s' "${runs[$kind]}" | sort -n |
      awk '{ c[NR] = $1; w[NR] = $2 } END { m = int((NR + 1) / 2); print c[m], w[m] }')
  done
  pdf_cpu=${result[pdf]% *}
  for kind in pdf png jpg; do
    read -r c w <<<"${result[$kind]}"
    printf '| %s | %s | %s | %s | %s |\n' "$(basename "$input" .pdf)" "$kind" "$c" "$w" \
      "$(awk -v a="$c" -v b="$pdf_cpu" 'BEGIN { printf "%.2fx", a / b }')"
  done
}
table=$(for input in $INPUTS; do rows "$input"; done)
section=$(cat <<MD
$HEADING

Written by \`bench/image_watermark.sh\` on $(date -u +%Y-%m-%dT%H:%M:%SZ). Every page of the input
stamped under its content by one run of \`zorvane IN OUT -wm FILE\`; median of $RUNS interleaved
runs of each (CPU = user + system seconds). The watermarks are 200x100: a one-page PDF (pdf), a
PNG with an alpha channel (png: written once as an image and its soft mask) and a JPEG (jpg: its
own bytes). Goal: an image watermark within 1.1x of the PDF watermark's CPU time. Measured with
$binary on a machine with a load average of $(cut -d' ' -f1 /proc/loadavg) at the end.

| input | watermark | CPU s | wall s | CPU / pdf |
|---|---|---|---|---|
$table
MD
)
python3 "$ROOT/bench/results_section.py" "$ROOT/bench/RESULTS.md" "$HEADING" "$section"
echo "$section"
