#!/usr/bin/env bash
# Damaged one-page files that readers open (tests/support/mini_pdf.py, DAMAGED kinds), each with
# its page intact behind a damaged way to it: the run repairs the way, says so in one log line,
# and stamps the page as readers show it. A row gives the kind and the warning line ("~" stands
# for a blank). A repaired file is never updated in place (-inc), and a file without any page
# still fails.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftotext pdftoppm ps2pdf python3
make_workdir repair
cd "$WORK" || exit 1

make_red_logo w.pdf 50 50 || { echo "cannot make the watermark" >&2; exit 1; }

ROWS="
damaged_token  damaged~object~read~in~part:~2~0
damaged_key    damaged~object~read~in~part:~1~0
not_objstm     damaged~file~repaired:~not_objstm-in.pdf
no_root        damaged~trailer~Root~replaced~by~catalog:~1~0
root_missing   damaged~trailer~Root~replaced~by~catalog:~1~0
root_not_dict  damaged~trailer~Root~replaced~by~catalog:~1~0
bad_trailer    damaged~file~repaired:~bad_trailer-in.pdf
pages_is_page  damaged~page~tree~replaced~by~1~page(s)~found~in~the~file
pages_missing  damaged~page~tree~replaced~by~1~page(s)~found~in~the~file
content_token  damaged~object~read~in~part:~4~0
kids_empty     damaged~page~tree~replaced~by~1~page(s)~found~in~the~file
kids_null      damaged~page~tree~replaced~by~1~page(s)~found~in~the~file
"

while read -r kind warning; do
  [ -n "$kind" ] || continue
  warning=${warning//\~/ }
  python3 "$SOURCE_DIR/tests/support/mini_pdf.py" "$kind" "$kind-in.pdf" || { fail "$kind: cannot make it"; continue; }
  "$ZORVANE" "$kind-in.pdf" "$kind.pdf" -wm w.pdf -nbp -nbf n,Page%s,CB,12 -l "$kind.log" 2>/dev/null
  status=$?
  if [ $status -ne 0 ]; then
    fail "$kind: exit status $status: $(grep -e Error -e Message "$kind.log" | tr '\n' ' ')"
    continue
  fi
  [ "$(grep -cxF -- "$warning" "$kind.log")" -eq 1 ] || fail "$kind: not one line \"$warning\" in the log"
  qpdf_ok "$kind.pdf" "$kind"
  pdftotext "$kind.pdf" - 2>/dev/null | grep -q "Page1" || fail "$kind: no page number in the text"
  # The page's own blue square (10..60 from the lower left of 200x200) and the centred watermark.
  render "$kind.pdf" 1 "$kind.ppm"
  pixcheck colour "$kind.ppm" 10 140 60 190 0,0,255 || fail "$kind: the page's own drawing is gone"
  pixcheck colour "$kind.ppm" 75 75 125 125 255,0,0 || fail "$kind: no watermark"
  "$ZORVANE" "$kind-in.pdf" "$kind-inc.pdf" -inc -nbp -l "$kind-inc.log" 2>/dev/null
  [ $? -eq 1 ] && [ ! -e "$kind-inc.pdf" ] || fail "$kind: -inc did not refuse the repaired file"
done <<<"$ROWS"

# Content that ends inside marked content which is hidden (optional content off): the stamps
# drawn over it are drawn outside it, and show.
python3 "$SOURCE_DIR/tests/support/mini_pdf.py" open_hidden_content hidden-in.pdf
if "$ZORVANE" hidden-in.pdf hidden.pdf -wm w.pdf -up -nbp -nbf n,Page%s,CB,12 -l hidden.log 2>/dev/null; then
  pdftotext hidden.pdf - 2>/dev/null | grep -q "Page1" || fail "open marked content: no page number shown"
  render hidden.pdf 1 hidden.ppm
  pixcheck colour hidden.ppm 75 75 125 125 255,0,0 || fail "open marked content: no watermark shown"
else
  fail "open marked content: not stamped"
fi

# Files without any page, also when an update deleted the one page that older sections hold.
for kind in no_page_anywhere page_deleted kid_deleted; do
  python3 "$SOURCE_DIR/tests/support/mini_pdf.py" $kind $kind-in.pdf
  "$ZORVANE" $kind-in.pdf $kind.pdf -nbp -l $kind.log 2>/dev/null
  [ $? -eq 1 ] && [ ! -e $kind.pdf ] && grep -q "no page in PDF Document" $kind.log ||
    fail "$kind: not refused with \"no page in PDF Document\""
done
finish
