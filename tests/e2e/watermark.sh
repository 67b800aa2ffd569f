#!/usr/bin/env bash
# The watermark end to end: documents made at test time by ghostscript and qpdf, stamped by the
# real zorvane binary, checked by qpdf --check and by looking at pdftoppm renders: the stamped
# pages show the watermark where it belongs (under the content, or over it with -up), and every
# other page renders exactly as before. Bad input ends with its error line and status 1 and
# leaves the input as it was, with no output or temporary file behind. Real-world files of the
# shared corpus are stamped too when the corpus is there.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftoppm pdfinfo python3 cmp
make_workdir watermark
cd "$WORK" || exit 1

# ---- documents -------------------------------------------------------------------------------------

make_six_pages in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }
make_red_logo logo.pdf || { echo "cannot make logo.pdf" >&2; exit 1; }
cp in.pdf pristine.pdf
for p in 1 2 3 4 5 6; do render in.pdf "$p" "in-$p.ppm"; done

RED=255,0,0
CENTRED="100 150 300 250"  # the 200x100 watermark centred on the 400x400 page, in pixels
WHOLE="0 0 400 400"

# stamp_run NAME ARGS...: runs zorvane with ARGS (the log in NAME.log); status in $STATUS.
stamp_run() {
  local name=$1
  shift
  "$ZORVANE" "$@" -l "$name.log" >"$name.out" 2>"$name.err"
  STATUS=$?
  [ -s "$name.out" ] && fail "$name: wrote to standard output"
  [ -s "$name.err" ] && fail "$name: wrote to standard error: $(head -3 "$name.err")"
}

# check_stamped NAME PDF BOX MODE: pages 2-5 carry the watermark in BOX (MODE under/over),
# pages 1 and 6 are unchanged.
check_stamped() {
  local name=$1 pdf=$2 box=$3 mode=$4 p
  qpdf_ok "$pdf" "$name"
  [ "$(page_count "$pdf")" = 6 ] || fail "$name: page count $(page_count "$pdf")"
  for p in 1 2 3 4 5 6; do
    render "$pdf" "$p" "$name-$p.ppm" || { fail "$name: page $p does not render"; continue; }
    if [ "$p" -ge 2 ] && [ "$p" -le 5 ]; then
      # shellcheck disable=SC2086
      pixcheck stamp "in-$p.ppm" "$name-$p.ppm" $box "$RED" "$mode" || fail "$name: page $p"
    else
      pixcheck same "in-$p.ppm" "$name-$p.ppm" || fail "$name: page $p changed"
    fi
  done
}

# ---- stamping ----------------------------------------------------------------------------------------

stamp_run under in.pdf under.pdf -wm logo.pdf,2,5
[ "$STATUS" = 0 ] || fail "under: status $STATUS: $(cat under.log)"
check_stamped under under.pdf "$CENTRED" under
grep -q "Error" under.log && fail "under: error in the log: $(cat under.log)"

stamp_run over in.pdf over.pdf -wm logo.pdf,2,5 -up
[ "$STATUS" = 0 ] || fail "over: status $STATUS: $(cat over.log)"
check_stamped over over.pdf "$CENTRED" over

stamp_run fit in.pdf fit.pdf -wm logo.pdf,2,5 -fit
[ "$STATUS" = 0 ] || fail "fit: status $STATUS: $(cat fit.log)"
check_stamped fit fit.pdf "$WHOLE" under

stamp_run fitup in.pdf fitup.pdf -wm logo,2,5 -fit -up
[ "$STATUS" = 0 ] || fail "fit+up: status $STATUS: $(cat fitup.log)"
check_stamped fitup fitup.pdf "$WHOLE" over

cp in.pdf inplace.pdf
stamp_run inplace inplace.pdf -wm logo.pdf,2,5
[ "$STATUS" = 0 ] || fail "in place: status $STATUS: $(cat inplace.log)"
grep -q "^OutputFile: inplace.pdf$" inplace.log || fail "in place: output name line"
check_stamped inplace inplace.pdf "$CENTRED" under

cmp -s in.pdf pristine.pdf || fail "the input changed while other files were written"

# A second stamping of a stamped file stacks a second form under the first one.
stamp_run twice under.pdf twice.pdf -wm logo.pdf,3,3 -up
[ "$STATUS" = 0 ] || fail "twice: status $STATUS"
qpdf_ok twice.pdf twice
render twice.pdf 3 twice-3.ppm && pixcheck colour twice-3.ppm 190 190 210 210 "$RED" || fail "twice: page 3 centre"

# ---- bad input ---------------------------------------------------------------------------------------

# expect_failure NAME LINE ARGS...: status 1, LINE (a framed error) in the log, the input
# unchanged and no new file (output or temporary) left in the directory.
expect_failure() {
  local name=$1 line=$2
  shift 2
  cp pristine.pdf in.pdf
  local before
  before=$(ls -A | grep -v "^$name\." | sort)
  stamp_run "$name" "$@"
  [ "$STATUS" = 1 ] || fail "$name: status $STATUS, expected 1"
  grep -qxF "$line" "$name.log" || fail "$name: no line '$line' in: $(cat "$name.log")"
  cmp -s in.pdf pristine.pdf || fail "$name: the input changed"
  local after
  after=$(ls -A | grep -v "^$name\." | sort)
  [ "$before" = "$after" ] || fail "$name: files left behind: $(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')"
  ls qx*.pdf >/dev/null 2>&1 && fail "$name: temporary file left: $(ls qx*.pdf)"
}

# expect_report NAME FIELD VALUE: the report lines under the error include "FIELD: VALUE".
expect_report() {
  grep -qxF "$2: $3" "$1.log" || fail "$1: no report line '$2: $3' in: $(cat "$1.log")"
}

expect_failure nofile "%[ Error: file not found: nologo.pdf ]%" in.pdf bad.pdf -wm nologo,2,5
expect_failure nofile_inplace "%[ Error: file not found: nologo.pdf ]%" in.pdf -wm nologo.pdf

echo "this is not a PDF" >notpdf.pdf
expect_failure notpdf "%[ Error: cannot open PDF Document: notpdf.pdf ]%" in.pdf bad.pdf -wm notpdf.pdf
grep -q "^Module: " notpdf.log || fail "notpdf: no report lines"

qpdf --allow-weak-crypto --encrypt user owner 40 -- logo.pdf encrypted.pdf
expect_failure encrypted "%[ Error: cannot open PDF Document: encrypted.pdf ]%" in.pdf bad.pdf -wm encrypted.pdf
expect_report encrypted Factor "encrypted document"

qpdf --empty nopages.pdf
expect_failure nopages "%[ Error: cannot get PDF Page: 1 ]%" in.pdf bad.pdf -wm nopages.pdf
grep -q "^Module: " nopages.log || fail "nopages: no report lines"

# Inputs without a MediaBox or without Resources anywhere in their page tree.
python3 - <<'PY'
def write(path, objects):
    out = b"%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body.encode())
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    open(path, "wb").write(out)

catalog = "<< /Type /Catalog /Pages 2 0 R >>"
write("nobox.pdf", [catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << >> >>",
                    "<< /Type /Page /Parent 2 0 R >>"])
write("nores.pdf", [catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 100 100] >>",
                    "<< /Type /Page /Parent 2 0 R >>"])
PY
# No MediaBox anywhere: readers take US Letter, and so does the stamp (with a line in the log).
"$ZORVANE" nobox.pdf out-nobox.pdf -wm logo.pdf -l nobox.log 2>/dev/null || fail "nobox: status"
grep -qxF "MediaBox of page 1 is missing or empty: US Letter assumed" nobox.log ||
  fail "nobox: $(cat nobox.log)"
qpdf_ok out-nobox.pdf nobox
# No Resources anywhere: readers take that as empty ones, and the stamped page gets its own.
"$ZORVANE" nores.pdf out-nores.pdf -wm logo.pdf -nbp -l nores.log 2>/dev/null || fail "nores: status"
qpdf_ok out-nores.pdf nores
qpdf --show-object=3 out-nores.pdf 2>/dev/null | grep -q "/Resources <<.*/XObject.*/Fm1" ||
  fail "nores: the page has no resources of its own"

mkdir outdir
# An output name that is a directory is refused before anything is written.
expect_failure outdir "%[ Error: output is not a regular file: outdir ]%" in.pdf outdir -wm logo.pdf
[ -d outdir ] && [ -z "$(ls -A outdir)" ] || fail "outdir: the directory changed"

expect_failure nodir "%[ Error: cannot save PDF Document: no/such/dir/out.pdf ]%" in.pdf no/such/dir/out.pdf

if [ "$(id -u)" != 0 ]; then
  mkdir readonly && chmod 555 readonly
  expect_failure readonly "%[ Error: cannot save PDF Document: readonly/out.pdf ]%" in.pdf readonly/out.pdf -wm logo.pdf
  [ -z "$(ls -A readonly)" ] || fail "readonly: files left in the directory"
  chmod 755 readonly
else
  echo "note: running as root, the unwritable-directory case is skipped"
fi

# ---- the corpus ----------------------------------------------------------------------------------------

if ! have_corpus; then
  echo "note: no corpus at $CORPUS; real-world files skipped"
  finish
fi

# corpus_case FILE: page 1 gets the watermark over its content, centred on its MediaBox; page 2
# (when there is one) renders as before.
corpus_case() {
  local file=$1 name
  name=$(basename "$file" .pdf)
  "$ZORVANE" "$file" "c-$name.pdf" -wm logo.pdf,1,1 -up -l "c-$name.log" 2>/dev/null
  local status=$?
  if [ "$status" != 0 ]; then
    if grep -q "cannot open PDF Document" "c-$name.log"; then
      echo "note: $name does not open: $(grep '^Factor' "c-$name.log")"
      return
    fi
    # A page without a MediaBox or Resources anywhere in its tree is refused by design.
    if grep -q -e "cannot get MediaBox" -e "cannot get Resources" "c-$name.log"; then
      echo "note: $name is refused: $(grep '^%\[ Error' "c-$name.log")"
      [ -e "c-$name.pdf" ] && fail "corpus $name: output left after a failure"
      return
    fi
    fail "corpus $name: status $status: $(head -6 "c-$name.log" | tr '\n' ' ')"
    return
  fi
  qpdf_ok "c-$name.pdf" "corpus $name" || return
  local pages
  pages=$(page_count "$file")
  [ "$(page_count "c-$name.pdf")" = "$pages" ] || fail "corpus $name: page count changed"
  if [ "$pages" -ge 2 ]; then
    pdftoppm -hide-annotations -r 72 -f 2 -l 2 -singlefile "$file" "o-$name-2" 2>/dev/null
    pdftoppm -hide-annotations -r 72 -f 2 -l 2 -singlefile "c-$name.pdf" "s-$name-2" 2>/dev/null
    pixcheck same "o-$name-2.ppm" "s-$name-2.ppm" || fail "corpus $name: page 2 changed"
  fi
  # Page 1 is judged against a plain rewrite by zorvane itself, so that only the watermark is
  # compared: a file that readers may read in two ways (two startxref, say) must not count.
  "$ZORVANE" "$file" "r-$name.pdf" -l "" 2>/dev/null || { fail "corpus $name: plain rewrite failed"; return; }
  pdftoppm -hide-annotations -r 72 -f 1 -l 1 -singlefile "$file" "x-$name-1" 2>"o-$name-1.err"
  pdftoppm -hide-annotations -r 72 -f 1 -l 1 -singlefile "r-$name.pdf" "o-$name-1" 2>/dev/null
  pdftoppm -hide-annotations -r 72 -f 1 -l 1 -singlefile "c-$name.pdf" "s-$name-1" 2>/dev/null
  # Page content that poppler itself finds malformed (an unmatched Q, an unknown operator inside
  # a text object) makes it drop what follows, our watermark included: such pages are not judged.
  if grep -q "Syntax Error" "o-$name-1.err"; then
    echo "note: $name: poppler reports its page 1 content as malformed; its render is not judged"
    rm -f "o-$name"-* "s-$name"-* "x-$name"-* "c-$name.pdf" "r-$name.pdf"
    return
  fi
  # Where the watermark lands in the render of page 1: upright and centred on the visible page
  # (the CropBox clipped to the MediaBox) as the page's rotation shows it.
  local box
  box=$(pdfinfo -box -f 1 -l 1 "$file" 2>/dev/null | python3 -c '
import re, sys
text = sys.stdin.read()
def box(name):
    m = re.search(r"Page +1 +" + name + r": +([-\d.]+) +([-\d.]+) +([-\d.]+) +([-\d.]+)", text)
    return [float(v) for v in m.groups()] if m else None
# pdftoppm renders the whole MediaBox (it looks at the CropBox only with -cropbox).
media = box("MediaBox")
crop = box("CropBox") or media
rot = re.search(r"Page +1 +rot: +(-?\d+)", text)
rot = int(rot.group(1)) % 360 if rot else 0
if not media or rot % 90:
    sys.exit(0)
crop = [max(crop[0], media[0]), max(crop[1], media[1]), min(crop[2], media[2]), min(crop[3], media[3])]
width, height = media[2] - media[0], media[3] - media[1]
cx, cy = (crop[0] + crop[2]) / 2, (crop[1] + crop[3]) / 2
def turn(u, v):  # unrotated render position -> position after turning clockwise by rot
    return {0: (u, v), 90: (height - v, u), 180: (width - u, height - v), 270: (v, width - u)}[rot]
x, y = turn(cx - media[0], media[3] - cy)
print(round(x - 100), round(y - 50), round(x + 100), round(y + 50))
')
  if [ -n "$box" ]; then
    # shellcheck disable=SC2086
    pixcheck stamp "o-$name-1.ppm" "s-$name-1.ppm" $box "$RED" over || fail "corpus $name: page 1 watermark"
  else
    echo "note: $name: page 1 has no usable box; its render is not judged"
  fi
  rm -f "o-$name"-* "s-$name"-* "x-$name"-* "c-$name.pdf" "r-$name.pdf"
}

CORPUS_FILES=0
for file in $(plain_corpus_files); do
  corpus_case "$CORPUS/files/$file"
  CORPUS_FILES=$((CORPUS_FILES + 1))
done
echo "corpus: $CORPUS_FILES file(s) stamped"

finish
