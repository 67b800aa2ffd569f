#!/usr/bin/env bash
# Japanese page numbers end to end: zorvane numbers a ghostscript document and the corpus files
# with Japanese text in HeiseiMin-W3 and HeiseiKakuGo-W5, one table row per run. Each output
# must pass qpdf --check, list the Type 0 font with its CID Type 0 descendant in pdffonts, read
# the expected text in pdftotext -bbox with its left edge within 0.5 pt of the position worked
# out from the font's own W and DW (read back from the output), and show ink in a pdftoppm
# render (poppler draws the Heisei fonts with the IPA fonts). Non-ASCII formats for Latin
# fonts are converted to their encoding, or refused with the framed line.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftotext pdftoppm pdffonts python3 cmp
[ -d /usr/share/poppler/cMap/Adobe-Japan1 ] || { echo "skipped: poppler-data missing" >&2; exit 77; }
make_workdir japanese
cd "$WORK" || exit 1

make_ten_pages in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }
cat >mark.ps <<'PS'
%!PS
<< /PageSize [200 100] >> setpagedevice
0.8 setgray 0 0 200 100 rectfill showpage
PS
ps_to_pdf mark.ps mark.pdf || { echo "cannot make mark.pdf" >&2; exit 1; }

# judge PDF PAGES TEXTS SIZE LOCATION OFFSETX_MM SPREAD: every listed page reads its text
# ("%d" is the page's number, "%r" its lower-case Roman number) at the computed x.
judge() {
  python3 - "$@" <<'PY'
import json, re, subprocess, sys
pdf, pages, texts, size, location, offset_mm, spread = sys.argv[1:8]
size, location, offset = float(size), int(location), float(offset_mm) * 2.834645711863446
objects = json.loads(subprocess.run(["qpdf", "--json", "--json-key=qpdf", pdf],
                                    capture_output=True, check=True).stdout)["qpdf"][1]
def value(o):
    return o.get("value", o) if isinstance(o, dict) else o
cid = next(value(o) for o in objects.values()
           if isinstance(value(o), dict) and value(o).get("/Subtype") == "/CIDFontType0")
dw, w, widths = cid.get("/DW", 0), cid.get("/W", []), {}
i = 0
while i < len(w):
    if isinstance(w[i + 1], list):
        widths.update({w[i] + k: v for k, v in enumerate(w[i + 1])})
        i += 2
    else:
        widths.update({c: w[i + 2] for c in range(w[i], w[i + 1] + 1)})
        i += 3
def text_width(text):  # 90ms-RKSJ-H: ASCII 0x20-0x7D are CIDs 231..., kanji are full width
    return sum(widths.get(231 + ord(ch) - 0x20, dw) if ord(ch) < 0x7E else dw for ch in text)
def roman(n):
    out = ""
    for v, s in ((1000, "m"), (900, "cm"), (500, "d"), (400, "cd"), (100, "c"), (90, "xc"),
                 (50, "l"), (40, "xl"), (10, "x"), (9, "ix"), (5, "v"), (4, "iv"), (1, "i")):
        while n >= v:
            out, n = out + s, n - v
    return out
bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
# The half-width hyphen of Adobe-Japan1 reads as U+2011 (non-breaking hyphen).
bbox = bbox.replace("\u2011", "-")
page_words = [re.findall(r'<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="[-\d.]+" yMax="[-\d.]+">(.*?)</word>', p)
              for p in bbox.split("<page ")[1:]]
first, last = (int(v) for v in pages.split("-"))
for page in range(first, last + 1):
    expected = texts.replace("%d", str(page)).replace("%r", roman(page))
    loc, off = location, offset
    if spread == "1" and (page - first) % 2 == 1:
        loc, off = {1: 7, 2: 6, 3: 5, 5: 3, 6: 2, 7: 1}.get(loc, loc), -offset
    w_pt = size * text_width(expected) / 1000
    x = {1: 0, 2: 0, 3: 0, 5: 595 - w_pt, 6: 595 - w_pt, 7: 595 - w_pt}.get(loc, 297.5 - w_pt / 2) + off
    words = page_words[page - 1]
    # pdftotext splits the text at blanks: the first word starts the text.
    found = [(float(a), float(b)) for a, b, t in words if t == expected.split()[0]]
    band = "top" if loc in (3, 4, 5) else "middle" if loc in (2, 6) else "bottom"
    ok = [f for f in found if abs(f[0] - x) <= 0.5 and
          {"top": f[1] < 100, "middle": 300 < f[1] < 500, "bottom": f[1] > 742}[band]]
    if not ok or " ".join(t for _, _, t in words if t in expected.split()) != expected:
        sys.exit("%s page %d: want %r at x=%.2f (%s), got %r" % (pdf, page, expected, x, band, words))
PY
}

# ink PDF: the bottom 40 points of page 1 hold dark pixels (the number drawn there).
ink() {
  render "$1" 1 "$1.ppm" || return 1
  python3 - "$1.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
pixels = parts[4]
dark = sum(1 for y in range(height - 40, height) for x in range(width)
           if sum(pixels[3 * (y * width + x): 3 * (y * width + x) + 3]) < 300)
sys.exit(0 if dark > 20 else "no ink in the bottom band of page 1")
PY
}

# name | extra zorvane args | font | judge: pages texts size location offset-mm spread
CASES=$(cat <<'EOF'
min|-nbp -nbf n,第%s頁,HeiseiMin-W3,12|HeiseiMin-W3|1-10 第%d頁 12 8 0 0
kakugo|-nbp -nbf n,第%s頁,HeiseiKakuGo-W5,12|HeiseiKakuGo-W5|1-10 第%d頁 12 8 0 0
roman|-nbp -nbf r,-_%s_-,HeiseiKakuGo-W5,10|HeiseiKakuGo-W5|1-10 -_%r_- 10 8 0 0
digits|-nbp 3,0,3 -nbf n,%s,HeiseiMin-W3,10|HeiseiMin-W3|3-10 %d 10 8 0 0
watermark|-wm mark.pdf -nbp -nbf n,第%s頁,HeiseiMin-W3,12|HeiseiMin-W3|1-10 第%d頁 12 8 0 0
EOF
)
# All eight locations with -sp; the x offset points into the page on the odd pages and, negated,
# on the mirrored even pages too.
for loc in 1 2 3 4 5 6 7 8; do
  ox=5
  case $loc in 5 | 6 | 7) ox=-5 ;; esac
  CASES+=$'\n'"sp$loc|-nbp -nbf n,第%s頁,HeiseiMin-W3,12 -nbs $loc,$ox,0 -sp|HeiseiMin-W3|1-10 第%d頁 12 $loc $ox 1"
done

# In the table "_" stands for a blank inside one argument.
while IFS='|' read -r name args font judged; do
  [ -n "$name" ] || continue
  read -ra argv <<<"$args"
  read -ra jv <<<"$judged"
  if ! "$ZORVANE" in.pdf "$name.pdf" "${argv[@]//_/ }" -l "$name.log"; then
    fail "$name: zorvane failed: $(cat "$name.log")"
    continue
  fi
  qpdf_ok "$name.pdf" "$name" || continue
  fonts=$(pdffonts "$name.pdf" 2>&1)
  echo "$fonts" | grep -Eq "^$font-90ms-RKSJ-H +CID Type 0 " || fail "$name: pdffonts says $fonts"
  report=$(judge "$name.pdf" "${jv[@]//_/ }") || fail "$name: $report"
done <<<"$CASES"
ink min.pdf || fail "min: no ink"
ink kakugo.pdf || fail "kakugo: no ink"

# Corpus files with Japanese text of their own.
have_corpus || echo "note: no corpus at $CORPUS; real-world files skipped"
for file in "$CORPUS"/files/*cjk*.pdf; do
  [ -f "$file" ] || continue
  name=corpus-$(basename "$file" .pdf)
  if ! "$ZORVANE" "$file" "$name.pdf" -nbp -nbf 'n,第%s頁,HeiseiMin-W3,12' -l "$name.log"; then
    fail "$name: zorvane failed: $(cat "$name.log")"
    continue
  fi
  qpdf_ok "$name.pdf" "$name"
  pdffonts "$name.pdf" 2>/dev/null | grep -q "^HeiseiMin-W3-90ms-RKSJ-H " || fail "$name: no Type 0 font"
  pdftotext -f 1 -l 1 "$name.pdf" - 2>/dev/null | grep -q "第1頁" || fail "$name: 第1頁 not read"
done

# Latin fonts: a UTF-8 format is converted to WinAnsiEncoding, or refused before any output.
"$ZORVANE" in.pdf latin.pdf -nbp -nbf 'n,Página %s,H,9' -l latin.log || fail "latin: $(cat latin.log)"
pdftotext -f 1 -l 1 latin.pdf - | grep -q "^Página 1$" || fail "latin: $(pdftotext -f 1 -l 1 latin.pdf -)"
cp in.pdf before.pdf
if "$ZORVANE" in.pdf refused.pdf -nbp -nbf 'n,页%s,H,9' -l refused.log; then
  fail "refused: a character outside CP1252 was accepted"
fi
grep -qxF '%[ Error: character not in the font'"'"'s encoding: 页%s ]%' refused.log ||
  fail "refused: log says $(cat refused.log)"
[ ! -e refused.pdf ] || fail "refused: an output was left"
cmp -s in.pdf before.pdf || fail "refused: the input changed"

finish
