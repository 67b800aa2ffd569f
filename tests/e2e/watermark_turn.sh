#!/usr/bin/env bash
# Turned watermarks and the text watermark end to end, judged by pdftoppm's pixels and
# pdftotext -bbox: a red square turned 45 degrees is a diamond with its corners where they
# belong and the page's corners clear; -wmr diag lays a bar along a landscape page's diagonal;
# -fit keeps a turned watermark inside the page; "CONFIDENTIAL" is centred on a portrait and a
# landscape page at 80% of their width, coloured and blended by -wmf and -wmo, beside a PDF
# watermark, or against the top edge; values that do not parse, and a text the font cannot encode, are refused.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftoppm pdftotext python3 cmp
make_workdir wmturn
cd "$WORK" || exit 1
export E2E_DIR

# page_ps WIDTH HEIGHT: one PostScript page of that size (blank).
page_ps() { printf '<< /PageSize [%s %s] >> setpagedevice showpage\n' "$1" "$2"; }
{ echo '%!PS'; page_ps 400 400; } >square.ps
{ echo '%!PS'; page_ps 600 300; } >wide.ps
{ echo '%!PS'; page_ps 400 600; page_ps 600 400; } >both.ps
for name in square wide both; do
  ps_to_pdf "$name.ps" "$name.pdf" || { echo "cannot make $name.pdf" >&2; exit 1; }
done
make_red_logo box.pdf 100 100 && make_red_logo bar.pdf 200 20 && make_red_logo wide_logo.pdf 200 100 ||
  { echo "cannot make the logos" >&2; exit 1; }

# stamp IN NAME OPTIONS...: runs zorvane on IN into NAME.pdf and renders its first page.
stamp() {
  local input=$1 name=$2
  shift 2
  "$ZORVANE" "$input" "$name.pdf" "$@" -l "$name.log" || { fail "$name: $(cat "$name.log")"; return 1; }
  qpdf_ok "$name.pdf" "$name"
  render "$name.pdf" 1 "$name.ppm" || fail "$name: pdftoppm failed"
}

# probe PPM X,Y...: "r" for each reddish pixel, "w" for each white one, "?" otherwise (origin top
# left); then the box of all red pixels "x0 y0 x1 y1", and their mean colour "r g b".
probe() {
  python3 - "$@" <<'PY'
import os, sys
sys.path.insert(0, os.environ["E2E_DIR"])
from pixcheck import read_pnm, pixel
image = read_pnm(sys.argv[1])
width, height, _ = image
def kind(p):
    if min(p) >= 230: return "w"
    return "r" if p[0] > p[1] + 60 and p[0] > p[2] + 60 else "?"
print("".join(kind(pixel(image, *map(int, xy.split(",")))) for xy in sys.argv[2:]))
red = [(x, y) for y in range(height) for x in range(width) if kind(pixel(image, x, y)) == "r"]
xs = [x for x, _ in red] or [-1]
ys = [y for _, y in red] or [-1]
print(min(xs), min(ys), max(xs), max(ys))
mean = [sum(pixel(image, x, y)[c] for x, y in red) // max(len(red), 1) for c in range(3)]
print(*mean)
PY
}

# within VALUE LOW HIGH
within() { python3 -c "import sys; v, lo, hi = map(float, sys.argv[1:]); sys.exit(0 if lo <= v <= hi else 1)" "$@"; }

# A 100x100 square turned 45 degrees about the centre of a 400x400 page: a diamond whose corners
# lie 70.7 points from the centre along the axes. Just inside them it is red; at the square's own
# corners, and at the page's, it is not.
if stamp square.pdf diamond -wm box.pdf -wmr 45; then
  { read -r kinds; read -r x0 y0 x1 y1; } < <(probe diamond.ppm 200,200 200,134 200,266 134,200 266,200 \
    150,150 250,250 150,250 250,150 2,2 397,2 2,397 397,397)
  [ "$kinds" = "rrrrrwwwwwwww" ] || fail "diamond: pixels read $kinds"
  for edge in "$x0 126 132" "$y0 126 132" "$x1 268 274" "$y1 268 274"; do
    # shellcheck disable=SC2086
    within $edge || fail "diamond: red box $x0 $y0 $x1 $y1 is not 129..271 on both axes"
  done
fi

# -wmr diag on a 600x300 page: the 200x20 bar lies along the diagonal (26.6 degrees), its ends
# up to the right and down to the left of the centre, and nothing across it.
if stamp wide.pdf diagonal -wm bar.pdf -wmr diag; then
  { read -r kinds; read -r x0 y0 x1 y1; } < <(probe diagonal.ppm 300,150 385,108 215,192 385,192 215,108)
  [ "$kinds" = "rrrww" ] || fail "diagonal: pixels read $kinds"
  # The bar's corners reach 100 x sin + 10 x cos = 53.7 points above and below the centre.
  within "$y0" 93 100 && within "$y1" 200 207 || fail "diagonal: red box $x0 $y0 $x1 $y1"
fi

# -fit turned 45 degrees: the 200x100 logo grows until its corners touch the page's edges, and
# no further; the page's corners stay clear.
if stamp square.pdf fitted -wm wide_logo.pdf -wmr 45 -fit; then
  { read -r kinds; read -r x0 y0 x1 y1; } < <(probe fitted.ppm 200,200 3,3 396,3 3,396 396,396)
  [ "$kinds" = "rwwww" ] || fail "fitted: pixels read $kinds"
  [ "$x0" -le 6 ] && [ "$y0" -le 6 ] && [ "$x1" -ge 393 ] && [ "$y1" -ge 393 ] ||
    fail "fitted: red box $x0 $y0 $x1 $y1 does not reach the page's edges"
fi

# word_box PDF PAGE: the first word's centre and width, from pdftotext -bbox.
word_box() {
  pdftotext -bbox -f "$2" -l "$2" "$1" - 2>/dev/null | python3 -c '
import re, sys
m = re.search(r"<word xMin=\"([-\d.]+)\" yMin=\"([-\d.]+)\" xMax=\"([-\d.]+)\" yMax=\"([-\d.]+)\">([^<]*)<", sys.stdin.read())
if m:
    x0, y0, x1, y1 = map(float, m.groups()[:4])
    print(m.group(5), (x0 + x1) / 2, (y0 + y1) / 2, x1 - x0)'
}

# The text, centred on a portrait and a landscape page (the form is made once, on the first),
# 80% of each page's width; red at half opacity over white is pink.
if stamp both.pdf text -wmt CONFIDENTIAL -wmf ',,#FF0000' -wmo 0.5; then
  for case in "1 200 300 400" "2 300 200 600"; do
    read -r page cx cy width <<<"$case"
    read -r word x y span < <(word_box text.pdf "$page")
    [ "$word" = CONFIDENTIAL ] || { fail "text page $page: no CONFIDENTIAL found"; continue; }
    within "$x" $((cx - 3)) $((cx + 3)) && within "$y" $((cy - 10)) $((cy + 10)) ||
      fail "text page $page: centred at $x,$y, not $cx,$cy"
    within "$span" $((width * 76 / 100)) $((width * 84 / 100)) ||
      fail "text page $page: $span wide, not 80% of $width"
  done
  { read -r _; read -r _; read -r r g b; } < <(probe text.ppm 0,0)
  [ "$r" -ge 235 ] && [ "$g" -ge 100 ] && [ "$g" -le 175 ] && [ "$b" -ge 100 ] && [ "$b" -le 175 ] ||
    fail "text: $r,$g,$b is not between red and white"
fi

# A size of its own, beside a PDF watermark: both are drawn.
if stamp square.pdf together -wm box.pdf -wmt 'Do not copy' -wmf 'TB,24,#0000FF' -up; then
  { read -r kinds; } < <(probe together.ppm 200,165)
  [ "$kinds" = r ] || fail "together: the PDF watermark is missing"
  pdftotext together.pdf - | tr -d '\n' | grep -q 'Do not copy' || fail "together: the text is missing"
  grep -aq '/Times-Bold' together.pdf || fail "together: not set in Times-Bold"
fi

# At a location of its own: top centre, against the page's top edge.
if stamp square.pdf topped -wmt CONFIDENTIAL -wmf 'H,30,#FF0000,4'; then
  read -r word x y _ < <(word_box topped.pdf 1)
  [ "$word" = CONFIDENTIAL ] && within "$x" 197 203 && within "$y" 5 25 ||
    fail "topped: $word centred at $x,$y, not at the top centre"
fi

# Values that do not parse, and a text that the font cannot encode: one line naming the value,
# status 1, no output and the input untouched.
cp square.pdf pristine.pdf
refused() {
  local line=$1
  shift
  rm -f bad.pdf
  "$ZORVANE" square.pdf bad.pdf "$@" -l bad.log
  local status=$?
  [ $status -eq 1 ] || fail "$*: status $status"
  grep -qxF "%[ Error: $line ]%" bad.log || fail "$*: $(cat bad.log)"
  [ -e bad.pdf ] && fail "$*: output written"
  cmp -s square.pdf pristine.pdf || fail "$*: the input changed"
}
for value in abc 45deg '' 1e3 diagonal -30x; do
  refused "invalid value of -wmr: $value" -wm box.pdf -wmr "$value"
done
for value in 'H,0' 'H,-4' 'H,x' ',,red' ',,#12345' 'H,10,#FF0000,9' 'H,10,,4,1'; do
  refused "invalid value of -wmf: $value" -wmt DRAFT -wmf "$value"
done
refused "invalid value of -wmt: " -wmt ''
refused "invalid value of -wmt: ,2" -wmt ',2'
refused "character not in the font's encoding: Σ draft" -wmt 'Σ draft'

finish
