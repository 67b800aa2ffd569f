#!/usr/bin/env bash
# Hand-made one-page PDFs (writeback_files.py), each with one oddity that other writers produce,
# numbered by the real zorvane binary. A row says whether the run must fail with its framed line
# or succeed, and then what readers must find: the number upright at its size ("number"), a text,
# a log line, bytes of the output, or an object as qpdf shows it ("_" stands for a blank).
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftotext python3
make_workdir writeback
cd "$WORK" || exit 1
python3 "$E2E_DIR/writeback_files.py" || { echo "cannot make the files" >&2; exit 1; }

ROWS="
notype     ok   number Hello
misspelt   ok   number Hello
directkid  ok   number Hello
nocount    ok   number Hello
nopages    fail line:no_page_in_PDF_Document
nocatalog  ok   number Hello line:damaged_trailer_Root_replaced_by_catalog
names      ok   show:1:/E_/ show:1:/H_/A#ffB show:3:/F#1_5_0_R
numbers    ok   number has:595.2_842.4] has:/Big_40000.5 has:/Small_0.1 not:842.400024
reused     ok   number Reused
objstm-Fl  ok   number Hello
objstm-AHx ok   number Hello
objstm-A85 ok   number Hello
badheader  ok   number Hello line:damaged_file_repaired
openq      ok   number Hello
openarray  ok   number Hello
opendict   ok   number Hello
swappedbox ok   number has:/MediaBox_[0_0_300_300]
emptybox   ok   number line:US_Letter_assumed has:/MediaBox_[0_0_612_792]
nobox      ok   number line:US_Letter_assumed has:/MediaBox_[0_0_612_792]
"

check() {
  local name=$1 what=${2%%:*} arg=${2#*:}
  arg=${arg//_/ }
  case $what in
    number)
      awk -F'"' '/>Page1</ { h = $8 - $4; if (h > 8 && h < 14) found = 1 } END { exit !found }' \
        "$name.bbox" || fail "$name: no page number of size 12 in $(tr '\n' ' ' <"$name.txt")" ;;
    line) grep -q -- "$arg" "$name.log" || fail "$name: no line \"$arg\" in the log" ;;
    has) grep -aqF -- "$arg" "$name.pdf" || fail "$name: output lacks \"$arg\"" ;;
    not) grep -aqF -- "$arg" "$name.pdf" && fail "$name: output holds \"$arg\"" ;;
    show) qpdf --show-object="${arg%%:*}" "$name.pdf" 2>/dev/null | grep -qF -- "${arg#*:}" ||
      fail "$name: object ${arg%%:*} lacks \"${arg#*:}\"" ;;
    *) grep -qF -- "$2" "$name.txt" || fail "$name: text \"$2\" not found" ;;
  esac
}

while read -r name expected checks; do
  [ -n "$name" ] || continue
  "$ZORVANE" "$name-in.pdf" "$name.pdf" -nbp -nbf n,Page%s,CB,12 -l "$name.log" 2>/dev/null
  status=$?
  : >"$name.txt"
  : >"$name.bbox"
  if [ "$expected" = fail ]; then
    [ $status -eq 1 ] && [ ! -e "$name.pdf" ] && grep -q '^%\[ Error: ' "$name.log" ||
      fail "$name: status $status, not a failure with its framed line and no output"
  elif [ $status -ne 0 ]; then
    fail "$name: exit status $status: $(grep -e Error -e Factor "$name.log" | tr '\n' ' ')"
    continue
  else
    # An input that qpdf checks clean gives an output that it checks clean. The text is read
    # from qpdf's rewrite, which every reader opens.
    if qpdf --check "$name-in.pdf" >/dev/null 2>&1; then qpdf_ok "$name.pdf" "$name"; fi
    qpdf "$name.pdf" "$name-qpdf.pdf" 2>/dev/null
    pdftotext "$name-qpdf.pdf" "$name.txt" 2>/dev/null
    pdftotext -bbox "$name-qpdf.pdf" "$name.bbox" 2>/dev/null
  fi
  for c in $checks; do check "$name" "$c"; done
done <<<"$ROWS"
finish
