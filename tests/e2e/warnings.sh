#!/usr/bin/env bash
# Runs that do less than the user asked keep their exit status (0) but say why: one warning line
# in the log, between the name lines and the finish line, for an unknown option, a page range
# that holds no page, a -nbs location outside 1-8, and stamps placed outside the visible page
# (one line for the run, with the count and the first page); and one line on standard error for
# a log file that cannot be opened. A run that does what it was asked writes no such line.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftotext
make_workdir warnings
cd "$WORK" || exit 1
make_six_pages in.pdf || { echo "cannot make in.pdf" >&2; exit 1; }
make_red_logo logo.pdf || { echo "cannot make logo.pdf" >&2; exit 1; }

# check NAME WARNINGS ARGS...: zorvane in.pdf out.pdf ARGS... ends with status 0, writes a
# document qpdf accepts, and its log holds exactly the lines of WARNINGS (one per line, "" for
# none) after the name lines.
check() {
  local name=$1 warnings=$2
  shift 2
  rm -f out.pdf
  "$ZORVANE" in.pdf out.pdf "$@" -l "$name.log" 2>"$name.err"
  local status=$?
  [ "$status" = 0 ] || fail "$name: status $status: $(cat "$name.log")"
  [ -s "$name.err" ] && fail "$name: wrote to standard error: $(cat "$name.err")"
  qpdf_ok out.pdf "$name"
  local got
  got=$(sed -n '4,$p' "$name.log" | grep -v '^Finish at: ')
  [ "$got" = "$warnings" ] || fail "$name: warning lines '$got', expected '$warnings'"
  grep -q '^Finish at: ' "$name.log" || fail "$name: no finish line"
}

check plain "" -wm logo.pdf,2,5 -nbp
check unknown "unknown option ignored: -wn" -wn -nbp
check unknowns "unknown option ignored: --nbp
unknown option ignored: -FIT" --nbp -FIT
check wm-backward "no page in the range of -wm: logo.pdf,5,2" -wm logo.pdf,5,2
check wm-beyond "no page in the range of -wm: logo,7" -wm logo,7
check nbp-backward "no page in the range of -nbp: 4,3" -nbp 4,3
check location "location out of 1-8 in -nbs, 8 used: 9" -nbp -nbs 9
# The number still sits at the bottom centre.
pdftotext -f 3 -l 3 -bbox out.pdf - | grep -q '>3</word>' || fail "location: page 3 lost its number"
check off-right "page number outside the visible page: 6 page(s), first page 1" -nbp -nbs 5,10,10
check off-below "page number outside the visible page: 3 page(s), first page 4" -nbp 4 -nbs 8,0,-10
check inside "" -nbp -nbs 5,-10,-10 -wm logo -fit
# Everything at once, in the order of the run: options, ranges, then the stamps.
check all "unknown option ignored: -wn
location out of 1-8 in -nbs, 8 used: 0,0,-20
no page in the range of -wm: logo.pdf,9
page number outside the visible page: 6 page(s), first page 1" -wn -wm logo.pdf,9 -nbp -nbs 0,0,-20

# A log file that cannot be opened: the run goes on, and standard error says so once.
rm -f out.pdf
"$ZORVANE" in.pdf out.pdf -nbp -l no-such-dir/run.log 2>nolog.err
status=$?
[ "$status" = 0 ] || fail "no log: status $status"
[ "$(wc -l <nolog.err)" = 1 ] &&
  LC_ALL=C grep -q '^cannot open the log file, running without a log: no-such-dir/run.log: .' nolog.err ||
  fail "no log: standard error has: $(cat nolog.err)"
qpdf_ok out.pdf "no log"

finish
