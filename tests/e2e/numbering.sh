#!/usr/bin/env bash
# Page numbers end to end: documents made at test time by ghostscript, qpdf and a small writer
# of our own, numbered by the real zorvane binary at each of the eight locations, with and
# without offsets and -sp, and judged by poppler: pdftotext -bbox finds each number where the
# placement rule puts it (within 0.5 pt) and on no page outside the range, qpdf --check passes,
# and pdftoppm renders show the number's ink. Real-world files of the shared corpus get the
# same treatment when the corpus is there.
#
# pdftotext reports a word's glyph box, not its baseline: the box reaches from the baseline
# down by the font's descent and up by its ascent as poppler knows them. Those two values are
# measured once per font on a case whose baseline is known (location 1 without offsets: x is
# the box's left edge, y the descent depth), checked against the font's own metrics, and then
# used to turn every other box back into a baseline.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf gs qpdf pdftotext pdftoppm pdfinfo pdffonts python3 cmp
make_workdir numbering
cd "$WORK" || exit 1
CHECK="python3 $E2E_DIR/numbering_check.py"

# ---- documents -------------------------------------------------------------------------------------

# Six pages of two sizes (400x300 and 300x500), with body text that holds no digits.
cat >doc.ps <<'PS'
%!PS
/Helvetica findfont 14 scalefont setfont
1 1 6 {
  2 mod 1 eq { << /PageSize [400 300] >> } { << /PageSize [300 500] >> } ifelse setpagedevice
  0 setgray
  100 140 moveto (Body text here) show
  showpage
} for
PS
ps_to_pdf doc.ps gs.pdf || { echo "cannot make gs.pdf" >&2; exit 1; }
qpdf --linearize gs.pdf lin.pdf || { echo "cannot make lin.pdf" >&2; exit 1; }

# Six pages that inherit a MediaBox away from the origin and one resource dictionary from the
# page tree, each with a grey block in the middle.
python3 - <<'PY'
count = 6
content = b"0.5 g 150 200 100 50 re f"
objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
           b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % (3 + i) for i in range(count)) +
           b"] /Count %d /MediaBox [50 100 450 400] /Resources << /ProcSet [/PDF] >> >>" % count]
objects += [b"<< /Type /Page /Parent 2 0 R /Contents %d 0 R >>" % (3 + count) for _ in range(count)]
objects.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content) + 1, content))
out = b"%PDF-1.4\n"
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(out))
    out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open("origin-raw.pdf", "wb").write(out)
PY
qpdf --object-streams=disable origin-raw.pdf origin.pdf || { echo "cannot make origin.pdf" >&2; exit 1; }

# stamp NAME IN ARGS...: numbers IN into NAME.pdf (log NAME.log); status in $STATUS.
stamp() {
  local name=$1 input=$2
  shift 2
  "$ZORVANE" "$input" "$name.pdf" "$@" -l "$name.log" >"$name.out" 2>"$name.err"
  STATUS=$?
  [ -s "$name.out" ] && fail "$name: wrote to standard output"
  [ -s "$name.err" ] && fail "$name: wrote to standard error: $(head -3 "$name.err")"
  return 0
}

# numbered NAME IN ZORVANE-ARGS -- CHECK-ARGS: a run that must succeed, pass qpdf --check and
# show its numbers where they belong.
numbered() {
  local name=$1 input=$2 zargs=() cargs=()
  shift 2
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do zargs+=("$1"); shift; done
  shift
  cargs=("$@")
  stamp "$name" "$input" "${zargs[@]}"
  if [ "$STATUS" != 0 ]; then
    fail "$name: status $STATUS: $(grep -v 'at:' "$name.log" | head -5 | tr '\n' ' ')"
    return 1
  fi
  qpdf_ok "$name.pdf" "$name" || return 1
  local report
  report=$($CHECK places "$name.pdf" "${cargs[@]}" 2>&1) || { fail "$name: $report"; return 1; }
  [ "$(page_count "$name.pdf")" = "$(page_count "$input")" ] || fail "$name: page count changed"
}

# ---- calibration -------------------------------------------------------------------------------------

# calibrate FONT ABBREVIATION: "DESCENT ASCENT" of FONT at 12 pt as pdftotext's boxes show them,
# from page 2 of gs.pdf (box at the origin) numbered 7 at location 1 without offsets.
calibrate() {
  local font=$1 abbreviation=$2 descent=$3
  stamp "calibrate-$font" gs.pdf -nbp 2,2,7 -nbf "n,%s,$abbreviation,12" -nbs 1
  [ "$STATUS" = 0 ] || { echo "calibration run failed: $(cat "calibrate-$font.log")" >&2; exit 1; }
  # The baseline of location 1: x 0, y = 12 * descent depth / 1000.
  $CHECK calibrate "calibrate-$font.pdf" 2 7 12 0 "$(python3 -c "print(12 * $descent / 1000)")"
}
read -r HELV_DESCENT HELV_ASCENT < <(calibrate Helvetica H 207) || true
read -r COUR_DESCENT COUR_ASCENT < <(calibrate Courier C 157) || true
[ -n "${HELV_DESCENT:-}" ] && [ -n "${COUR_DESCENT:-}" ] || { echo "calibration failed" >&2; exit 1; }
echo "pdftotext's glyph box: Helvetica $HELV_DESCENT .. $HELV_ASCENT, Courier $COUR_DESCENT .. $COUR_ASCENT (thousandths of the size)"
# poppler measures the standard fonts with the same Adobe metrics as our font descriptors.
python3 - "$HELV_DESCENT" "$HELV_ASCENT" "$COUR_DESCENT" "$COUR_ASCENT" <<'PY' || fail "calibration differs from the fonts' metrics"
import sys
got = [float(v) for v in sys.argv[1:]]
want = [-207, 718, -157, 629]
sys.exit(0 if all(abs(g - w) <= 15 for g, w in zip(got, want)) else 1)
PY
HELV=("$HELV_DESCENT" "$HELV_ASCENT")
COUR=("$COUR_DESCENT" "$COUR_ASCENT")

# ---- the generated documents -------------------------------------------------------------------------

# inward_offsets L: offsets in millimetres that move location L towards the middle of the page.
inward_offsets() {
  case $1 in
    1 | 2 | 8) echo "6 4" ;;
    3 | 4) echo "6 -4" ;;
    5) echo "-6 -4" ;;
    6 | 7) echo "-6 4" ;;
  esac
}

for doc in gs lin origin; do
  # -nbp alone: every page, 1 to 6, Helvetica 9 at the bottom centre, 5 mm above the descent.
  numbered "$doc-default" "$doc.pdf" -nbp -- "${HELV[@]}" --default-offsets --size 9
  for location in 1 2 3 4 5 6 7 8; do
    read -r ox oy < <(inward_offsets "$location")
    numbered "$doc-l$location" "$doc.pdf" -nbp 2,5,7 -nbf n,%s,H,12 -nbs "$location" -- \
      "${HELV[@]}" --first 2 --last 5 --initial 7 --size 12 --location "$location"
    numbered "$doc-l$location-off" "$doc.pdf" -nbp 2,5,7 -nbf n,%s,H,12 -nbs "$location,$ox,$oy" -- \
      "${HELV[@]}" --first 2 --last 5 --initial 7 --size 12 --location "$location" --offset-x "$ox" --offset-y "$oy"
    numbered "$doc-l$location-sp" "$doc.pdf" -nbp 2,5,7 -nbf n,%s,H,12 -nbs "$location,$ox,$oy" -sp -- \
      "${HELV[@]}" --first 2 --last 5 --initial 7 --size 12 --location "$location" --offset-x "$ox" --offset-y "$oy" --spread
  done
done

# Style, format, font and size.
numbered roman gs.pdf -nbp 2,0,4 -nbf "r,Page %s,C,10" -nbs 4 -- \
  "${COUR[@]}" --first 2 --initial 4 --style r --format "Page %s" --font Courier --size 10 --location 4
numbered roman-upper gs.pdf -nbp 1,3,1998 -nbf "R,- %s -,C,11" -nbs 6,-3 -sp -- \
  "${COUR[@]}" --first 1 --last 3 --initial 1998 --style R --format "- %s -" --font Courier --size 11 --location 6 --offset-x -3 --spread
$CHECK box roman-upper.pdf 2 "- MCMXCIX -" >/dev/null || fail "roman-upper: page 2 is not MCMXCIX"
numbered bold gs.pdf -nbp -nbf n,%s,HB -- "${HELV[@]}" --default-offsets --size 9
pdffonts bold.pdf 2>/dev/null | grep -q "^Helvetica-Bold " || fail "bold: no Helvetica-Bold in $(pdffonts bold.pdf 2>&1)"
numbered badsize gs.pdf -nbp -nbf n,%s,H,-3 -- "${HELV[@]}" --default-offsets --size 9
numbered range gs.pdf -nbp 3,5,10 -- "${HELV[@]}" --first 3 --last 5 --initial 10 --default-offsets --size 9
numbered nothing gs.pdf -nbp 1,-1 -- "${HELV[@]}" --first 1 --last -1
numbered location9 gs.pdf -nbp -nbs 9,0,0 -- "${HELV[@]}" --location 8

# Numbers over a watermark: both show.
cat >logo.ps <<'PS'
%!PS
<< /PageSize [200 100] >> setpagedevice
0.8 0.8 1 setrgbcolor 0 0 200 100 rectfill
showpage
PS
ps_to_pdf logo.ps logo.pdf || { echo "cannot make logo.pdf" >&2; exit 1; }
numbered watermarked gs.pdf -wm logo.pdf -nbp -nbs 2 -- "${HELV[@]}" --location 2 --size 9

# The renders: the number's box has ink after stamping and none before.
render_check() {
  local name=$1 input=$2 page=$3 text=$4 area
  area=$($CHECK box "$name.pdf" "$page" "$text") || { fail "$name: $area"; return; }
  render "$input" "$page" "before-$name-$page.ppm" && render "$name.pdf" "$page" "after-$name-$page.ppm" ||
    { fail "$name: page $page does not render"; return; }
  # shellcheck disable=SC2086
  $CHECK dark "before-$name-$page.ppm" "after-$name-$page.ppm" $area || fail "$name: render of page $page"
}
render_check gs-default gs.pdf 3 3
render_check gs-l5-sp gs.pdf 3 8
render_check origin-l2-off origin.pdf 4 9
render_check roman gs.pdf 2 "Page iv"

# ---- failures ------------------------------------------------------------------------------------------

cp gs.pdf pristine.pdf
stamp nofont gs.pdf -nbp -nbf n,%s,No-Such-Font
[ "$STATUS" = 1 ] || fail "nofont: status $STATUS"
grep -qxF "%[ Error: cannot create PDF Font: No,Such,Font ]%" nofont.log || fail "nofont: $(cat nofont.log)"
grep -q "^Module: " nofont.log || fail "nofont: no report lines"
[ -e nofont.pdf ] && fail "nofont: output left behind"
cmp -s gs.pdf pristine.pdf || fail "nofont: the input changed"
ls qx*.pdf >/dev/null 2>&1 && fail "nofont: temporary file left"

stamp badformat gs.pdf -nbp -nbf 'n,%s%n'
[ "$STATUS" = 1 ] || fail "badformat: status $STATUS"
grep -qxF "%[ Error: invalid number format: %s%n ]%" badformat.log || fail "badformat: $(cat badformat.log)"
[ -e badformat.pdf ] && fail "badformat: output written"

# ---- the corpus ----------------------------------------------------------------------------------------

if ! have_corpus; then
  echo "note: no corpus at $CORPUS; real-world files skipped"
  finish
fi

# gs_shows PDF PAGES: ghostscript's text of PDF holds 7001 .. 700<PAGES>.
gs_shows() {
  local text n
  text=$(gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=txtwrite -sOutputFile=- "$1" 2>/dev/null)
  for n in $(seq 1 "$2"); do
    grep -q "700$n" <<<"$text" || { echo "no 700$n in ghostscript's text"; return 1; }
  done
}

# corpus_case FILE: pages 1 to 3 numbered 7001.. at each location; odd locations with inward
# offsets and -sp. Two kinds of page are judged by ghostscript's text instead of pdftotext's
# boxes: rotated pages (pdftotext reads them turned, and drops a glyph that touches the edge
# there), and pages whose own content poppler complains about: it stops reading a page's
# content at some errors (a "Q" without its "q", an unknown operator inside a text object), and
# whatever is drawn after that, our number too, is lost to it.
corpus_case() {
  local file=$1 name location ox oy judge=places complaints
  name=c-$(basename "$file" .pdf)
  complaints=$(pdftotext "$file" /dev/null 2>&1)
  if grep -q "Syntax Error" <<<"$complaints"; then
    judge=ghostscript
    echo "note: $(basename "$file"): poppler reports '$(grep -m1 "Syntax Error" <<<"$complaints")' on the input; judged with ghostscript"
  elif pdfinfo -f 1 -l 3 "$file" 2>/dev/null | grep -qE "^Page +[0-9]+ rot: +(90|180|270)"; then
    judge=ghostscript
    echo "note: $(basename "$file"): rotated pages; judged with ghostscript"
  fi
  local pages
  pages=$(page_count "$file")
  [ "${pages:-0}" -gt 3 ] && pages=3
  for location in 1 2 3 4 5 6 7 8; do
    local zextra=() cextra=()
    if [ $((location % 2)) = 1 ]; then
      read -r ox oy < <(inward_offsets "$location")
      zextra=(-nbs "$location,$ox,$oy" -sp)
      cextra=(--offset-x "$ox" --offset-y "$oy" --spread)
    else
      zextra=(-nbs "$location")
    fi
    stamp "$name" "$file" -nbp 1,3,7001 -nbf n,%s,H,12 "${zextra[@]}"
    if [ "$STATUS" != 0 ]; then
      if grep -q -e "cannot open PDF Document" -e "cannot get MediaBox" -e "cannot get Resources" "$name.log"; then
        echo "note: $(basename "$file") is refused: $(grep -m1 '^%\[ Error' "$name.log") $(grep -m1 '^Factor' "$name.log")"
        [ -e "$name.pdf" ] && fail "corpus $name: output left after a failure"
        return
      fi
      fail "corpus $name (location $location): status $STATUS: $(grep -v 'at:' "$name.log" | head -5 | tr '\n' ' ')"
      return
    fi
    qpdf_ok "$name.pdf" "corpus $name (location $location)" || return
    local report
    if [ "$judge" = ghostscript ]; then
      report=$(gs_shows "$name.pdf" "$pages") || fail "corpus $name (location $location): $report"
      rm -f "$name.pdf"
      continue
    fi
    report=$($CHECK places "$name.pdf" "${HELV[@]}" --first 1 --last 3 --initial 7001 --size 12 \
      --location "$location" "${cextra[@]}" 2>&1) ||
      fail "corpus $name (location $location): $report"
    rm -f "$name.pdf"
  done
  CORPUS_DONE=$((CORPUS_DONE + 1))
}

# ---- the compressing worker: the same bytes on one thread or two ----------------------------------
# Many batches of the worker's and more pages than are held back before writing.
python3 "$SOURCE_DIR/bench/gen_pages.py" 700 many.pdf
make_red_logo logo.pdf
for threads in 1 2; do
  ZORVANE_THREADS=$threads "$ZORVANE" many.pdf "many-$threads.pdf" -wm logo.pdf -nbp -l "" ||
    fail "threads $threads: run failed"
  sed 's/D:[0-9]\{14\}[^)]*//' "many-$threads.pdf" >"many-$threads.cmp"
done
qpdf_ok many-2.pdf "threads 2"
cmp -s many-1.cmp many-2.cmp || fail "the output depends on the thread count"
[ "$(pdftotext -f 700 -l 700 many-2.pdf - | grep -c '^700$')" = 1 ] || fail "threads 2: page 700 not numbered"

CORPUS_DONE=0
for file in $(plain_corpus_files); do
  corpus_case "$CORPUS/files/$file"
done
echo "corpus: $CORPUS_DONE file(s) numbered at all eight locations"

finish
