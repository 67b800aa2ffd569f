#!/usr/bin/env bash
# An incremental update in place killed with SIGKILL at random moments: whatever the instant,
# the file is the input byte for byte or the input followed by one complete update, and passes
# qpdf --check. SIGKILL cannot be caught, so only an update that reaches the file's name whole
# passes.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf python3 cmp
make_workdir killed-update
cd "$WORK" || exit 1
KILLS=${KILL_RUNS:-50}

python3 "$SOURCE_DIR/bench/gen_pages.py" 3000 base.pdf || exit 1
python3 "$SOURCE_DIR/tests/support/mini_pdf.py" big_content wm.pdf || exit 1
STAMP=(-inc -wm wm.pdf -nbp -l /dev/null)
BASE_SIZE=$(stat -c %s base.pdf)
BASE_EOFS=$(grep -ac '%%EOF' base.pdf)

# One run to its end gives the span in which the kills are spread (in milliseconds, with room
# for the start of the process).
cp base.pdf whole.pdf
start=$(date +%s%N)
"$ZORVANE" whole.pdf "${STAMP[@]}" || { fail "an uninterrupted run failed"; finish; }
span=$(( ($(date +%s%N) - start) / 1000000 + 5 ))
[ "$(grep -ac '%%EOF' whole.pdf)" = $((BASE_EOFS + 1)) ] || fail "the uninterrupted run wrote no update"

# updates FILE: how many updates FILE holds after the input's bytes, or "damaged" when what
# follows them is not a run of complete updates.
updates() {
  local file=$1 size
  size=$(stat -c %s "$file")
  cmp -s -n "$BASE_SIZE" base.pdf "$file" || { echo damaged; return; }
  [ "$size" = "$BASE_SIZE" ] && { echo 0; return; }
  tail -c 7 "$file" | grep -aq '%%EOF' || { echo damaged; return; }
  echo $(($(grep -ac '%%EOF' "$file") - BASE_EOFS))
}

damaged=0 complete=0
for ((i = 1; i <= KILLS; i++)); do
  delay_ms=$((RANDOM % span))
  cp base.pdf victim.pdf
  "$ZORVANE" victim.pdf "${STAMP[@]}" 2>/dev/null &
  pid=$!
  sleep "$(printf '0.%03d' "$delay_ms")"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  what="kill after ${delay_ms} ms"
  count=$(updates victim.pdf)
  [ "$count" = 1 ] && complete=$((complete + 1))
  if [ "$count" != 0 ] && [ "$count" != 1 ]; then
    fail "$what: the file holds $count updates after the input"
    damaged=$((damaged + 1))
  elif ! qpdf --check victim.pdf >/dev/null 2>&1; then
    fail "$what: qpdf --check fails"
    damaged=$((damaged + 1))
  elif [ "$count" = 1 ] && [ "$(stat -c %s victim.pdf)" != "$(stat -c %s whole.pdf)" ]; then
    # The stamps are the same on every run (only the dates in it differ, not their length), so
    # the one complete update is as long as the one a whole run writes.
    fail "$what: the update's length differs from an uninterrupted run's"
  fi
done
echo "$KILLS kills within ${span} ms: $complete updated, $damaged damaged"
finish
