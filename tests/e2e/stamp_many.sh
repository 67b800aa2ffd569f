#!/usr/bin/env bash
# scripts/stamp-many.sh over 500 copies of one PDF and a broken file, two jobs: every good file
# stamped into the output directory under its name, the broken one reported, a summing-up last
# line and a failing status; a resumed run redoes only the failed file; a list file works too.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftoppm ps2pdf parallel
make_workdir stamp-many
cd "$WORK" || exit 1
make_red_logo logo.pdf
"$ZORVANE" "$SOURCE_DIR/samples/sample.pdf" ref.pdf -wm logo -l "" || fail "reference run failed"
render ref.pdf 1 ref.ppm

mkdir in
for i in $(seq -w 1 500); do cp "$SOURCE_DIR/samples/sample.pdf" "in/doc $i.pdf"; done
echo 'not a PDF' >in/broken.pdf
export ZORVANE STAMP_JOBS=2
stamp_many="$SOURCE_DIR/scripts/stamp-many.sh"

"$stamp_many" in out -wm "$WORK/logo" >stdout.txt 2>stderr.txt
status=$?
[ "$status" -ne 0 ] || fail "a failed file, yet status 0"
[ "$(tail -1 stdout.txt)" = "stamp-many: 500 stamped, 1 failed" ] ||
  fail "summary line: $(tail -1 stdout.txt)"
grep -qx "failed: in/broken.pdf" stderr.txt || fail "broken file not reported: $(head -3 stderr.txt)"
grep -q '^%\[ Error: cannot open PDF Document' stderr.txt || fail "no error line of the broken file"
[ "$(find out -name '*.pdf' | wc -l)" -eq 500 ] || fail "$(find out -name '*.pdf' | wc -l) outputs, expected 500"
[ -e out/broken.pdf ] && fail "an output for the broken file"
for i in 001 137 250 499 500; do
  if qpdf_ok "out/doc $i.pdf" "doc $i"; then
    render "out/doc $i.pdf" 1 page.ppm
    cmp -s page.ppm ref.ppm || fail "doc $i: not stamped like the reference"
  fi
done

# Mended, the broken file is the only one run again.
cp "$SOURCE_DIR/samples/sample.pdf" in/broken.pdf
STAMP_RESUME=1 "$stamp_many" in out -wm "$WORK/logo" >stdout.txt 2>stderr.txt ||
  fail "resumed run failed: $(tail -3 stderr.txt)"
[ "$(tail -1 stdout.txt)" = "stamp-many: 501 stamped, 0 failed" ] ||
  fail "resumed summary line: $(tail -1 stdout.txt)"
[ "$(wc -l <out/.stamp-many.joblog)" -eq 503 ] || fail "the resumed run ran more than the failed file"
qpdf_ok out/broken.pdf "resumed file"

# A list file of paths, one per line.
printf '%s\n' "$WORK/in/doc 001.pdf" "in/doc 002.pdf" >list.txt
"$stamp_many" list.txt listed -wm "$WORK/logo" >stdout.txt 2>stderr.txt || fail "list run failed"
[ "$(tail -1 stdout.txt)" = "stamp-many: 2 stamped, 0 failed" ] || fail "list summary: $(tail -1 stdout.txt)"
qpdf_ok "listed/doc 002.pdf" "listed file"

[ "$FAILURES" -eq 0 ] || exit 1
echo "stamp-many: all checks passed"
