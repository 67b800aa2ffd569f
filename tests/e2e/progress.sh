#!/usr/bin/env bash
# The progress line of a long run: shown on a terminal (under script(1)) when the log goes to a
# file or is off, ending with all pages done and erased; never when the log uses standard error,
# never in the log file, never when standard error is not a terminal.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf script python3
make_workdir progress
cd "$WORK" || exit 1
pages=40000
python3 "$SOURCE_DIR/bench/gen_pages.py" $pages big.pdf || exit 1
cp "$SOURCE_DIR/samples/sample.pdf" logo.pdf

# on_terminal TYPESCRIPT ARGS...: runs zorvane on big.pdf with a terminal as its standard error.
on_terminal() {
  local typescript=$1
  shift
  script -qec "$(printf '%q ' "$ZORVANE" big.pdf out.pdf -wm logo.pdf "$@")" "$typescript" >/dev/null
}

start=$(date +%s%N)
on_terminal shown.txt -l run.log || fail "run with a log file failed"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
qpdf_ok out.pdf "stamped output"
last=$(tr '\r' '\n' <shown.txt | grep 'pages (' | tail -1)
if [ "$elapsed_ms" -ge 1500 ]; then
  [ "$last" = "$pages of $pages pages (100%)" ] || fail "last progress line: '$last'"
  # The line is erased at the end: blanks over it after its last drawing.
  tr -d '\n' <shown.txt | tr '\r' '|' | grep -Eq "\|$pages of $pages pages \(100%\)\| +\|" ||
    fail "progress line not erased"
elif [ -z "$last" ]; then
  echo "run took only $elapsed_ms ms, too short for the progress line: skipped" >&2
  exit 77
fi
grep -q 'pages (' run.log && fail "progress in the log file"
grep -q '^Finish at: ' run.log || fail "no log in run.log"

on_terminal logged.txt || fail "run logging to standard error failed"
grep -q 'pages (' logged.txt && fail "progress while the log uses standard error"
"$ZORVANE" big.pdf out.pdf -wm logo.pdf -l "" 2>stderr.txt || fail "run without a terminal failed"
[ -s stderr.txt ] && fail "progress without a terminal: $(head -c 100 stderr.txt)"

[ "$FAILURES" -eq 0 ] || exit 1
echo "progress: all checks passed"
