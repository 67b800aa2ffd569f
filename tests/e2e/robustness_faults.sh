#!/usr/bin/env bash
# Fault injection: a watermark + page-number run, in place (rewritten and updated with -inc) and
# into a second file, is repeated with the Nth write, fsync, rename, mmap, ftruncate or
# posix_fallocate failing (ENOSPC or EIO; tests/support/fault_inject.cpp). Each run must end with
# status 0 and a good stamped output, or status 1 with exactly one framed error line that names
# the file that failed, the input byte for byte as it was, and no temporary left. Long sweeps are
# sampled so that the script stays within a few minutes.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
SHIM=${BUILD_DIR:-}/tests/libfault_inject.so
[ -f "$SHIM" ] || { echo "skipped: $SHIM not built"; exit 77; }
need qpdf python3 cmp
make_workdir faults
cd "$WORK" || exit 1
MINI="python3 $SOURCE_DIR/tests/support/mini_pdf.py"
$MINI plain page.pdf && $MINI big_content wm.pdf
qpdf --empty --pages page.pdf page.pdf page.pdf -- doc.pdf || exit 1
mkdir tmp
MAX_RUNS=${FAULT_MAX_RUNS:-60}

# left_behind WHAT: fails when a temporary is left beside the input or in the temporary
# directory, and removes it.
left_behind() {
  local left
  left=$(compgen -G 'qx*'; compgen -G 'tmp/*')
  [ -z "$left" ] && return
  fail "$1: left $(tr '\n' ' ' <<<"$left")"
  rm -f qx* tmp/*
}

# attempt MODE N ERRNO: one run with call N failing; MODE is "inplace", "update" (an incremental
# update in place) or "output".
attempt() {
  local mode=$1 n=$2 err=$3 args
  cp doc.pdf in.pdf
  rm -f out.pdf
  case $mode in
    inplace) args=(in.pdf) ;;
    update) args=(in.pdf -inc) ;;
    *) args=(in.pdf out.pdf) ;;
  esac
  # The shim goes to zorvane alone (through env), not to timeout, whose own exit would report.
  FAULT_AT=$n FAULT_ERRNO=$err FAULT_REPORT=$WORK/calls TMPDIR=$WORK/tmp \
    timeout 60 env LD_PRELOAD="$SHIM" "$ZORVANE" "${args[@]}" -wm wm.pdf -nbp 2>run.log
  local status=$? what="$mode call $n ($err)"
  local result=in.pdf
  [ "$mode" = output ] && result=out.pdf
  case $status in
    0) qpdf --check "$result" >/dev/null 2>&1 || fail "$what: exit 0 with a damaged output"
       [ "$(page_count "$result")" = 3 ] || fail "$what: exit 0 with pages lost" ;;
    1) [ "$(grep -c '^%\[ Error: ' run.log)" = 1 ] || fail "$what: not one framed line: $(grep '^%\[' run.log | tr '\n' '|')"
       cmp -s in.pdf doc.pdf || fail "$what: the input changed"
       # A failed save or flush names the file that could not be written.
       grep -q "^%\[ Error: cannot \(save\|flush\) PDF Document: $result ]%" run.log ||
         ! grep -q "^%\[ Error: cannot \(save\|flush\) PDF Document" run.log ||
         fail "$what: the error names another file: $(grep '^%\[' run.log)"
       [ -e out.pdf ] && fail "$what: output left behind" ;;
    *) fail "$what: status $status" ;;
  esac
  left_behind "$what"
}

for mode in inplace update output; do
  attempt "$mode" 0 ENOSPC
  total=$(cat calls)
  [ "$total" -gt 0 ] || { fail "$mode: no call counted"; continue; }
  step=$(( (total + MAX_RUNS - 1) / MAX_RUNS ))
  echo "$mode: $total calls, every ${step}th tried"
  for ((n = 1; n <= total; n += step)); do
    attempt "$mode" "$n" "$([ $((n % 2)) = 0 ] && echo EIO || echo ENOSPC)"
  done
  attempt "$mode" "$total" EIO  # the last call: the rename or the final sync
done

# Pages that draw one stream have it scanned a bounded number of times, not once a page: each
# scan inflates its two Flate layers through a mapped buffer, and the mapped buffers (counted by
# the shim) do not grow with the pages.
mapped() {
  $MINI "$1" "$1.pdf" || return
  FAULT_REPORT=$WORK/calls TMPDIR=$WORK/tmp timeout 60 env LD_PRELOAD="$SHIM" "$ZORVANE" \
    "$1.pdf" out.pdf -nbp 2>/dev/null && cat calls
}
few=$(mapped shared_nested_4)
many=$(mapped shared_nested_12)
[ -n "$few" ] && [ -n "$many" ] && [ $((many - few)) -lt 8 ] ||
  fail "pages sharing a stream: ${few:-no} counted calls for 4 pages, ${many:-no} for 12"

# A signal the moment a temporary gets its name (the unnamed output linked beside the input it
# replaces; a spooled standard input) is taken once the name is known: nothing is left.
for call in linkat mkstemps; do
  cp doc.pdf in.pdf
  if [ "$call" = linkat ]; then args=(in.pdf); else args=(- -); fi
  FAULT_SIGNAL_AFTER=$call TMPDIR=$WORK/tmp \
    timeout 60 env LD_PRELOAD="$SHIM" "$ZORVANE" "${args[@]}" -nbp -l /dev/null <doc.pdf >/dev/null
  status=$?
  [ "$status" = 143 ] || fail "signal after $call: status $status, expected death by SIGTERM"
  cmp -s in.pdf doc.pdf || fail "signal after $call: the input changed"
  left_behind "signal after $call"
done
finish
