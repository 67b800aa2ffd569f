#!/usr/bin/env bash
# The zorvane command line end to end: usage, banner, log lines, log file, exit statuses.
# Needs ZORVANE (the binary) and SOURCE_DIR (the source tree).
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf
make_workdir cli
cd "$WORK" || exit 1
cp "$SOURCE_DIR/samples/sample.pdf" a.pdf

# run ARGS...: runs zorvane, leaving its status in $STATUS, stdout in out.txt, stderr in err.txt.
run() {
  "$ZORVANE" "$@" >out.txt 2>err.txt
  STATUS=$?
  if [ -s out.txt ]; then fail "zorvane $* wrote to standard output: $(cat out.txt)"; fi
}

expect_status() {
  if [ "$STATUS" -ne "$1" ]; then fail "$2: status $STATUS, expected $1"; fi
}

# expect_run_lines FILE FIRST INPUT OUTPUT: lines FIRST..FIRST+3 of FILE are one successful run.
expect_run_lines() {
  local file=$1 first=$2 input=$3 output=$4
  local start names finish
  start=$(sed -n "${first}p" "$file")
  names=$(sed -n "$((first + 1)),$((first + 2))p" "$file")
  finish=$(sed -n "$((first + 3))p" "$file")
  local time='[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}'
  [[ $start =~ ^Start\ at:\ $time$ ]] || fail "$file line $first: '$start' is no start line"
  [ "$names" = " InputFile: $input
OutputFile: $output" ] || fail "$file name lines: '$names'"
  [[ $finish =~ ^Finish\ at:\ $time$ ]] || fail "$file line $((first + 3)): '$finish' is no finish line"
}

USAGE='Usage: zorvane [-v] InputFile [OutputFile] [-wm FileName,StartPage,EndPage] [-fit] [-up] [-nbp StartPage,EndPage,Initial] [-nbf Type,Format,Font,Size] [-nbs Location,OffsetX,OffsetY] [-sp] [-l LogFile] [-t TempPath]'

# No arguments: the usage line on standard error, status 1.
run
expect_status 1 "zorvane alone"
[ "$(cat err.txt)" = "$USAGE" ] || fail "usage text: $(cat err.txt)"
[ "$(wc -l <err.txt)" -eq 1 ] || fail "usage is not exactly one line"

# Only options: still the usage.
run -fit -l only.log
expect_status 1 "zorvane -fit -l only.log"
[ "$(cat err.txt)" = "$USAGE" ] || fail "usage text with only options"
[ ! -e only.log ] || fail "only.log was created"

# -v with other arguments: only the banner, status 1, no log file made.
run -v a.pdf -l x.log
expect_status 1 "zorvane -v a.pdf -l x.log"
[ "$(sed -n 1p err.txt)" = "zorvane" ] || fail "banner does not start with the tool line"
grep -qx 'libquarn 2.4.0' err.txt || fail "banner lacks the library line"
for line in "The Independent JPEG Group's JPEG software release 6b of 27-Mar-1998" \
    "TIFF Software Distribution v3.4" "zlib 1.1.3" "MD5 message-digest algorithm"; do
  grep -qxF "$line" err.txt || fail "banner lacks: $line"
done
grep -q 'Start at' err.txt && fail "banner run wrote log lines"
[ ! -e x.log ] || fail "x.log was created by -v"

# -h and --help: the usage line, a line per option and the manual, on standard output, status 0;
# --version: the versions there, status 0. Nothing on standard error, no log file.
for option in -h --help --version; do
  "$ZORVANE" "$option" -l asked.log >out.txt 2>err.txt
  STATUS=$?
  expect_status 0 "zorvane $option"
  [ ! -s err.txt ] || fail "zorvane $option wrote to standard error: $(head -3 err.txt)"
  [ ! -e asked.log ] || fail "zorvane $option made its log file"
  if [ "$option" = --version ]; then
    [ "$(sed -n 1,2p out.txt)" = $'zorvane 2.4.0\nlibquarn 2.4.0' ] || fail "--version: $(head -3 out.txt)"
  else
    [ "$(sed -n 1p out.txt)" = "$USAGE" ] || fail "$option does not start with the usage line"
    for listed in -v -wm -fit -up -wmt -wmf -wmr -wmo -nbp -nbf -nbs -nbc -sp -pw -inc -l -t --version; do
      grep -q -- "^  $listed " out.txt || fail "$option lists no $listed"
    done
    tail -n 1 out.txt | grep -q 'man zorvane' || fail "$option does not say where the manual is"
  fi
done

# A run with a log file, twice: the log grows by one run each time.
cp a.pdf a.orig.pdf
run a.pdf b.pdf -l run.log
expect_status 0 "first zorvane a.pdf b.pdf -l run.log"
[ ! -s err.txt ] || fail "run with -l wrote to standard error: $(cat err.txt)"
[ "$(wc -l <run.log)" -eq 4 ] || fail "run.log after one run has $(wc -l <run.log) lines"
expect_run_lines run.log 1 a.pdf b.pdf
run a.pdf b.pdf -l run.log
expect_status 0 "second zorvane a.pdf b.pdf -l run.log"
[ "$(wc -l <run.log)" -eq 8 ] || fail "run.log after two runs has $(wc -l <run.log) lines"
expect_run_lines run.log 1 a.pdf b.pdf
expect_run_lines run.log 5 a.pdf b.pdf
cmp -s a.pdf a.orig.pdf || fail "a.pdf changed although the output was b.pdf"
if [ -e b.pdf ]; then
  qpdf --check b.pdf >/dev/null 2>&1 || fail "b.pdf does not pass qpdf --check"
fi

# -l as the last argument: the log goes to standard error; the input is rewritten in place.
run a.pdf -l
expect_status 0 "zorvane a.pdf -l"
[ "$(wc -l <err.txt)" -eq 4 ] || fail "zorvane a.pdf -l: $(cat err.txt)"
expect_run_lines err.txt 1 a.pdf a.pdf
qpdf --check a.pdf >/dev/null 2>&1 || fail "a.pdf rewritten in place does not pass qpdf --check"

# -l followed by an option: standard error too.
run a.pdf -l -fit
expect_status 0 "zorvane a.pdf -l -fit"
expect_run_lines err.txt 1 a.pdf a.pdf

# -l "": no log at all.
run a.pdf -l ""
expect_status 0 'zorvane a.pdf -l ""'
[ ! -s err.txt ] || fail "-l \"\" still logged: $(cat err.txt)"

# An unwritable log path: the run goes on without a log, and standard error says so in one line.
run a.pdf -l no-such-dir/run.log
expect_status 0 "zorvane a.pdf -l no-such-dir/run.log"
[ "$(wc -l <err.txt)" -eq 1 ] && LC_ALL=C grep -q '^cannot open the log file, running without a log: no-such-dir/run.log: .' err.txt ||
  fail "unwritable log path: standard error has: $(cat err.txt)"
[ ! -e no-such-dir ] || fail "the log's directory was created"

# -nbp followed by -nbf: numbering with the default range, -nbf read as the next option.
run a.pdf -nbp -nbf
expect_status 0 "zorvane a.pdf -nbp -nbf"
expect_run_lines err.txt 1 a.pdf a.pdf

# -nbp and -nbs followed by the output name: the name is the output, never their value, so the
# input stays as it was and the numbered output is written.
need pdftotext
for args in "-nbp nbp-out.pdf" "-nbp -nbs nbp-out.pdf" "-nbp -nbs 8,0,10 nbp-out.pdf"; do
  cp a.pdf before.pdf
  rm -f nbp-out.pdf
  # shellcheck disable=SC2086
  run a.pdf $args
  expect_status 0 "zorvane a.pdf $args"
  cmp -s a.pdf before.pdf || fail "zorvane a.pdf $args: the input was rewritten"
  if [ -e nbp-out.pdf ]; then
    qpdf --check nbp-out.pdf >/dev/null 2>&1 || fail "zorvane a.pdf $args: the output fails qpdf --check"
    pdftotext -f 1 -l 1 nbp-out.pdf - | grep -qx 1 || fail "zorvane a.pdf $args: page 1 has no number 1"
  else
    fail "zorvane a.pdf $args: no output written"
  fi
done

# A third file name and unknown options are ignored; each unknown option with a line of its own
# after the name lines.
run a.pdf c.pdf third.pdf -bogus -
expect_status 0 "zorvane a.pdf c.pdf third.pdf -bogus -"
[ "$(sed -n 4p err.txt)" = "unknown option ignored: -bogus" ] || fail "unknown option line: $(sed -n 4p err.txt)"
sed -i 4d err.txt
expect_run_lines err.txt 1 a.pdf c.pdf
[ "$(wc -l <err.txt)" -eq 4 ] || fail "unknown option: $(cat err.txt)"
[ ! -e third.pdf ] || fail "third.pdf was written"

# A number format that would read more than its one string is refused before anything is touched.
cp a.pdf before.pdf
run a.pdf d.pdf -nbp -nbf 'n,%s of %n'
expect_status 1 "zorvane with an unsafe number format"
[ "$(sed -n 4p err.txt)" = '%[ Error: invalid number format: %s of %n ]%' ] ||
  fail "unsafe format line: $(sed -n 4p err.txt)"
grep -q 'Finish at' err.txt && fail "a failed run wrote its finish line"
cmp -s a.pdf before.pdf || fail "a refused run changed its input"
[ ! -e d.pdf ] || fail "a refused run wrote its output"

# A missing input file: the framed line, no finish line, status 1.
run missing.pdf -l missing.log
expect_status 1 "zorvane missing.pdf"
grep -qxF '%[ Error: file not found: missing.pdf ]%' missing.log ||
  fail "missing input: $(cat missing.log)"
grep -q 'Finish at' missing.log && fail "a run on a missing input wrote its finish line"
[ ! -e missing.pdf ] || fail "a missing input was created"

# Every failing run says why: whatever is wrong with the watermark file, the run either stamps
# (qpdf accepts the output) or fails with status 1 and its framed error line.
page='3 0 obj <</Type /Page /Parent 2 0 R /MediaBox [0 0 100 100]>> endobj'
printf '%%PDF-1.4\n1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\n2 0 obj <</Type /Pages /Kids [3 0 R] /Count 1>> endobj\n%s\ntrailer <</Root 1 0 R /Size 4>>\n' \
  "$page" >no-resources.raw
printf '%%PDF-1.4\n1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\n2 0 obj <</Type /Pages /Kids [] /Count 0>> endobj\ntrailer <</Root 1 0 R /Size 3>>\n' \
  >no-pages.raw
qpdf no-resources.raw no-resources.pdf 2>/dev/null
qpdf no-pages.raw no-pages.pdf 2>/dev/null
echo "not a PDF" >not-a-pdf.pdf
for watermark in no-resources.pdf no-pages.pdf not-a-pdf.pdf; do
  rm -f wm-out.pdf wm.log
  run a.pdf wm-out.pdf -wm "$watermark" -l wm.log
  case $STATUS in
    0) qpdf --check wm-out.pdf >/dev/null 2>&1 || fail "watermark $watermark: exit 0 with a damaged output" ;;
    1) grep -q '^%\[ Error: .* \]%$' wm.log || fail "watermark $watermark: exit 1 without a framed line" ;;
    *) fail "watermark $watermark: status $STATUS" ;;
  esac
done

# No run, failed or not, leaves a temporary output behind.
leftovers=$(find . -name 'qx*.pdf')
[ -z "$leftovers" ] || fail "temporary files left behind: $leftovers"

finish
