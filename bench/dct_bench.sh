#!/usr/bin/env bash
# Times DCT decoding of one large JPEG (24 megapixels by default) through libquarn against
# libjpeg-turbo's `djpeg` on the same file, both writing the decoded samples, and checks that
# both give the same samples.
#
#   bench/dct_bench.sh [width height]
#
# Builds the library in Release in $BENCH_BUILD (default: build-bench beside the sources).
# Prints a Markdown table; nothing is written into the source tree.
set -euo pipefail

SRC="$(cd "$(dirname "$0")/.." && pwd)"
WIDTH="${1:-6000}"
HEIGHT="${2:-4000}"
BUILD="${BENCH_BUILD:-$SRC/build-bench}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

command -v djpeg >/dev/null && command -v cjpeg >/dev/null ||
  { echo "djpeg and cjpeg (libjpeg-turbo-progs) are needed" >&2; exit 1; }

cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quarn -j2 >/dev/null
g++ -std=c++20 -O2 -I"$SRC" "$SRC/bench/filter_bench.cpp" "$BUILD/libquarn.a" \
  $(pkg-config --libs zlib libjpeg libtiff-4 libcrypto freetype2 fontconfig harfbuzz-subset libdeflate) \
  -o "$WORK/filter_bench"

# A photograph-like RGB picture: smooth gradients under grain, so that the entropy decoder has
# a photograph's work to do.
python3 - "$WIDTH" "$HEIGHT" "$WORK/in.ppm" <<'PY'
import random, sys
w, h, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rng = random.Random(7)
with open(path, "wb") as out:
    out.write(b"P6\n%d %d\n255\n" % (w, h))
    row = bytearray(3 * w)
    for y in range(h):
        grain = rng.randbytes(3 * w)
        for x in range(w):
            row[3 * x] = (x * 200 // w + (grain[3 * x] & 31)) & 255
            row[3 * x + 1] = (y * 200 // h + (grain[3 * x + 1] & 31)) & 255
            row[3 * x + 2] = ((x + y) * 200 // (w + h) + (grain[3 * x + 2] & 31)) & 255
        out.write(row)
PY
cjpeg -quality 90 "$WORK/in.ppm" > "$WORK/in.jpg"
rm -f "$WORK/in.ppm"

# Best of five wall-clock runs, with the CPU time (user + system) of that run.
best_time() {
  local best="" cpu="" i wall user sys
  for i in 1 2 3 4 5; do
    /usr/bin/time -o "$WORK/time" -f "%e %U %S" "$@" < "$WORK/in.jpg" > "$WORK/out" 2>/dev/null
    read -r wall user sys < "$WORK/time"
    if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN{exit !(a<b)}'; then
      best=$wall
      cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN{printf "%.2f", u+s}')
    fi
  done
  echo "$best $cpu"
}

read -r ours ours_cpu < <(best_time "$WORK/filter_bench" -dctdecode "$WIDTH" "$HEIGHT" 3)
cp "$WORK/out" "$WORK/ours.raw"
read -r peer peer_cpu < <(best_time djpeg -pnm)
# djpeg's PPM is a header and then the same interleaved samples.
header=$(head -c 64 "$WORK/out" | head -n 3 | wc -c)
tail -c +"$((header + 1))" "$WORK/out" | cmp -s - "$WORK/ours.raw" && same=yes || same=no

echo "| decoder | wall (s) | CPU (s) |"
echo "|---|---|---|"
echo "| libquarn DCTDecode | $ours | $ours_cpu |"
echo "| djpeg | $peer | $peer_cpu |"
echo
echo "JPEG $(stat -c %s "$WORK/in.jpg") bytes, ${WIDTH}x${HEIGHT}; samples identical: $same;" \
  "wall ratio $(awk -v a="$ours" -v b="$peer" 'BEGIN{printf "%.2f", a/b}')"
