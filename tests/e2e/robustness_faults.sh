#!/usr/bin/env bash
# Fault injection: a watermark + page-number run, in place and into a second file, is repeated
# with the Nth write, fsync, rename, mmap, ftruncate or posix_fallocate failing (ENOSPC or EIO;
# tests/support/fault_inject.cpp). Each run must end with status 0 and a good stamped output, or
# status 1 with exactly one framed error line, the input byte for byte as it was, and no
# temporary left. Long sweeps are sampled so that the script stays within a few minutes.
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

# attempt MODE N ERRNO: one run with call N failing; MODE is "inplace" or "output".
attempt() {
  local mode=$1 n=$2 err=$3 args
  cp doc.pdf in.pdf
  rm -f out.pdf
  if [ "$mode" = inplace ]; then args=(in.pdf); else args=(in.pdf out.pdf); fi
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
       [ -e out.pdf ] && fail "$what: output left behind" ;;
    *) fail "$what: status $status" ;;
  esac
  if ls qx* tmp/* >/dev/null 2>&1; then
    fail "$what: left $(ls qx* tmp/* 2>/dev/null | tr '\n' ' ')"
    rm -f qx* tmp/*
  fi
}

for mode in inplace output; do
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
finish
