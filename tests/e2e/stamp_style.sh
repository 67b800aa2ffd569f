#!/usr/bin/env bash
# Colour and opacity of the stamps end to end, judged by pdftoppm's pixels: a number given
# -nbc '#FF0000' is drawn red; a watermark given -wmo 0.3 over black and white content, and a
# number at half opacity, come out between the two colours they blend; the defaults (black,
# opaque) add nothing to the output; and a value that does not parse is refused with its line,
# no output and the input untouched.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftoppm python3 cmp
make_workdir stampstyle
cd "$WORK" || exit 1

# One 400x400 page, white but for a black square in its lower left quarter.
cat >doc.ps <<'PS'
%!PS
<< /PageSize [400 400] >> setpagedevice
0 setgray 0 0 200 200 rectfill
showpage
PS
ps_to_pdf doc.ps in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }
make_red_logo logo.pdf 400 400 || { echo "cannot make logo.pdf" >&2; exit 1; }

# inks PPM X0 Y0 X1 Y1: the mean colour of the pixels of the box (origin top left) that are not
# white, and how many there are.
inks() {
  python3 - "$@" <<'PY'
import os, sys
sys.path.insert(0, os.environ["E2E_DIR"])
from pixcheck import read_pnm, pixel
image = read_pnm(sys.argv[1])
x0, y0, x1, y1 = map(int, sys.argv[2:6])
ink = [pixel(image, x, y) for y in range(y0, y1) for x in range(x0, x1)]
ink = [p for p in ink if min(p) < 240]
mean = [sum(p[c] for p in ink) // max(len(ink), 1) for c in range(3)]
print(len(ink), *mean)
PY
}
export E2E_DIR

# stamp NAME OPTIONS...: runs zorvane on in.pdf into NAME.pdf and renders it to NAME.ppm.
stamp() {
  local name=$1
  shift
  "$ZORVANE" in.pdf "$name.pdf" "$@" -l "$name.log" || { fail "$name: $(cat "$name.log")"; return 1; }
  qpdf_ok "$name.pdf" "$name"
  render "$name.pdf" 1 "$name.ppm" || fail "$name: pdftoppm failed"
}

# A red number, big enough to judge: at the top centre, on white.
if stamp red -nbp -nbf 'n,888,HB,60' -nbs 4,0,0 -nbc '#FF0000'; then
  read -r count r g b < <(inks red.ppm 100 0 300 60)
  [ "$count" -gt 500 ] || fail "red: only $count inked pixels where the number goes"
  [ "$r" -ge 200 ] && [ "$g" -le 60 ] && [ "$b" -le 60 ] || fail "red: the number is $r,$g,$b"
fi

# The watermark at 0.3 over everything: over white it is pink, over black dark red. Both lie
# strictly between the watermark's red and the colour under it.
if stamp faint -wm logo.pdf -up -wmo 0.3; then
  read -r _ r g b < <(inks faint.ppm 250 50 350 150)
  [ "$r" -ge 240 ] && [ "$g" -ge 150 ] && [ "$g" -le 210 ] ||
    fail "faint over white: $r,$g,$b is not between red and white"
  read -r _ r g b < <(inks faint.ppm 50 250 150 350)
  [ "$r" -ge 50 ] && [ "$r" -le 110 ] && [ "$g" -le 20 ] ||
    fail "faint over black: $r,$g,$b is not between red and black"
fi

# A blue number at half opacity over white: between blue and white.
if stamp halfblue -nbp -nbf 'n,888,HB,60' -nbs 4,0,0 -nbc '#0000FF,0.5'; then
  read -r count r g b < <(inks halfblue.ppm 100 0 300 60)
  [ "$count" -gt 500 ] || fail "halfblue: only $count inked pixels where the number goes"
  [ "$r" -ge 100 ] && [ "$r" -le 160 ] && [ "$b" -ge 240 ] || fail "halfblue: the number is $r,$g,$b"
fi

# The defaults add nothing: the same bytes as a run without the options (dates aside).
normalise() { sed -E 's/\(D:[0-9]{14}[^)]*\)/(D:)/g' "$1"; }
"$ZORVANE" in.pdf plain.pdf -nbp -wm logo.pdf -l "" 2>/dev/null
"$ZORVANE" in.pdf defaults.pdf -nbp -wm logo.pdf -nbc '#000000,1' -wmo 1 -l "" 2>/dev/null
cmp -s <(normalise plain.pdf) <(normalise defaults.pdf) || fail "defaults: the output changed"
grep -aq ExtGState defaults.pdf && fail "defaults: a graphics state was added"

# Values that do not parse.
cp in.pdf pristine.pdf
refused() {
  local option=$1 value=$2
  shift 2
  rm -f bad.pdf
  "$ZORVANE" in.pdf bad.pdf "$@" "$option" "$value" -l bad.log
  local status=$?
  [ $status -eq 1 ] || fail "$option '$value': status $status"
  grep -qxF "%[ Error: invalid value of $option: $value ]%" bad.log || fail "$option '$value': $(cat bad.log)"
  [ -e bad.pdf ] && fail "$option '$value': output written"
  cmp -s in.pdf pristine.pdf || fail "$option '$value': the input changed"
}
for value in red '#12345' '#GG0000' '#FF0000,1.5' '#FF0000,-0' ',x' '#FF0000,0.5,1'; do
  refused -nbc "$value" -nbp
done
for value in 1.01 abc 0,5 nan; do
  refused -wmo "$value" -wm logo.pdf
done

finish
