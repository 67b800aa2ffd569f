#!/usr/bin/env bash
# Page numbers in any script an installed TrueType face can draw, end to end: a format beyond
# the face's single-byte or CP932 encoding (Greek and Cyrillic in DejaVu Sans, simplified
# Chinese in WenQuanYi Zen Hei) is set in a Type 0 font over CIDFontType2 with Identity-H. One
# table row per run: qpdf --check passes, pdffonts lists an embedded subset with a ToUnicode
# map, pdftotext reads the exact text on every page, the first word starts where the face
# file's own advances put it (fontTools is the independent oracle; right-aligned and mirrored
# with -sp, so the whole text was measured), and pdftoppm draws ink there that the input lacks.
# A Latin-1 text in the same face stays a simple TrueType font. Right-to-left text, combining
# marks and characters the face lacks are refused: status 1, no output, input untouched.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftotext pdftoppm pdffonts cmp
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
"$PYTHON" -c 'import fontTools' 2>/dev/null || { echo "skipped: python3-fonttools missing" >&2; exit 77; }
DEJAVU=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
ZENHEI=/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc
for face in "$DEJAVU" "$ZENHEI"; do
  [ -f "$face" ] || { echo "skipped: $face missing (scripts/setup.sh installs it)" >&2; exit 77; }
done
make_workdir unicode
cd "$WORK" || exit 1
make_ten_pages in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }

# judge PDF FACE SIZE LOCATION SPREAD TEXT: every page reads TEXT ("%d" the page number, "%n"
# the last one), its first word at the x the face's advances give for LOCATION (mirrored on
# every second page with SPREAD), and the words' box holds ink in the render of PDF that the
# render of in.pdf lacks there.
judge() {
  "$PYTHON" - "$@" <<'PY'
import re, subprocess, sys
from fontTools.ttLib import TTFont
pdf, face, size, location, spread, text = sys.argv[1:7]
size, location = float(size), int(location)
font = TTFont(face, lazy=True, fontNumber=0)
cmap, hmtx, em = font.getBestCmap(), font["hmtx"], font["head"].unitsPerEm
def width(s):
    return sum(hmtx[cmap[ord(c)]][0] for c in s) * size / em
def ink(path, box):
    data = open(path, "rb").read()
    header = re.match(rb"P5\s+(\d+)\s+(\d+)\s+255\s", data)
    w, pixels = int(header.group(1)), data[header.end():]
    x0, y0, x1, y1 = (int(v * 2) for v in box)  # rendered at 144 dpi
    return sum(1 for y in range(y0, y1) for x in range(x0, x1) if pixels[y * w + x] < 128)
bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
word = r'<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*?)</word>'
for page, block in enumerate(bbox.split("<page ")[1:], 1):
    W = float(re.match(r'width="([\d.]+)"', block).group(1))
    expected = text.replace("%d", str(page)).replace("%n", "10")
    words = [w for w in re.findall(word, block) if w[4] not in ("Body", "text")]
    got = " ".join(w[4] for w in words)
    if got != expected:
        sys.exit("%s page %d reads %r, expected %r" % (pdf, page, got, expected))
    loc = location
    if spread == "1" and page % 2 == 0:
        loc = {1: 7, 2: 6, 3: 5, 5: 3, 6: 2, 7: 1}.get(loc, loc)
    w = width(expected)
    x = {1: 0, 2: 0, 3: 0, 5: W - w, 6: W - w, 7: W - w}.get(loc, W / 2 - w / 2)
    if abs(float(words[0][0]) - x) > 0.5:
        sys.exit("%s page %d: text starts at x=%s, the face's advances put it at %.2f" %
                 (pdf, page, words[0][0], x))
    if page == 3:
        box = (min(float(w[0]) for w in words), min(float(w[1]) for w in words),
               max(float(w[2]) for w in words), max(float(w[3]) for w in words))
        for f in (pdf, "in.pdf"):
            subprocess.run(["pdftoppm", "-r", "144", "-gray", "-f", "3", "-l", "3", "-singlefile",
                            f, f + ".3"], check=True)
        drawn, before = ink(pdf + ".3.pgm", box), ink("in.pdf.3.pgm", box)
        if drawn < 20 or before != 0:
            sys.exit("%s page 3: %d dark pixels where the number is (%d before)" %
                     (pdf, drawn, before))
PY
}

# name | zorvane args ("_" a blank) | pdffonts line | face | judge: size location spread text
CASES=$(cat <<EOF
greek|-nbp -nbf n,Σελίδα_%s,DejaVuSans,10|DejaVuSans +CID TrueType +Identity-H +yes +yes +yes|$DEJAVU|10 8 0 Σελίδα_%d
cyrillic|-nbp -nbf n,Стр._%1\$s_из_%2\$s,DejaVuSans,12 -nbs 5,0,0 -sp|DejaVuSans +CID TrueType +Identity-H +yes +yes +yes|$DEJAVU|12 5 1 Стр._%d_из_%n
chinese|-nbp -nbf n,第%s页,WenQuanYiZenHei,10|WenQuanYiZenHei +CID TrueType +Identity-H +yes +yes +yes|$ZENHEI|10 8 0 第%d页
chinese-of|-nbp -nbf n,第%1\$s页，共%2\$s页,WenQuanYiZenHei,11 -nbs 7,0,0|WenQuanYiZenHei +CID TrueType +Identity-H +yes +yes +yes|$ZENHEI|11 7 0 第%d页，共%n页
latin1|-nbp -nbf n,Página_%s,DejaVuSans,10|DejaVuSans +TrueType +WinAnsi +yes +yes +no|$DEJAVU|10 8 0 Página_%d
EOF
)

while IFS='|' read -r name args fonts face judged; do
  [ -n "$name" ] || continue
  read -ra argv <<<"$args"
  read -ra jv <<<"$judged"
  if ! "$ZORVANE" in.pdf "$name.pdf" "${argv[@]//_/ }" -l "$name.log"; then
    fail "$name: zorvane failed: $(cat "$name.log")"
    continue
  fi
  qpdf_ok "$name.pdf" "$name" || continue
  listed=$(pdffonts "$name.pdf" 2>&1)
  echo "$listed" | grep -Eq "^[A-Z]{6}\+$fonts " || fail "$name: pdffonts says $listed"
  report=$(judge "$name.pdf" "$face" "${jv[@]:0:3}" "${jv[3]//_/ }" 2>&1) || fail "$name: $report"
done <<<"$CASES"

# Refused: the framed line naming the format, a line saying why, status 1, no output, the input
# untouched. "Seite x%s" has U+0308 COMBINING DIAERESIS after its x.
cp in.pdf before.pdf
REFUSED=$(cat <<'EOF'
hebrew|עמוד %s|'ע' is written right to left: text is set left to right, without shaping
arabic|صفحة %s|'ص' is written right to left: text is set left to right, without shaping
combining|Seite ẍ%s|'̈' combines with the character before it: text is set without shaping
missing|第%s页|'第' is not in the face DejaVuSans
EOF
)
while IFS='|' read -r name format why; do
  if "$ZORVANE" in.pdf "$name.pdf" -nbp -nbf "n,$format,DejaVuSans,10" -l "$name.log"; then
    fail "$name: '$format' was accepted"
  fi
  grep -qxF "%[ Error: character not in the font's encoding: $format ]%" "$name.log" ||
    fail "$name: log says $(cat "$name.log")"
  grep -qxF "$why" "$name.log" || fail "$name: no line '$why' in $(cat "$name.log")"
  [ ! -e "$name.pdf" ] || fail "$name: an output was left"
  cmp -s in.pdf before.pdf || fail "$name: the input changed"
done <<<"$REFUSED"

finish
