#!/usr/bin/env bash
# The libraries a run opens only when it needs them (libcrypto for an encrypted file; fontconfig,
# FreeType and HarfBuzz for an installed TrueType face; libpng for a PNG watermark): on a host
# that lacks one, the run that needs it ends with exit status 1 and a line that names the
# library, and leaves the input as it was and no output behind. The same run with the library
# present succeeds; a run that needs none of them does not notice the gap. A QUARN_LIB* variable
# names a file that does not exist in place of the library, as a host without it would behave.
# Needs ZORVANE and SOURCE_DIR.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf cmp
DEJAVU=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
[ -f "$DEJAVU" ] || { echo "skipped: $DEJAVU missing (scripts/setup.sh installs it)" >&2; exit 77; }
make_workdir missing-library
cd "$WORK" || exit 1
make_six_pages plain.pdf && qpdf --encrypt "" o 256 -- plain.pdf encrypted.pdf ||
  { echo "cannot make the test files" >&2; exit 1; }
# A one-pixel grey PNG.
python3 -c '
import struct, zlib
chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
open("logo.png", "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0)) +
                             chunk(b"IDAT", zlib.compress(b"\0\x80")) + chunk(b"IEND", b""))' ||
  { echo "cannot make logo.png" >&2; exit 1; }

# case VARIABLE INPUT OPTIONS: name | the library's variable | the input | the options.
while IFS='|' read -r name variable input options; do
  # shellcheck disable=SC2086
  "$ZORVANE" "$input" with.pdf $options -l with.log
  [ $? -eq 0 ] || fail "$name: fails with the library present: $(tail -3 with.log)"
  cp "$input" before.pdf
  # shellcheck disable=SC2086
  env "$variable=$WORK/absent/lib.so" "$ZORVANE" "$input" without.pdf $options -l without.log
  status=$?
  [ $status -eq 1 ] || fail "$name: exit status $status without the library"
  grep -q "library not available: $WORK/absent/lib.so" without.log ||
    fail "$name: no line names the missing library: $(tail -3 without.log)"
  [ ! -e without.pdf ] || fail "$name: an output was written without the library"
  cmp -s "$input" before.pdf || fail "$name: the input changed"
  # shellcheck disable=SC2086
  env "$variable=$WORK/absent/lib.so" "$ZORVANE" plain.pdf unneeded.pdf -nbp -l unneeded.log ||
    fail "$name: a run that needs no such library fails: $(tail -3 unneeded.log)"
done <<'CASES'
encrypted input, no libcrypto|QUARN_LIBCRYPTO|encrypted.pdf|-nbp
TrueType face, no fontconfig|QUARN_LIBFONTCONFIG|plain.pdf|-nbp -nbf n,%s,DejaVuSans,10
TrueType face, no FreeType|QUARN_LIBFREETYPE|plain.pdf|-nbp -nbf n,%s,DejaVuSans,10
TrueType face, no HarfBuzz subsetter|QUARN_LIBHARFBUZZ_SUBSET|plain.pdf|-nbp -nbf n,%s,DejaVuSans,10
PNG watermark, no libpng|QUARN_LIBPNG|plain.pdf|-wm logo.png
CASES
ls "$WORK" | grep -v '\.\(pdf\|log\|ps\|png\)$' | grep . && fail "temporary files left behind"
finish
