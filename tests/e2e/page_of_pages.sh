#!/usr/bin/env bash
# "Page 3 of 12": number formats with positional arguments, %1$s the page's number and %2$s the
# last number of the run, end to end. One table row per run, in each font kind (a standard
# Type 1 font, a Japanese CID font, an installed TrueType face): pdftotext must read the
# expected text on every page of the range and nothing on the others, and qpdf --check must
# pass. One row also judges placement by pdftotext -bbox: right-aligned numbers end at the page
# edge and mirrored ones start at the other, so the whole text was measured, not its number.
# Formats that mix plain and positional conversions, or name another argument, are refused.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftotext python3 cmp
[ -d /usr/share/poppler/cMap/Adobe-Japan1 ] || { echo "skipped: poppler-data missing" >&2; exit 77; }
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] ||
  { echo "skipped: DejaVuSans missing (scripts/setup.sh installs it)" >&2; exit 77; }
make_workdir pageofpages
cd "$WORK" || exit 1
make_ten_pages in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }

# expect NAME PDF FIRST LAST TEXT...: pages FIRST to LAST read the texts in turn (one a page);
# the other pages hold no number text.
expect() {
  local name=$1 pdf=$2 first=$3 last=$4
  shift 4
  local page got want
  for page in $(seq 1 10); do
    got=$(pdftotext -f "$page" -l "$page" "$pdf" - 2>/dev/null | grep -v '^Body text$' | tr -s '\n\f' ' ' | sed 's/^ //; s/ $//')
    want=""
    if [ "$page" -ge "$first" ] && [ "$page" -le "$last" ]; then
      want=$1
      shift
    fi
    [ "$got" = "$want" ] || fail "$name: page $page reads '$got', expected '$want'"
  done
}

# row NAME PAGES FORMAT FIRST LAST TEXT...: zorvane -nbp PAGES -nbf FORMAT, judged by expect.
row() {
  local name=$1 pages=$2 format=$3 first=$4 last=$5
  shift 5
  "$ZORVANE" in.pdf "$name.pdf" -nbp "$pages" -nbf "$format" -l "$name.log"
  local status=$?
  [ $status -eq 0 ] || { fail "$name: status $status: $(cat "$name.log")"; return; }
  qpdf_ok "$name.pdf" "$name"
  expect "$name" "$name.pdf" "$first" "$last" "$@"
}

of_ten=()
for n in $(seq 1 10); do of_ten+=("Page $n of 10"); done
for font in H HeiseiMin-W3 DejaVuSans; do
  row "kind-$font" "" "n,Page %1\$s of %2\$s,$font,9" 1 10 "${of_ten[@]}"
done
# The last number is that of the last numbered page, in the run's style, whatever the initial.
row roman-range 3,8,21 'R,%1$s/%2$s,HeiseiMin-W3,9' 3 8 XXI/XXVI XXII/XXVI XXIII/XXVI XXIV/XXVI XXV/XXVI XXVI/XXVI
row lower-truetype 2,4 'r,%2$s-%1$s-%1$s,DejaVuSans,10' 2 4 iii-i-i iii-ii-ii iii-iii-iii
# A range that reaches past the document ends at its last page.
row past-end 9,40 'n,%1$s of %2$s' 9 10 "1 of 2" "2 of 2"
row padded 1,2,7 'n,[%1$3s|%2$-3s],C,9' 1 2 "[ 7|8 ]" "[ 8|8 ]"

# Placement: location 5 (top right), mirrored to 3 (top left) on every second page with -sp.
"$ZORVANE" in.pdf bbox.pdf -nbp -nbf 'n,Page %1$s of %2$s,DejaVuSans,11' -nbs 5,0,0 -sp -l bbox.log ||
  fail "bbox: $(cat bbox.log)"
pdftotext -bbox bbox.pdf bbox.html 2>/dev/null || fail "bbox: pdftotext -bbox failed"
python3 - bbox.html <<'PY' || fail "bbox: the number text is not at the page edges"
import re, sys
pages = re.split(r"<page ", open(sys.argv[1]).read())[1:]
bad = 0
for n, page in enumerate(pages, 1):
    width = float(re.search(r'width="([\d.]+)"', page).group(1))
    words = [(float(a), float(b), w) for a, b, w in
             re.findall(r'xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)" yMax="[\d.]+">([^<]*)<', page)
             if w != "Body" and w != "text"]
    text = " ".join(w for _, _, w in words)
    left, right = min(a for a, _, _ in words), max(b for _, b, _ in words)
    if text != f"Page {n} of 10":
        print(f"page {n}: reads {text!r}"); bad += 1
    elif n % 2 == 1 and abs(right - width) > 0.5:
        print(f"page {n}: text ends at {right}, the page at {width}"); bad += 1
    elif n % 2 == 0 and abs(left) > 0.5:
        print(f"page {n}: text starts at {left}, not at the left edge"); bad += 1
sys.exit(1 if bad else 0)
PY

# Refused formats: the framed line, status 1, no output, the input untouched.
cp in.pdf pristine.pdf
for format in '%1$s of %s' '%s of %2$s' '%3$s' '%0$s' '%1$d of %2$s' '%1$*2$s'; do
  rm -f bad.pdf
  "$ZORVANE" in.pdf bad.pdf -nbp -nbf "n,$format" -l bad.log
  status=$?
  [ $status -eq 1 ] || fail "'$format': status $status"
  grep -qxF "%[ Error: invalid number format: $format ]%" bad.log || fail "'$format': $(cat bad.log)"
  [ -e bad.pdf ] && fail "'$format': output written"
  cmp -s in.pdf pristine.pdf || fail "'$format': the input changed"
done

finish
