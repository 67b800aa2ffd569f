#!/usr/bin/env bash
# Streams that a run does not change are copied from the input as they stand. For a plain file,
# an encrypted one (RC4-40, key kept), one with object streams and the plain corpus files,
# stamped by the real zorvane binary: the output passes qpdf --check and every stream of the
# input is in the output under its number with the same raw (still filtered) data, as qpdf reads
# it. Written to a pipe (where the kernel cannot copy file to file) the output is the same.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf python3
make_workdir stream-copy
cd "$WORK" || exit 1

make_six_pages plain.pdf || { echo "cannot make plain.pdf" >&2; exit 1; }
make_red_logo logo.pdf || { echo "cannot make logo.pdf" >&2; exit 1; }
qpdf --allow-weak-crypto --encrypt u o 40 -- plain.pdf rc4.pdf
qpdf --object-streams=generate plain.pdf objstm.pdf
inputs=(plain.pdf rc4.pdf objstm.pdf)
if have_corpus; then
  for f in $(plain_corpus_files | head -8); do inputs+=("$CORPUS/files/$f"); done
fi

# raw_streams PDF [PASSWORD]: "number sha1-of-raw-data" for every stream object (object and
# cross-reference streams aside: a rewrite writes their objects plainly). An end of line before
# "endstream" does not count: data whose "Length" fell short of it is written with it.
raw_streams() {
  qpdf --password="${2:-}" --json --json-stream-data=inline --decode-level=none "$1" 2>/dev/null |
    python3 -c '
import base64, hashlib, json, sys
doc = json.load(sys.stdin)
for key, obj in doc["qpdf"][1].items():
    s = obj.get("stream") if isinstance(obj, dict) else None
    if s is not None and "data" in s and s["dict"].get("/Type") not in ("/ObjStm", "/XRef"):
        data = base64.b64decode(s["data"]).rstrip(b"\r\n")
        print(key.split()[0], hashlib.sha1(data).hexdigest())'
}
normalise() { sed -E 's/\(D:[0-9]{14}[^)]*\)/(D:)/g' "$1"; }

for input in "${inputs[@]}"; do
  name=$(basename "$input")
  pass=; [ "$name" = rc4.pdf ] && pass=u
  args=("$input" out.pdf -wm logo.pdf -l "")
  [ -n "$pass" ] && args+=(-pw pw.txt) && printf 'u' >pw.txt
  if ! "$ZORVANE" "${args[@]}" >/dev/null 2>&1; then fail "$name: zorvane failed"; continue; fi
  if [ -n "$pass" ]; then
    qpdf --password="$pass" --check out.pdf >/dev/null 2>&1 || { fail "$name: qpdf --check failed"; continue; }
  else
    qpdf_ok out.pdf "$name" || continue
  fi
  raw_streams "$input" "$pass" >in.txt
  raw_streams out.pdf "$pass" >out.txt
  [ -s in.txt ] || fail "$name: no stream read from the input"
  missing=$(comm -23 <(sort in.txt) <(sort out.txt) | head -3)
  [ -z "$missing" ] || fail "$name: streams not copied as they stood: $missing"
  args[1]=-
  "$ZORVANE" "${args[@]}" >piped.pdf 2>/dev/null || fail "$name: zorvane to a pipe failed"
  if [ -n "$pass" ]; then
    # The encrypted date stamp is not blanked out: the streams are compared instead.
    cmp -s out.txt <(raw_streams piped.pdf "$pass") || fail "$name: piped output differs"
  else
    cmp -s <(normalise out.pdf) <(normalise piped.pdf) || fail "$name: piped output differs"
  fi
done
finish
