#!/usr/bin/env bash
# Page numbers in installed TrueType faces end to end, one table row per run: zorvane numbers a
# ghostscript document and corpus files; each output must pass qpdf --check, list the font in
# pdffonts as an embedded subset (TrueType, or CID TrueType under Type 0 for the Japanese face),
# read the text in pdftotext -bbox with its left edge and its descender line within 0.5 pt of
# the place worked out from the face file's own advance widths and hhea metrics (fontTools is
# the independent oracle), and be drawn by both pdftoppm and Ghostscript. Then the faces that
# are not embedded: a style the family lacks, a licence that forbids it; and a face that does
# not exist.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftotext pdftoppm pdffonts gs fc-list cmp
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
"$PYTHON" -c 'import fontTools' 2>/dev/null || { echo "skipped: python3-fonttools missing" >&2; exit 77; }
DEJAVU=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
SERIF_BOLD=/usr/share/fonts/truetype/liberation/LiberationSerif-Bold.ttf
IPAG=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
IPAPG=/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf
for face in "$DEJAVU" "$SERIF_BOLD" "$IPAG" "$IPAPG"; do
  [ -f "$face" ] || { echo "skipped: $face missing (scripts/setup.sh installs it)" >&2; exit 77; }
done
make_workdir truetype
cd "$WORK" || exit 1

make_ten_pages in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }

# judge PDF FACE PAGES TEXT SIZE LOCATION OFFSETX_MM OFFSETY_PT SPREAD: every page of PAGES
# ("first-last") reads TEXT ("%d" the page number, "%R" its Roman number, "_" a blank) with its
# left edge and descender line where the face's metrics put them.
judge() {
  "$PYTHON" - "$@" <<'PY'
import re, subprocess, sys
from fontTools.ttLib import TTFont
pdf, face, pages, text, size, location, offset_mm, offset_y, spread = sys.argv[1:10]
size, location = float(size), int(location)
offset_x, offset_y = float(offset_mm) * 2.834645711863446, float(offset_y)
font = TTFont(face, lazy=True)
cmap, hmtx, em = font.getBestCmap(), font["hmtx"], font["head"].unitsPerEm
ascent, descent = font["hhea"].ascent * 1000 / em, font["hhea"].descent * 1000 / em
def width(s):
    return sum(hmtx[cmap[ord(c)]][0] for c in s) * 1000 / em
def roman(n):
    out = ""
    for v, s in ((1000, "M"), (900, "CM"), (500, "D"), (400, "CD"), (100, "C"), (90, "XC"),
                 (50, "L"), (40, "XL"), (10, "X"), (9, "IX"), (5, "V"), (4, "IV"), (1, "I")):
        while n >= v:
            out, n = out + s, n - v
    return out
bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
word = r'<word xMin="([-\d.]+)" yMin="[-\d.]+" xMax="[-\d.]+" yMax="([-\d.]+)">(.*?)</word>'
page_blocks = bbox.split("<page ")[1:]
first, last = (int(v) for v in pages.split("-"))
for page in range(first, last + 1):
    block = page_blocks[page - 1]
    W, H = (float(v) for v in re.match(r'width="([\d.]+)" height="([\d.]+)"', block).groups())
    expected = text.replace("%d", str(page)).replace("%R", roman(page)).replace("_", " ")
    loc, off = location, offset_x
    if spread == "1" and (page - first) % 2 == 1:
        loc, off = {1: 7, 2: 6, 3: 5, 5: 3, 6: 2, 7: 1}.get(loc, loc), -offset_x
    w = size * width(expected) / 1000
    x = {1: 0, 2: 0, 3: 0, 5: W - w, 6: W - w, 7: W - w}.get(loc, W / 2 - w / 2) + off
    y = {1: -descent, 7: -descent, 8: -descent, 2: H * 500 / size - ascent / 2,
         6: H * 500 / size - ascent / 2}.get(loc, H * 1000 / size - ascent) * size / 1000 + offset_y
    descender_line = H - (y + descent * size / 1000)  # top-down, as pdftotext counts
    words = re.findall(word, block)
    found = [(float(a), float(b)) for a, b, t in words if t == expected.split()[0]]
    if not any(abs(a - x) <= 0.5 and abs(b - descender_line) <= 0.5 for a, b in found):
        sys.exit("%s page %d: want %r at x=%.2f, descender line %.2f; got %r" %
                 (pdf, page, expected, x, descender_line, found or words[-3:]))
PY
}

# drawn PDF INPUT BY: page 1 of PDF rendered by pdftoppm or Ghostscript holds more ink than
# page 1 of INPUT: the number is drawn.
drawn() {
  local file
  for file in "$1" "$2"; do
    if [ "$3" = gs ]; then
      gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -dFirstPage=1 -dLastPage=1 \
        -o "$file.$3.ppm" "$file" >/dev/null 2>&1 || return 1
    else
      render "$file" 1 "$file.$3.ppm" || return 1
    fi
  done
  "$PYTHON" - "$1.$3.ppm" "$2.$3.ppm" <<'PY'
import sys
def ink(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:  # PPM header; Ghostscript writes a comment line
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pixels = data[pos + 1:]
    return sum(1 for i in range(0, len(pixels) - 2, 3) if pixels[i] + pixels[i + 1] + pixels[i + 2] < 300)
sys.exit(0 if ink(sys.argv[1]) > ink(sys.argv[2]) + 5 else "no number drawn on page 1")
PY
}

# name | zorvane args ("_" a blank) | pdffonts name and type | face | judge: pages text size
# location offset-x-mm offset-y-pt spread
CASES=$(cat <<EOF
dejavu|-nbp -nbf n,%s,DejaVuSans,10|DejaVuSans +TrueType +WinAnsi|$DEJAVU|1-10 %d 10 8 0 14.173228 0
serif|-nbp -nbf n,Page_%s,LiberationSerif-Bold,11|LiberationSerif,Bold +TrueType +WinAnsi|$SERIF_BOLD|1-10 Page_%d 11 8 0 14.173228 0
utf8|-nbp -nbf n,Página_%s,DejaVuSans,10|DejaVuSans +TrueType +WinAnsi|$DEJAVU|1-10 Página_%d 10 8 0 14.173228 0
ipa|-nbp -nbf n,第%s頁,IPAGothic,10|IPAGothic +CID TrueType +90ms-RKSJ-H|$IPAG|1-10 第%d頁 10 8 0 14.173228 0
ipap|-nbp 1,8 -nbf R,-%s-,IPAPGothic,12 -nbs 5,-10,-20|IPAPGothic +CID TrueType +90msp-RKSJ-H|$IPAPG|1-8 -%R- 12 5 -10 -56.692914 0
EOF
)
# All eight locations with -sp; the x offset points into the page on the odd pages and, negated,
# on the mirrored even pages too.
for loc in 1 2 3 4 5 6 7 8; do
  ox=5
  case $loc in 5 | 6 | 7) ox=-5 ;; esac
  CASES+=$'\n'"sp$loc|-nbp -nbf n,%s,DejaVuSans,12 -nbs $loc,$ox,0 -sp|DejaVuSans +TrueType|$DEJAVU|1-10 %d 12 $loc $ox 0 1"
done
# Corpus files of other producers.
CORPUS=${CORPUS_DIR:-$SOURCE_DIR/../shared/corpus/files}
[ -d "$CORPUS" ] || CORPUS=/work/shared/corpus/files
for file in apache-fop2.7-xreftable-lin-6p cairo1.17-firefox-xrefstream-objstm-1p \
    fpdf1.52-xreftable-cjk-1p gs906-pdf24-xrefstream-objstm-lin-upd2-cjk-5p; do
  [ -f "$CORPUS/$file.pdf" ] || continue
  CASES+=$'\n'"corpus-$file|-nbp -nbf n,Page_%s,LiberationSerif-Bold,11|LiberationSerif,Bold +TrueType|$SERIF_BOLD|1-1 Page_%d 11 8 0 14.173228 0|$CORPUS/$file.pdf"
  CASES+=$'\n'"corpus-ipa-$file|-nbp -nbf n,第%s頁,IPAGothic,10|IPAGothic +CID TrueType|$IPAG|1-1 第%d頁 10 8 0 14.173228 0|$CORPUS/$file.pdf"
done

while IFS='|' read -r name args fonts face judged input; do
  [ -n "$name" ] || continue
  read -ra argv <<<"$args"
  read -ra jv <<<"$judged"
  if ! "$ZORVANE" "${input:-in.pdf}" "$name.pdf" "${argv[@]//_/ }" -l "$name.log"; then
    fail "$name: zorvane failed: $(cat "$name.log")"
    continue
  fi
  qpdf_ok "$name.pdf" "$name" || continue
  listed=$(pdffonts "$name.pdf" 2>&1)
  echo "$listed" | grep -Eq "^[A-Z]{6}\+$fonts.* yes +yes " || fail "$name: pdffonts says $listed"
  report=$(judge "$name.pdf" "$face" "${jv[@]}") || fail "$name: $report"
  for by in pdftoppm gs; do
    drawn "$name.pdf" "${input:-in.pdf}" "$by" || fail "$name: $by draws no number"
  done
done <<<"$CASES"

# A style the family has no face for: the regular face measures, the reader simulates the
# style, so the font names the style and is not embedded.
"$ZORVANE" in.pdf style.pdf -nbp -nbf n,%s,IPAGothic-Bold,10 -l style.log || fail "style: $(cat style.log)"
pdffonts style.pdf | grep -Eq '^IPAGothic,Bold +CID TrueType +90ms-RKSJ-H +no +no ' ||
  fail "style: pdffonts says $(pdffonts style.pdf)"
judge style.pdf "$IPAG" 1-10 %d 10 8 0 14.173228 0 || fail "style: misplaced"

# A face whose licence forbids embedding (OS/2 fsType 2), made from DejaVu Sans and installed
# for this run only: written as it is, not embedded, with one warning line.
mkdir fonts
"$PYTHON" - "$DEJAVU" fonts/restricted.ttf <<'PY'
import sys
from fontTools.ttLib import TTFont
font = TTFont(sys.argv[1])
font["OS/2"].fsType = 2
names = {1: "Restricted Sans", 4: "Restricted Sans", 6: "RestrictedSans", 16: "Restricted Sans"}
for record in font["name"].names:
    if record.nameID in names:
        record.string = names[record.nameID]
font.save(sys.argv[2])
PY
cat >fonts.conf <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <dir>$WORK/fonts</dir>
  <cachedir>$WORK/fc-cache</cachedir>
</fontconfig>
EOF
FONTCONFIG_FILE=$WORK/fonts.conf "$ZORVANE" in.pdf licence.pdf -nbp -nbf n,%s,RestrictedSans,10 \
  -l licence.log || fail "licence: $(cat licence.log)"
pdffonts licence.pdf | grep -Eq '^RestrictedSans +TrueType +WinAnsi +no +no ' ||
  fail "licence: pdffonts says $(pdffonts licence.pdf)"
[ "$(grep -c 'licence forbids embedding: RestrictedSans$' licence.log)" = 1 ] ||
  fail "licence: log says $(cat licence.log)"
judge licence.pdf fonts/restricted.ttf 1-10 %d 10 8 0 14.173228 0 || fail "licence: misplaced"

# No such face: the framed line, status 1, no output, the input untouched.
cp in.pdf before.pdf
if "$ZORVANE" in.pdf none.pdf -nbp -nbf n,%s,NoSuchFace,9 -l none.log; then
  fail "none: a missing face was accepted"
fi
grep -qxF '%[ Error: cannot create PDF Font: NoSuchFace ]%' none.log || fail "none: log says $(cat none.log)"
[ ! -e none.pdf ] || fail "none: an output was left"
cmp -s in.pdf before.pdf || fail "none: the input changed"
[ -z "$(ls qx* 2>/dev/null)" ] || fail "none: temporary files left"

finish
