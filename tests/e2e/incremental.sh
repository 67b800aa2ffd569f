#!/usr/bin/env bash
# -inc writes the stamps as an incremental update. For inputs with a classic table, object
# streams, a cross-reference stream alone, RC4-40 encryption and signatures, each output keeps
# the input's bytes as its prefix, passes qpdf --check, shows the page numbers to pdftotext and
# ends with cross-reference data of the input's kind; a signature still verifies for its
# revision. Failures (a repaired file, a full disk, a signal) leave the input byte for byte as
# it was.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdftotext pdfinfo pdfsig ps2pdf cmp python3
make_workdir incremental
trap 'umount "$WORK/full" 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
STAMP=(-wm logo.pdf -nbp -nbf 'n,STAMP %s')
REFUSAL="a repaired file cannot be updated incrementally: save it in full"

make_red_logo logo.pdf
make_six_pages plain.pdf
qpdf --object-streams=generate plain.pdf objstm.pdf
python3 "$SOURCE_DIR/tests/support/xref_stream_pdf.py" plain.pdf xrefstm.pdf
qpdf --allow-weak-crypto --encrypt u o 40 -- plain.pdf rc4.pdf
qpdf --allow-weak-crypto --object-streams=generate --encrypt u o 40 -- plain.pdf rc4objstm.pdf
echo o >owner.pw
python3 "$SOURCE_DIR/bench/gen_pages.py" 300 long.pdf

# judge NAME INPUT OUTPUT KIND [PASSWORD]: OUTPUT is INPUT followed by an update whose
# cross-reference data is of KIND ("xref" table or "/XRef" stream), and reads well.
judge() {
  local name=$1 input=$2 output=$3 kind=$4 password=${5:-}
  local size
  size=$(stat -c %s "$input")
  cmp -s -n "$size" "$input" "$output" || fail "$name: the input's bytes are not the output's prefix"
  [ "$(stat -c %s "$output")" -gt "$size" ] || fail "$name: nothing appended"
  tail -c +"$((size + 1))" "$output" >"$name.update"
  grep -aq -- "$kind" "$name.update" || fail "$name: the update has no $kind section"
  grep -aq "/Prev" "$name.update" || fail "$name: the update does not point back to the input"
  local report
  report=$(qpdf --password="$password" --check "$output" 2>&1) && ! grep -qi warning <<<"$report" ||
    fail "$name: qpdf --check: $(tail -2 <<<"$report")"
  grep -q "STAMP" < <(pdftotext -upw "$password" "$output" - 2>/dev/null) ||
    fail "$name: pdftotext finds no stamp"
}

# ---- every kind of input, in place, into a file and to standard output -----------------------------
for input in plain:xref objstm:/XRef xrefstm:/XRef; do
  name=${input%%:*} kind=${input#*:}
  cp "$name.pdf" "$name.inplace.pdf"
  "$ZORVANE" "$name.inplace.pdf" -inc "${STAMP[@]}" -l "$name.log" || fail "$name: in place failed"
  judge "$name-inplace" "$name.pdf" "$name.inplace.pdf" "$kind"
  "$ZORVANE" "$name.pdf" "$name.out.pdf" -inc "${STAMP[@]}" -l "$name.log" || fail "$name: output failed"
  judge "$name-out" "$name.pdf" "$name.out.pdf" "$kind"
done
# An update indexed by a stream packs the rewritten dictionaries into object streams.
for name in objstm-out xrefstm-inplace; do
  grep -aq "/Type /ObjStm" "$name.update" && ! grep -aq "/Type /Page" "$name.update" ||
    fail "$name: the update's page dictionaries are not in object streams"
done
"$ZORVANE" - - -inc -up "${STAMP[@]}" -l piped.log <plain.pdf >piped.pdf || fail "piped: failed"
judge piped plain.pdf piped.pdf xref
"$ZORVANE" long.pdf long.out.pdf -inc "${STAMP[@]}" -l long.log || fail "long: failed"
judge long long.pdf long.out.pdf xref
# Only what the run changed: the pages, the shared resources, the form and its resources, the
# numbers' streams and font, the information dictionary; not the 300 original content streams.
[ "$(grep -ac ' obj' long.update)" -le $((300 * 2 + 10)) ] || fail "long: $(grep -ac ' obj' long.update) objects in the update"
grep -aq "Page 17)" long.update && fail "long: unchanged content streams written again"

# ---- encrypted input: the update is encrypted with the input's key ---------------------------------
"$ZORVANE" rc4.pdf rc4.out.pdf -inc -pw owner.pw "${STAMP[@]}" -l rc4.log || fail "rc4: failed"
judge rc4 rc4.pdf rc4.out.pdf xref u
grep -aq "libquarn" rc4.update && fail "rc4: the information dictionary is written in clear"
grep -aq "libquarn" plain-out.update || fail "plain: no producer in the update (the rc4 check proves nothing)"
# The object streams of an encrypted update are encrypted as a whole, and read back.
"$ZORVANE" rc4objstm.pdf rc4objstm.out.pdf -inc -pw owner.pw "${STAMP[@]}" -l rc4objstm.log ||
  fail "rc4objstm: failed"
judge rc4objstm rc4objstm.pdf rc4objstm.out.pdf /XRef u
grep -aq "/Type /ObjStm" rc4objstm.update || fail "rc4objstm: no object stream in the update"
pdfinfo -upw u rc4objstm.out.pdf 2>/dev/null | grep -q "^Producer: *libquarn" ||
  fail "rc4objstm: the packed information dictionary does not read back"
# A file that encrypts its strings but not its streams gets no object stream: the strings of
# the update stay encrypted (only qpdf reads such a file).
qpdf --encrypt u o 128 --use-aes=y -- plain.pdf aes.pdf
python3 - <<'PY'
data = open("aes.pdf", "rb").read()
open("aes-plainstreams.pdf", "wb").write(
    data.replace(b"/StmF /StdCF /StrF /StdCF", b"/StmF/Identity/StrF/StdCF", 1))
PY
python3 "$SOURCE_DIR/tests/support/xref_stream_pdf.py" aes-plainstreams.pdf aes-id.pdf
"$ZORVANE" aes-id.pdf aes-id.out.pdf -inc -pw owner.pw -wm logo.pdf -l aes-id.log || fail "aes-id: failed"
tail -c +"$(($(stat -c %s aes-id.pdf) + 1))" aes-id.out.pdf >aes-id.update
grep -aq "/Type /ObjStm" aes-id.update && fail "aes-id: strings packed into a stream left in clear"
grep -aq "libquarn" aes-id.update && fail "aes-id: the information dictionary is written in clear"
qpdf --password=u --show-object=trailer aes-id.out.pdf | grep -q "/Type /XRef" || fail "aes-id: no update stream"

# ---- signed files: each signature still verifies for the revision it covers ------------------------
sigs() { pdfsig "$1" 2>/dev/null | grep -E "Signature Validation|Signed Ranges"; }
xref_kind() { awk -F'\t' -v f="$1" '$1 == f { print ($8 == "stream" ? "/XRef" : "xref") }' "$CORPUS/MANIFEST.tsv"; }
judged=0
if have_corpus; then
  for path in "$CORPUS"/files/*.pdf; do
    grep -aq "/ByteRange" "$path" || continue
    file=$(basename "$path")
    if ! "$ZORVANE" "$path" "signed-$file" -inc "${STAMP[@]}" -l "$file.log"; then
      # Refused as the tool refuses any change to such a file (permissions, certification), or
      # as a file its reader had to repair: nothing may be written then.
      grep -qE "permissions do not allow changes|certified against changes|$REFUSAL" "$file.log" && [ ! -e "signed-$file" ] ||
        fail "$file: $(grep -a '^%\[\|Factor' "$file.log" | tr '\n' ' ')"
      continue
    fi
    judge "signed-$file" "$path" "signed-$file" "$(xref_kind "$file")"
    [ "$(sigs "$path")" = "$(sigs "signed-$file")" ] || fail "$file: signatures now $(sigs "signed-$file" | tr '\n' ' ')"
    # The update itself lies outside what the signature covers.
    ! pdfsig "$path" 2>/dev/null | grep -q "Total document signed" ||
      pdfsig "signed-$file" 2>/dev/null | grep -q "Not total document signed" || fail "$file: the update is signed?"
    judged=$((judged + 1))
  done
fi
have_corpus && [ "$judged" = 0 ] && fail "no signed corpus file could be judged"
have_corpus || echo "corpus not found at $CORPUS: signature checks skipped" >&2

# ---- failures: the input stays byte for byte as it was, and nothing is left behind ------------------
# refused NAME LINE INPUT [OUTPUT]: -inc on NAME.pdf (a copy of INPUT unless there is one) fails
# with LINE in its log.
refused() {
  local name=$1 line=$2 input=$3 output=${4:-}
  [ -e "$name.pdf" ] || cp "$input" "$name.pdf"
  "$ZORVANE" "$name.pdf" $output -inc "${STAMP[@]}" -l "$name.log"
  local status=$?
  [ "$status" = 1 ] || fail "$name: status $status, expected 1"
  grep -qF "$line" "$name.log" || fail "$name: no '$line' in $(grep -a '^%\[\|Factor' "$name.log" | tr '\n' ' ')"
  cmp -s "$name.pdf" "$input" || fail "$name: the input changed"
  [ -z "$output" ] || [ ! -e "$output" ] || fail "$name: $output left behind"
}
# An entry of the table points at the wrong place: the catalog's is found on open, a page's only
# when the walk reaches it, after the update has begun.
damage() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
at = data.rindex(b"\nxref\n") + 1
lines = data[at:].split(b"\n")
lines[2 + int(sys.argv[3])] = b"0000000001 00000 n "
open(sys.argv[2], "wb").write(data[:at] + b"\n".join(lines))
PY
}
damage long.pdf bad-root.src 1 && refused bad-root "$REFUSAL" bad-root.src
damage long.pdf bad-page.src 40 && refused bad-page "$REFUSAL" bad-page.src
refused bad-page-out "$REFUSAL" bad-page.src bad-page.out.pdf
# A run that a signal ends leaves the file as it was, or complete: the signal may also come
# after the update was made durable and before the process ended.
python3 "$SOURCE_DIR/bench/gen_pages.py" 3000 big.pdf
for delay in 0.02 0.05 0.1 0.2; do
  cp big.pdf killed.pdf
  "$ZORVANE" killed.pdf -inc "${STAMP[@]}" -l /dev/null &
  sleep "$delay"
  kill -s TERM $! 2>/dev/null
  wait $! && finished=1 || finished=0
  [ "$finished" = 1 ] || cmp -s killed.pdf big.pdf || tail -c 7 killed.pdf | grep -aq '%%EOF' ||
    fail "killed after $delay s: the input changed and holds no whole update"
  cmp -s killed.pdf big.pdf || judge "killed-$delay" big.pdf killed.pdf xref
done
if [ "$(id -u)" = 0 ] && mkdir full && mount -t tmpfs -o size=256k tmpfs full 2>/dev/null; then
  # The disk fills while the update is being written: there is room for the copy of the input
  # that the update follows, and little more.
  cp long.pdf full/long.pdf && head -c 1M /dev/zero >full/fill 2>/dev/null
  truncate -s -$(($(stat -c %s long.pdf) + 16384)) full/fill
  refused full/long "cannot flush PDF Document: full/long.pdf" long.pdf
  refused full-out "cannot flush PDF Document: full/long.out.pdf" long.pdf full/long.out.pdf
else
  echo "mount not permitted: the full-disk case is skipped" >&2
fi
finish
