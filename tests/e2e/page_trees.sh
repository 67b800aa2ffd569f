#!/usr/bin/env bash
# Files that readers open although their structure is off, each made by tests/support/mini_pdf.py
# (page trees, headers) or by qpdf --encrypt with one entry edited (security handlers), numbered
# by the real zorvane binary. A row gives the pages readers show and the warning the log must
# hold; the output must pass qpdf --check, hold that many pages numbered in order (pdftotext),
# and render (pdftoppm). A file that needed mending is refused by -inc.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftotext pdftoppm pdfinfo python3
make_workdir page-trees
cd "$WORK" || exit 1
MINI=$SOURCE_DIR/tests/support/mini_pdf.py

# edit_pdf IN OUT OLD NEW: IN with its first OLD replaced by NEW, its table rebuilt.
edit_pdf() {
  python3 - "$@" <<'PY'
import re, sys
src, out, old, new = sys.argv[1:5]
data = open(src, "rb").read()
assert old.encode() in data, old
data = data.replace(old.encode(), new.encode(), 1)
head = data[:data.rindex(b"\nxref\n") + 1]
trailer = re.sub(rb"startxref\s+\d+", b"startxref\n%d" % len(head), data[data.index(b"trailer", len(head)):])
offsets = {int(m.group(1)): m.start(1) for m in re.finditer(rb"(?m)^(\d+) 0 obj", head)}
table = b"xref\n0 %d\n0000000000 65535 f \n" % (max(offsets) + 1) + b"".join(
    b"%010d 00000 n \n" % offsets[i] if i in offsets else b"0000000000 00000 f \n"
    for i in range(1, max(offsets) + 1))
open(out, "wb").write(head + table + trailer)
PY
}

# name pages password warning (blanks as "_")
ROWS="
count_over     3 - page_count_of_node_2_0_corrected:_3,_not_5
count_max      3 - page_count_of_node_2_0_corrected:_3,_not_2147483647
count_under    3 - page_count_of_node_2_0_corrected:_3,_not_1
count_inner    3 - page_count_of_node_4_0_corrected:_2,_not_7
node_twice     4 - page_tree_node_4_0_listed_twice
tree_loop      2 - page_tree_loops:_kid_2_0_of_node_4_0_left_out
deep_tree      1 - page_count_of_node_
direct_orphan  1 - page_1_of_node_2_0_given_its_Parent
header_nominor 1 - damaged_file_repaired
header_damaged 1 - damaged_file_repaired
header_late    1 - damaged_file_repaired
header_none    1 - damaged_file_repaired
p_unsigned     1 u permissions_P_4294967292_read_as_-4
length_124     1 u encryption_key_length_taken_as_128_bits,_not_120
length_bytes   1 u encryption_key_length_taken_as_128_bits,_not_40
length_missing 1 u encryption_key_length_taken_as_128_bits,_not_40
"
for kind in count_over count_max count_under count_inner node_twice tree_loop deep_tree deep_counted direct_orphan \
  header_nominor header_damaged header_late header_none loop_only plain; do
  python3 "$MINI" "$kind" "$kind.pdf" || { echo "cannot make $kind" >&2; exit 1; }
done
W=--allow-weak-crypto
qpdf $W --encrypt u o 128 --use-aes=n -- plain.pdf rc4.pdf 2>/dev/null &&
  edit_pdf rc4.pdf p_unsigned.pdf "/P -4" "/P 4294967292" &&
  edit_pdf rc4.pdf length_124.pdf "/Length 128" "/Length 124" &&
  edit_pdf rc4.pdf length_bytes.pdf "/Length 128" "/Length 16" &&
  edit_pdf rc4.pdf length_missing.pdf "/Length 128 " "" || { echo "cannot encrypt" >&2; exit 1; }
echo u >pw.txt

while read -r name pages password warning; do
  [ -n "$name" ] || continue
  pw=()
  [ "$password" = - ] || pw=(-pw pw.txt)
  password=${password#-}
  if ! "$ZORVANE" "$name.pdf" out-$name.pdf -nbp -nbf n,Pg%s,CB,12 "${pw[@]}" -l $name.log 2>/dev/null; then
    fail "$name: not stamped: $(grep -e Error -e Factor $name.log | tr '\n' ' ')"
    continue
  fi
  grep -qF -- "${warning//_/ }" $name.log || fail "$name: no line \"${warning//_/ }\" in the log"
  report=$(qpdf --check --password="$password" out-$name.pdf 2>&1) ||
    fail "$name: qpdf --check: $(echo "$report" | tail -2 | tr '\n' ' ')"
  shown=$(pdfinfo -upw "$password" out-$name.pdf 2>/dev/null | awk '/^Pages:/ { print $2 }')
  [ "$shown" = "$pages" ] || fail "$name: $shown pages, not $pages"
  numbers=$(pdftotext -upw "$password" out-$name.pdf - 2>/dev/null | grep -o 'Pg[0-9]*' | tr '\n' ' ')
  [ "$numbers" = "$(seq -f 'Pg%g' -s ' ' 1 "$pages") " ] || fail "$name: numbers \"$numbers\""
  pdftoppm -upw "$password" -r 20 -f 1 -l 1 out-$name.pdf page 2>/dev/null && ls page*.ppm >/dev/null 2>&1 ||
    fail "$name: page 1 does not render"
  rm -f page*.ppm
  case $name in
    header_*) [ "$(head -c 8 out-$name.pdf)" = "%PDF-1.6" ] || fail "$name: header $(head -c 8 out-$name.pdf)" ;;
    # The page inherits its node's 300 x 300 MediaBox, not a Letter page assumed for none.
    direct_orphan) pdfinfo out-$name.pdf | grep -q "^Page size: *300 x 300" ||
      fail "$name: $(pdfinfo out-$name.pdf | grep '^Page size')" ;;
    # 5,000 nodes without a Count: a few named, the rest counted in one line.
    deep_tree) [ "$(grep -c '^page count of' $name.log)" -le 3 ] && grep -q "^page counts of 4997 more" $name.log ||
      fail "$name: $(grep -c '^page count of' $name.log) count lines in the log" ;;
  esac
done <<<"$ROWS"

# An update in place would leave the mended tree behind: refused, the input untouched.
cp count_over.pdf inc.pdf
"$ZORVANE" inc.pdf -inc -nbp -l inc.log 2>/dev/null && fail "-inc: a mended tree was updated in place"
cmp -s inc.pdf count_over.pdf || fail "-inc: the input changed"
grep -q "a repaired file cannot be updated incrementally" inc.log || fail "-inc: no refusal line"
# A deep tree that needs no mend is updated in place, the shared resources half way down with it.
"$ZORVANE" deep_counted.pdf -inc -nbp -nbf n,Pg%s,CB,12 -l deep.log 2>/dev/null ||
  fail "deep -inc: $(grep -e Error -e Factor deep.log | tr '\n' ' ')"
qpdf_ok deep_counted.pdf "deep -inc"
[ "$(pdftotext deep_counted.pdf - 2>/dev/null | grep -o 'Pg[0-9]*')" = Pg1 ] || fail "deep -inc: no number"
# A tree whose only kid loops holds no page.
"$ZORVANE" loop_only.pdf out-loop_only.pdf -nbp -l loop_only.log 2>/dev/null && fail "loop_only: stamped"
grep -q "no page in PDF Document" loop_only.log || fail "loop_only: no \"no page\" line"
finish
