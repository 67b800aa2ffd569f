#!/usr/bin/env bash
# zorvane in pipelines: "-" as the input reads standard input, "-" as the output writes standard
# output; the result equals that of a run on files, the log never enters the PDF, a failure
# writes nothing to standard output and exits 1, and no temporary file is left behind.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftoppm ps2pdf
make_workdir pipes
cd "$WORK" || exit 1
cp "$SOURCE_DIR/samples/sample.pdf" a.pdf
make_red_logo logo.pdf
mkdir tmp
export TMPDIR=$WORK/tmp

"$ZORVANE" a.pdf ref.pdf -wm logo -l "" || fail "reference run failed"
render ref.pdf 1 ref.ppm

# check NAME STATUS OUT: the run ended with STATUS, left nothing in $TMPDIR, and when it
# succeeded OUT is a valid PDF drawn like the reference; when it failed OUT is empty.
check() {
  local name=$1 status=$2 out=$3
  if [ -n "$(ls -A tmp)" ]; then fail "$name: temporary files left: $(ls tmp)"; rm -f tmp/*; fi
  if [ "$status" -ne 0 ]; then
    fail "$name: status $status: $(head -3 err.txt)"
  elif qpdf_ok "$out" "$name"; then
    render "$out" 1 out.ppm
    cmp -s out.ppm ref.ppm || fail "$name: page 1 differs from the run on files"
  fi
}

cat a.pdf | "$ZORVANE" - - -wm logo >out1.pdf 2>err.txt
check "stdin to stdout" $? out1.pdf
grep -qx ' InputFile: -' err.txt && grep -qx 'OutputFile: -' err.txt && grep -q '^Finish at: ' err.txt ||
  fail "stdin to stdout: log lines missing on standard error: $(cat err.txt)"
"$ZORVANE" - -wm logo <a.pdf >out2.pdf 2>err.txt
check "stdin without an output file" $? out2.pdf
"$ZORVANE" a.pdf - -wm logo -l run.log >out3.pdf 2>err.txt
check "file to stdout, log to a file" $? out3.pdf
grep -q '^Finish at: ' run.log || fail "file to stdout: no log in run.log"
grep -q 'Start at' out3.pdf && fail "file to stdout: log lines inside the PDF"
"$ZORVANE" - out4.pdf -wm logo <a.pdf 2>err.txt
check "stdin to a file" $? out4.pdf
cmp -s a.pdf "$SOURCE_DIR/samples/sample.pdf" || fail "the input file changed"

# A file really named "-" is reached as ./- and rewritten in place; standard input is not read.
cp a.pdf ./-
"$ZORVANE" ./- -wm logo </dev/null >out.txt 2>err.txt
check "file named -" $? ./-
[ -s out.txt ] && fail "file named -: wrote to standard output"

# Failures: nothing on standard output, status 1, an error line, no temporary file.
fail_case() {
  local name=$1 pattern=$2
  shift 2
  "$@" >out.pdf 2>err.txt
  local status=$?
  [ "$status" -eq 1 ] || fail "$name: status $status, expected 1"
  [ -s out.pdf ] && fail "$name: wrote $(stat -c %s out.pdf) bytes to standard output"
  grep -q "^%\[ Error: $pattern" err.txt || fail "$name: no error line '$pattern': $(cat err.txt)"
  if [ -n "$(ls -A tmp)" ]; then fail "$name: temporary files left: $(ls tmp)"; rm -f tmp/*; fi
}
echo 'not a PDF' >junk.txt
fail_case "junk on stdin" "cannot open PDF Document: - ]%" sh -c '"$0" - - -wm logo <junk.txt' "$ZORVANE"
fail_case "missing watermark" "" sh -c '"$0" - - -wm nothere <a.pdf' "$ZORVANE"
fail_case "password and document on stdin" "standard input cannot give both" \
  sh -c '"$0" - - -pw - <a.pdf' "$ZORVANE"
fail_case "standard output closed" "cannot write to standard output" \
  sh -c 'exec "$0" a.pdf - -wm logo >&-' "$ZORVANE"
fail_case "no temporary directory" "cannot create a temporary file" \
  sh -c '"$0" - - -t "$PWD/nodir" <a.pdf' "$ZORVANE"

# Ended by SIGTERM while standard input is being spooled: the spool file goes too.
mkfifo feed
"$ZORVANE" - - <feed >out.pdf 2>err.txt &
pid=$!
exec 3>feed
printf '%%PDF-1.4\n' >&3
for _ in $(seq 200); do [ -n "$(ls -A tmp)" ] && break; sleep 0.05; done
[ -n "$(ls -A tmp)" ] || fail "SIGTERM: no spool file while standard input is open"
kill -TERM "$pid"
wait "$pid"
status=$?
exec 3>&-
[ "$status" -eq 143 ] || fail "SIGTERM: status $status, expected 143"
[ -z "$(ls -A tmp)" ] || fail "SIGTERM: temporary files left: $(ls tmp)"
[ -s out.pdf ] && fail "SIGTERM: wrote to standard output"

[ "$FAILURES" -eq 0 ] || exit 1
echo "pipes: all cases passed"
