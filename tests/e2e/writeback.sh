#!/usr/bin/env bash
# Hand-made minimal PDFs (writeback_files.py), one per row, each with one oddity that other
# writers produce: page trees without "Type", direct kids or "Count", names and numbers that must
# read back the same, an object number reused after a cross-reference stream, object streams
# with abbreviated filter names, a damaged header, contents that leave states open, odd boxes.
# Each is numbered by the real zorvane binary; the table says whether the run must succeed (and
# then what readers must find in the output) or fail with its framed line.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftotext python3
make_workdir writeback
cd "$WORK" || exit 1
python3 "$E2E_DIR/writeback_files.py" || { echo "cannot make the files" >&2; exit 1; }

# name | expected | checks (space-separated; see check below)
ROWS="
notype     | ok   | number Hello
misspelt   | ok   | number Hello
directkid  | ok   | number Hello
nocount    | ok   | number Hello
nopages    | fail | line:no_page_in_PDF_Document
nocatalog  | fail | line:no_page_in_PDF_Document
names      | ok   | show:1:/E_/ show:1:/H_/A#ffB show:3:/F#1_5_0_R
numbers    | ok   | number has:595.2_842.4] has:/Big_40000.5 has:/Small_0.1 not:842.400024
reused     | ok   | number Reused
objstm-Fl  | ok   | number Hello
objstm-AHx | ok   | number Hello
objstm-A85 | ok   | number Hello
badheader  | ok   | number Hello line:damaged_file_repaired
openq      | ok   | number Hello
openarray  | ok   | number Hello
opendict   | ok   | number Hello
swappedbox | ok   | number has:/MediaBox_[0_0_300_300]
emptybox   | ok   | number line:US_Letter_assumed has:/MediaBox_[0_0_612_792]
nobox      | ok   | number line:US_Letter_assumed has:/MediaBox_[0_0_612_792]
"

# check NAME CHECK: one check on the output NAME.pdf (its text through qpdf's rewrite, which
# every reader can open) or the log NAME.log; "_" stands for a blank.
check() {
  local name=$1 what=${2%%:*} arg=${2#*:}
  arg=${arg//_/ }
  case $what in
    number)
      # The page number, upright and at its size (not shrunk by a matrix the content left).
      python3 - "$name.bbox" <<'PY' || fail "$name: no page number of size 12 in $(tr '\n' ' ' <"$name.txt")"
import re, sys
words = re.findall(r'yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">Page1<', open(sys.argv[1]).read())
sys.exit(0 if any(8 < float(b) - float(a) < 14 for a, b in words) else 1)
PY
      ;;
    line) grep -q -- "$arg" "$name.log" || fail "$name: no line \"$arg\" in the log" ;;
    has) grep -aqF -- "$arg" "$name.pdf" || fail "$name: output lacks \"$arg\"" ;;
    not) grep -aqF -- "$arg" "$name.pdf" && fail "$name: output holds \"$arg\"" ;;
    show)
      qpdf --show-object="${arg%%:*}" "$name.pdf" 2>/dev/null | grep -qF -- "${arg#*:}" ||
        fail "$name: object ${arg%%:*} lacks \"${arg#*:}\""
      ;;
    *) grep -qF -- "$2" "$name.txt" || fail "$name: text \"$2\" not found" ;;
  esac
}

while IFS='|' read -r name expected checks; do
  name=$(echo "$name" | tr -d ' ')
  [ -n "$name" ] || continue
  expected=$(echo "$expected" | tr -d ' ')
  rm -f "$name.pdf" "$name.log"
  : >"$name.txt"
  : >"$name.bbox"
  "$ZORVANE" "$name-in.pdf" "$name.pdf" -nbp -nbf n,Page%s,CB,12 -l "$name.log" 2>/dev/null
  status=$?
  if [ "$expected" = fail ]; then
    [ $status -eq 1 ] || fail "$name: exit status $status, not 1"
    [ ! -e "$name.pdf" ] || fail "$name: an output was written"
    grep -q '^%\[ Error: ' "$name.log" || fail "$name: no framed error line"
  elif [ $status -ne 0 ]; then
    fail "$name: exit status $status: $(grep -e Error -e Factor "$name.log" | tr '\n' ' ')"
    continue
  else
    # The input needs no repair from qpdf? Then the output must pass its check as well.
    if qpdf --check "$name-in.pdf" >/dev/null 2>&1; then qpdf_ok "$name.pdf" "$name"; fi
    qpdf "$name.pdf" "$name-qpdf.pdf" 2>/dev/null
    pdftotext "$name-qpdf.pdf" "$name.txt" 2>/dev/null
    pdftotext -bbox "$name-qpdf.pdf" "$name.bbox" 2>/dev/null
  fi
  for c in $checks; do check "$name" "$c"; done
done <<<"$ROWS"
finish
