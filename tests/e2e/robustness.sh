#!/usr/bin/env bash
# The tool as an attacker or an unlucky user meets it: hostile page trees, unusable temporary
# storage, links and special files, killed and concurrent runs. Every run ends with status 0 and
# a good output, or status 1 with exactly one framed error line; the input is never damaged and
# nothing is left behind. Cases that need root (mounts, chown) run only as root.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftotext pdftoppm python3 cmp timeout
make_workdir robustness
cd "$WORK" || exit 1
MINI="python3 $SOURCE_DIR/tests/support/mini_pdf.py"
for kind in plain self_resources parent_resources node_resources big_content big_stored_content bomb \
    split_bomb predicted_bomb; do $MINI $kind $kind.pdf; done
IS_ROOT=$([ "$(id -u)" = 0 ] && echo 1 || echo 0)

# run NAME ARGS...: zorvane with its log in NAME.log, status in $STATUS (FILE_LIMIT: ulimit -f,
# MEMORY_LIMIT: ulimit -v).
run() {
  local name=$1
  shift
  (
    [ -z "${FILE_LIMIT:-}" ] || ulimit -f "$FILE_LIMIT"
    [ -z "${MEMORY_LIMIT:-}" ] || ulimit -v "$MEMORY_LIMIT"
    exec timeout 120 "$ZORVANE" "$@" -l "$name.log" 2>/dev/null
  )
  STATUS=$?
}

# refused NAME LINE INPUT ARGS...: the run on a copy of INPUT (in.pdf) fails with status 1 and
# LINE as its only framed line; in.pdf is unchanged and no new file is left.
refused() {
  local name=$1 line=$2 input=$3
  shift 3
  cp "$input" in.pdf
  local before
  before=$(ls -A | sort)
  run "$name" "$@"
  [ "$STATUS" = 1 ] || fail "$name: status $STATUS, expected 1"
  local lines
  lines=$(grep -c '^%\[ Error: ' "$name.log")
  [ "$lines" = 1 ] || fail "$name: $lines framed lines: $(grep '^%\[' "$name.log" | tr '\n' '|')"
  [ -z "$line" ] || grep -qF "$line" "$name.log" || fail "$name: no '$line' in $(grep '^%\[' "$name.log")"
  cmp -s in.pdf "$input" || fail "$name: the input changed"
  local after
  after=$(ls -A | grep -v "^$name\.log$" | sort)
  [ "$before" = "$after" ] || fail "$name: left behind: $(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')"
}

# stamps PDF: how many page numbers the document's content draws.
stamps() { qpdf --qdf --object-streams=disable "$1" - 2>/dev/null | grep -ac 'Tj'; }

# ---- hostile page trees --------------------------------------------------------------------------
# A page whose Resources is the page itself reads as a page without resources: it is stamped
# with resources of its own, or refused with its line; never a crash.
cp self_resources.pdf in.pdf
run self in.pdf -wm big_content.pdf -nbp
case $STATUS in
  0) qpdf --check in.pdf >/dev/null 2>&1 || fail "self: exit 0 with a damaged output"
     [ "$(stamps in.pdf)" -ge 1 ] || fail "self: exit 0 but no number drawn" ;;
  1) grep -qF "cannot get Resources" self.log || fail "self: $(grep '^%\[' self.log)" ;;
  *) fail "self: status $STATUS" ;;
esac
refused parent "" parent_resources.pdf in.pdf -wm big_content.pdf -nbp
# Resources that pages inherit from their nodes get the stamps' names, on every page, though a
# long walk drops the nodes it has passed over.
run nodes node_resources.pdf nodes.pdf -wm plain.pdf -nbp
[ "$STATUS" = 0 ] || fail "nodes: status $STATUS"
[ "$(stamps nodes.pdf)" = 4 ] || fail "nodes: $(stamps nodes.pdf) numbers drawn, expected 4"
unknown=$(pdftoppm -r 10 nodes.pdf 2>&1 >/dev/null | grep -c "is unknown")
[ "$unknown" = 0 ] || fail "nodes: $unknown pages name a resource their resources lack"
# One page object listed as pages 1, 3 and 304: every place gets a page of its own with its own
# number, in a rewrite and in an update, though page 1 is written out before the walk meets 304.
$MINI shared_pages shared.pdf
for mode in rewrite update; do
  cp shared.pdf in.pdf
  if [ "$mode" = update ]; then run shared-$mode in.pdf -inc -nbp; else run shared-$mode in.pdf in.pdf -nbp; fi
  [ "$STATUS" = 0 ] || fail "shared-$mode: status $STATUS"
  qpdf_ok in.pdf "shared-$mode"
  for page in 1 3 304; do
    shown=$(pdftotext -f $page -l $page in.pdf - 2>/dev/null | tr -d ' \n\f')
    [ "$shown" = "$page" ] || fail "shared-$mode: page $page shows '$shown'"
  done
  [ "$(grep -c 'listed twice' shared-$mode.log)" = 2 ] || fail "shared-$mode: $(grep -c 'listed twice' shared-$mode.log) copies noted, expected 2"
done
# Two pages whose "Contents" is one array object: each shows its own number and no other, and
# a page left unnumbered shows none.
$MINI shared_contents contents.pdf
for range in 1,2 2,2,2; do
  cp contents.pdf in.pdf
  run contents in.pdf -inc -nbp $range
  [ "$STATUS" = 0 ] || fail "contents $range: status $STATUS"
  qpdf_ok in.pdf "contents $range"
  # (the reader's complaints count too: a number drawn in a font the page lacks shows nothing)
  shown="$(pdftotext -f 1 -l 1 in.pdf - 2>&1 | tr -d ' \n\f')/$(pdftotext -f 2 -l 2 in.pdf - 2>&1 | tr -d ' \n\f')"
  expected=1/2
  [ "$range" = 2,2,2 ] && expected=/2
  [ "$shown" = "$expected" ] || fail "contents $range: pages show '$shown', expected '$expected'"
done

# ---- unusable temporary storage: never an empty watermark and exit 0 -------------------------------
refused tmp-missing "cannot define PDF FormXObject" plain.pdf in.pdf -wm big_content.pdf -t "$WORK/none"
TMPDIR=$WORK/none refused tmpdir-missing "cannot define PDF FormXObject" plain.pdf in.pdf -wm big_content.pdf
FILE_LIMIT=4 refused file-limit "" plain.pdf in.pdf out.pdf -wm big_content.pdf
if [ "$IS_ROOT" = 1 ]; then
  mkdir full && mount -t tmpfs -o size=64k tmpfs full && {
    head -c 1M /dev/zero >full/fill 2>/dev/null
    refused full-tmp "System Error" plain.pdf in.pdf -wm big_content.pdf -t full  # once SIGBUS
    # Stored data too large to stay in memory cannot even be read in: the system says why.
    refused full-tmp-stored "Type: System Error" plain.pdf in.pdf -wm big_stored_content.pdf -t full
    mkdir -p ro && mount -t tmpfs -o ro tmpfs ro &&
      refused readonly-dir "cannot save PDF Document: ro/out.pdf" plain.pdf in.pdf ro/out.pdf
    umount ro full
  }
else
  echo "not root: the full temporary directory cases are skipped (they mount a small tmpfs)" >&2
  mkdir ro && chmod 555 ro
  refused readonly-dir "cannot save PDF Document: ro/out.pdf" plain.pdf in.pdf ro/out.pdf
fi
# ---- decompression bombs: 4 MB of content that inflates to 4 GiB, in 1 GiB of address space ------
# One content stream goes into the watermark form encoded as it is: small, quick, readable.
MEMORY_LIMIT=1048576 run bomb-watermark plain.pdf out.pdf -wm bomb.pdf -nbp
if [ "$STATUS" = 0 ]; then
  [ "$(stat -c %s out.pdf)" -lt $((2 * $(stat -c %s bomb.pdf))) ] || fail "bomb-watermark: the form was decoded"
  qpdf --check out.pdf >/dev/null 2>&1 || fail "bomb-watermark: damaged output"
else
  fail "bomb-watermark: status $STATUS: $(grep '^%\[' bomb-watermark.log)"
fi
# Several streams are joined decoded: past what the host can hold, the run fails with its line.
MEMORY_LIMIT=1048576 refused bomb-joined "Type: System Error" plain.pdf in.pdf -wm split_bomb.pdf
# Stamping over a page whose own content is the bomb scans that content as it inflates, through
# to the text object left open at its end, which the watermark's stream closes first.
MEMORY_LIMIT=1048576 run bomb-page bomb.pdf out.pdf -wm plain.pdf -up
[ "$STATUS" = 0 ] || fail "bomb-page: status $STATUS: $(grep '^%\[' bomb-page.log)"
# (qpdf --check would lex the 4 GiB; the stamp's own stream is what this run wrote.)
stamp=$(qpdf --show-pages out.pdf 2>/dev/null | awk '/ 0 R$/ { last = $1 } END { print last }')
qpdf --show-object="$stamp" --filtered-stream-data out.pdf 2>/dev/null | grep -q '^ET Q ' ||
  fail "bomb-page: the open text object was not closed before the stamp"
# The bomb behind a predictor whose rows would be 6.4 GB: the rows are undone as the data
# inflates, and one past the row bound is refused; the content then counts as unreadable, as any
# content that cannot be decoded, and the page is stamped. The run never holds the inflated data
# (its peak resident size is measured with GNU time, which scripts/setup.sh installs).
if [ -x /usr/bin/time ]; then
  (
    ulimit -v 1048576
    exec /usr/bin/time -f %M -o predicted.rss timeout 120 "$ZORVANE" predicted_bomb.pdf out.pdf \
      -nbp -l predicted.log 2>/dev/null
  )
  STATUS=$?
  [ "$STATUS" = 0 ] || fail "predicted-bomb: status $STATUS: $(grep '^%\[' predicted.log)"
  [ "$(tail -n 1 predicted.rss)" -lt 262144 ] ||
    fail "predicted-bomb: $(tail -n 1 predicted.rss) KB resident"
  [ "$(qpdf --show-npages out.pdf 2>/dev/null)" = 1 ] || fail "predicted-bomb: damaged output"
else
  echo "note: /usr/bin/time is missing: the predicted bomb's memory is not judged" >&2
fi
long=$(printf 'n%.0s' $(seq 300)).pdf
refused too-long "cannot open PDF Document: $long" plain.pdf "$long"

# ---- an update cut short: every page is kept, from the last whole definition of each object -----
qpdf --empty --pages plain.pdf plain.pdf plain.pdf -- three.pdf
run update three.pdf updated.pdf -inc -wm plain.pdf -nbp
[ "$STATUS" = 0 ] || fail "update: status $STATUS"
base=$(stat -c %s three.pdf)
for cut in $(seq $((base + 1)) 11 $(($(stat -c %s updated.pdf) - 1))); do
  head -c "$cut" updated.pdf >cut.pdf
  run "cut-$cut" cut.pdf out.pdf -nbp
  if [ "$STATUS" != 0 ]; then
    fail "cut at $cut: status $STATUS: $(grep -m 1 '^Factor' "cut-$cut.log")"
  elif ! qpdf --check out.pdf >/dev/null 2>&1 || [ "$(qpdf --show-npages out.pdf)" != 3 ]; then
    fail "cut at $cut: damaged output or pages lost"
  fi
  rm -f "cut-$cut.log"
done

# ---- links and special files -----------------------------------------------------------------------
cp plain.pdf target.pdf && ln -sf target.pdf link.pdf
run symlink-in link.pdf target.pdf -nbp
[ "$STATUS" = 0 ] && [ -L link.pdf ] && [ "$(stamps target.pdf)" = 1 ] || fail "symlink-in: target not stamped through the link"
cp plain.pdf target.pdf
run symlink-out plain.pdf link.pdf -nbp
[ "$STATUS" = 0 ] && [ -L link.pdf ] && [ "$(stamps target.pdf)" = 1 ] || fail "symlink-out: link replaced or target unstamped"
cp plain.pdf target.pdf
run symlink-update link.pdf -inc -nbp
[ "$STATUS" = 0 ] && [ -L link.pdf ] && [ "$(stamps target.pdf)" = 1 ] || fail "symlink-update: link replaced or target unstamped"
cp plain.pdf a.pdf && ln -f a.pdf hard.pdf
run hardlink a.pdf hard.pdf -nbp
[ "$STATUS" = 0 ] && [ "$(stamps hard.pdf)" = 1 ] && cmp -s a.pdf plain.pdf || fail "hardlink: output kept the old content"
mkfifo pipe.pdf
# A device of the work directory's own (never the system's /dev/null: a broken build running as
# root would replace it) and a FIFO as the output.
if [ "$IS_ROOT" = 1 ] && mknod null c 1 3; then
  refused device-out "output is not a regular file: null" plain.pdf in.pdf null
fi
refused fifo-out "output is not a regular file: pipe.pdf" plain.pdf in.pdf pipe.pdf
refused fifo-in "not a regular file: pipe.pdf" plain.pdf pipe.pdf
refused fifo-wm "not a regular file: pipe.pdf" plain.pdf in.pdf -wm pipe.pdf

# ---- password and log files that are not plain files -------------------------------------------------
# A FIFO that no one writes (-pw) or reads (-l) does not hold the run: the password is empty, the
# log cannot be opened and the run goes on without it. A directory gives no password; a huge
# password file is read only as far as a password can reach.
for option in -pw -l; do
  cp plain.pdf in.pdf
  timeout 20 "$ZORVANE" in.pdf -nbp "$option" pipe.pdf 2>/dev/null
  status=$?
  [ "$status" = 0 ] || fail "fifo $option: status $status (124: waited for the other end)"
done
mkdir pwdir
refused pw-dir "password file is not a regular file or a pipe: pwdir" plain.pdf in.pdf -pw pwdir
truncate -s 1G huge.pw
cp plain.pdf in.pdf
MEMORY_LIMIT=1048576 run pw-huge in.pdf -pw huge.pw -nbp
[ "$STATUS" = 0 ] || fail "pw-huge: status $STATUS: $(grep '^%\[' pw-huge.log)"
rm -f huge.pw

# ---- in-place runs: owner kept, concurrent runs serialised, killed runs leave nothing ---------------
if [ "$IS_ROOT" = 1 ]; then
  cp plain.pdf owned.pdf && chown nobody:nogroup owned.pdf && chmod 640 owned.pdf
  run owner owned.pdf -nbp
  [ "$(stat -c '%U:%G %a' owned.pdf)" = "nobody:nogroup 640" ] || fail "owner: now $(stat -c '%U:%G %a' owned.pdf)"
fi
# Extended attributes stay with a file rewritten in place, in full or by an update.
xattr() { python3 -c 'import os, sys; print(os.getxattr(sys.argv[1], "user.origin").decode())' "$1" 2>/dev/null; }
for mode in rewrite update; do
  cp plain.pdf tagged.pdf
  if python3 -c 'import os; os.setxattr("tagged.pdf", "user.origin", b"scanner 7")' 2>/dev/null; then
    if [ "$mode" = update ]; then run xattr-$mode tagged.pdf -inc -nbp; else run xattr-$mode tagged.pdf -nbp; fi
    [ "$STATUS" = 0 ] || fail "xattr-$mode: status $STATUS"
    [ "$(xattr tagged.pdf)" = "scanner 7" ] || fail "xattr-$mode: user.origin is now '$(xattr tagged.pdf)'"
  else
    echo "no user extended attributes here: the xattr-$mode case is skipped" >&2
  fi
done
cp plain.pdf shared.pdf
for i in 1 2 3 4 5 6 7 8 9 10; do "$ZORVANE" shared.pdf -nbp -l /dev/null 2>/dev/null & done
wait
[ "$(stamps shared.pdf)" = 10 ] || fail "concurrent: $(stamps shared.pdf) of 10 stamps survived"
for signal in TERM KILL INT; do
  for delay in 0.01 0.03 0.06 0.1; do
    cp big_content.pdf victim.pdf
    "$ZORVANE" victim.pdf -wm big_content.pdf -nbp -l /dev/null 2>/dev/null &
    sleep "$delay"
    kill -s "$signal" $! 2>/dev/null
    wait $! 2>/dev/null
    qpdf --check victim.pdf >/dev/null 2>&1 || fail "kill $signal after $delay: input damaged"
    ls qx* >/dev/null 2>&1 && fail "kill $signal after $delay: left $(ls qx*)" && rm -f qx*
  done
done
finish
