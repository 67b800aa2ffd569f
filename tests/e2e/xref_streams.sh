#!/usr/bin/env bash
# Files that hold cross-reference streams and object streams, made at test time by qpdf
# (--object-streams=generate, with and without --linearize), and files damaged on purpose
# (startxref off by 7, the cross-reference data deleted, the last 100 bytes cut off), stamped by
# the real zorvane binary. The output must pass qpdf --check, keep its pages, show the watermark
# on the pages asked for and render as before elsewhere; a damaged input is reported with one
# "damaged file repaired" line in the log.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftoppm pdfinfo python3
make_workdir xref-streams
cd "$WORK" || exit 1

make_six_pages table.pdf || { echo "cannot make table.pdf" >&2; exit 1; }
make_red_logo logo.pdf || { echo "cannot make logo.pdf" >&2; exit 1; }
qpdf --object-streams=generate table.pdf objstm.pdf
qpdf --object-streams=generate --linearize table.pdf linearized.pdf
for p in 1 2 3 4 5 6; do render table.pdf "$p" "in-$p.ppm"; done
RED=255,0,0
CENTRED="100 150 300 250"

# damage KIND IN OUT: a copy of IN damaged in one of three ways.
damage() {
  python3 - "$@" <<'PY'
import re, sys
kind, src, dst = sys.argv[1:4]
data = open(src, "rb").read()
if kind == "offset":
    # The last startxref points 7 bytes past where it should.
    m = list(re.finditer(rb"startxref\s+(\d+)", data))[-1]
    data = data[:m.start(1)] + str(int(m.group(1)) + 7).encode() + data[m.end(1):]
elif kind == "deleted":
    # The cross-reference data that the last startxref names is gone: a table up to its
    # trailer, or a cross-reference stream object as a whole.
    m = list(re.finditer(rb"startxref\s+(\d+)", data))[-1]
    at = int(m.group(1))
    if data[at:at + 4] == b"xref":
        end = data.index(b"trailer", at)
    else:
        end = data.index(b"endobj", at) + len(b"endobj")
    data = data[:at] + data[end:]
elif kind == "truncated":
    data = data[:-100]
open(dst, "wb").write(data)
PY
}

# stamp NAME INPUT [repaired]: stamps pages 2-5 and numbers every page; checks the results.
stamp() {
  local name=$1 input=$2 repaired=${3:-}
  local pages
  rm -f "$name".log
  if ! "$ZORVANE" "$input" "$name.pdf" -wm logo.pdf,2,5 -l "$name.log" 2>/dev/null; then
    fail "$name: not stamped: $(grep -e Error -e Factor "$name.log" | tr '\n' ' ')"
    return
  fi
  qpdf_ok "$name.pdf" "$name"
  pages=$(page_count "$name.pdf")
  [ "$pages" = 6 ] || fail "$name: $pages pages"
  for p in 1 2 3 4 5 6; do
    render "$name.pdf" "$p" "$name-$p.ppm" || { fail "$name: page $p does not render"; continue; }
    if [ "$p" -ge 2 ] && [ "$p" -le 5 ]; then
      # shellcheck disable=SC2086
      pixcheck stamp "in-$p.ppm" "$name-$p.ppm" $CENTRED "$RED" under || fail "$name: page $p"
    else
      pixcheck same "in-$p.ppm" "$name-$p.ppm" || fail "$name: page $p changed"
    fi
  done
  local repairs
  repairs=$(grep -c "^damaged file repaired: $input\$" "$name.log")
  if [ -n "$repaired" ]; then
    [ "$repairs" = 1 ] || fail "$name: $repairs repair lines in the log: $(cat "$name.log")"
  else
    [ "$repairs" = 0 ] || fail "$name: reported as repaired"
  fi
  # Page numbers too, once the watermark is there.
  if ! "$ZORVANE" "$input" "$name-nbp.pdf" -wm logo.pdf -nbp -l "$name-nbp.log" 2>/dev/null; then
    fail "$name: not stamped with -nbp: $(grep -e Error -e Factor "$name-nbp.log" | tr '\n' ' ')"
    return
  fi
  qpdf_ok "$name-nbp.pdf" "$name -nbp"
  [ "$(page_count "$name-nbp.pdf")" = 6 ] || fail "$name -nbp: page count"
  # The output of a rewrite has a plain table and no object or cross-reference streams.
  if grep -aq -e "/ObjStm" -e "/XRef\b" "$name.pdf"; then fail "$name: streams copied to the output"; fi
}

grep -aq "/ObjStm" objstm.pdf || fail "qpdf made no object streams"
grep -aq "/Type */XRef" linearized.pdf || fail "qpdf made no cross-reference stream"
stamp objstm objstm.pdf
stamp linearized linearized.pdf
for kind in offset deleted truncated; do
  for base in table objstm linearized; do
    damage "$kind" "$base.pdf" "$base-$kind.pdf"
    stamp "$base-$kind" "$base-$kind.pdf" repaired
  done
done

# A file that cannot be repaired keeps its error and stays as it was.
printf '%%PDF-1.4\nnothing to find here\n' >hopeless.pdf
if "$ZORVANE" hopeless.pdf hopeless-out.pdf -wm logo.pdf -l hopeless.log 2>/dev/null; then
  fail "hopeless: stamped"
fi
grep -q "Factor: Cannot find startxref" hopeless.log || fail "hopeless: $(cat hopeless.log)"
[ -e hopeless-out.pdf ] && fail "hopeless: output left behind"

finish
