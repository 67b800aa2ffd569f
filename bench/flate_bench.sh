#!/usr/bin/env bash
# Times Flate compression and decompression of 100 MB through libquarn against qpdf's
# zlib-flate on the same bytes, and checks that both give the same results.
#
#   bench/flate_bench.sh [size-in-MB]
#
# Builds the library in Release in $BENCH_BUILD (default: build-bench beside the sources) and
# the bench program with one compile line. Prints a
# Markdown table; nothing is written into the source tree.
set -euo pipefail

SRC="$(cd "$(dirname "$0")/.." && pwd)"
MB="${1:-100}"
BUILD="${BENCH_BUILD:-$SRC/build-bench}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

command -v zlib-flate >/dev/null || { echo "zlib-flate (qpdf) is needed" >&2; exit 1; }

cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quarn -j2 >/dev/null
g++ -std=c++20 -O2 -I"$SRC" "$SRC/bench/filter_bench.cpp" "$BUILD/libquarn.a" \
  $(pkg-config --libs zlib libjpeg libtiff-4 libcrypto freetype2 fontconfig) -o "$WORK/filter_bench"

# Page-content-like text with numbers that vary, and a tenth of incompressible bytes: a mix
# in which neither the matcher nor the literal coder dominates.
python3 - "$MB" "$WORK/plain" <<'PY'
import random, sys
size = int(sys.argv[1]) << 20
rng = random.Random(1234)
with open(sys.argv[2], "wb") as out:
    written = 0
    while written < size:
        if rng.random() < 0.1:
            chunk = rng.randbytes(4096)
        else:
            lines = []
            for _ in range(64):
                lines.append("q %d 0 0 %d %d %d cm /Im%d Do Q BT /F%d %d Tf (%s) Tj ET\r\n" % (
                    rng.randint(1, 600), rng.randint(1, 800), rng.randint(0, 600),
                    rng.randint(0, 800), rng.randint(1, 40), rng.randint(1, 9), rng.randint(6, 24),
                    "".join(rng.choice("abcdefghij klmnop") for _ in range(rng.randint(4, 40)))))
            chunk = "".join(lines).encode()
        chunk = chunk[: size - written]
        out.write(chunk)
        written += len(chunk)
PY

# Best of five runs of "$@" < in > out, as "cpu wall": CPU time (user + system) is what the
# program costs and stays comparable on a busy machine; wall-clock time is shown beside it.
best_time() {
  local in="$1" out="$2" best="" wall="" cpu e
  shift 2
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f "%e %U %S" -o "$WORK/time" "$@" <"$in" >"$out" 2>/dev/null
    read -r e u s < <(tail -1 "$WORK/time")
    cpu=$(awk "BEGIN{printf \"%.2f\", $u + $s}")
    if [ -z "$best" ] || awk "BEGIN{exit !($cpu < $best)}"; then best=$cpu; fi
    if [ -z "$wall" ] || awk "BEGIN{exit !($e < $wall)}"; then wall=$e; fi
  done
  echo "$best $wall"
}

read -r ours_c ours_cw < <(best_time "$WORK/plain" "$WORK/ours.z" "$WORK/filter_bench" -compress)
read -r peer_c peer_cw < <(best_time "$WORK/plain" "$WORK/peer.z" zlib-flate -compress)
read -r ours_u ours_uw < <(best_time "$WORK/peer.z" "$WORK/ours.out" "$WORK/filter_bench" -uncompress)
read -r peer_u peer_uw < <(best_time "$WORK/peer.z" "$WORK/peer.out" zlib-flate -uncompress)

cmp -s "$WORK/ours.out" "$WORK/plain" || { echo "decompressed bytes differ" >&2; exit 1; }
cmp -s "$WORK/peer.out" "$WORK/plain" || { echo "zlib-flate round trip differs" >&2; exit 1; }
zlib-flate -uncompress <"$WORK/ours.z" | cmp -s - "$WORK/plain" ||
  { echo "our compressed bytes do not decompress with zlib-flate" >&2; exit 1; }
same=no
cmp -s "$WORK/ours.z" "$WORK/peer.z" && same=yes

ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }
echo "| operation | libquarn CPU (s) | zlib-flate CPU (s) | ratio | libquarn wall (s) | zlib-flate wall (s) | ratio |"
echo "|---|---|---|---|---|---|---|"
echo "| compress ${MB} MB | $ours_c | $peer_c | $(ratio "$ours_c" "$peer_c") | $ours_cw | $peer_cw | $(ratio "$ours_cw" "$peer_cw") |"
echo "| uncompress to ${MB} MB | $ours_u | $peer_u | $(ratio "$ours_u" "$peer_u") | $ours_uw | $peer_uw | $(ratio "$ours_uw" "$peer_uw") |"
echo
echo "Input $(stat -c %s "$WORK/plain") bytes, compressed $(stat -c %s "$WORK/ours.z") bytes;" \
  "compressed bytes identical to zlib-flate's: $same. zlib $(pkg-config --modversion zlib)."
