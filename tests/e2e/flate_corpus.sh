#!/usr/bin/env bash
# Our Flate decoding against qpdf's on real files: for a sample of the FlateDecode streams
# (without DecodeParms) of the unencrypted files with classic cross-reference tables in the
# shared corpus, the bytes of `quarn_decode FILE N G` equal
# `qpdf --show-object=N,G --filtered-stream-data FILE`.
#
# Environment: SOURCE_DIR (the sources), BUILD_DIR (the build); QUARN_DECODE overrides the tool;
# STREAMS_PER_FILE (default 8) bounds the sample per file.
set -uo pipefail

SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}"
ZORVANE=${ZORVANE:-unused}
source "$SOURCE_DIR/tests/e2e/lib.sh"
TOOL="${QUARN_DECODE:-${BUILD_DIR:-$SOURCE_DIR/build}/tests/quarn_decode}"
PER_FILE="${STREAMS_PER_FILE:-8}"

need_corpus
need qpdf jq
[ -x "$TOOL" ] || { echo "FAIL: $TOOL is not built"; exit 1; }

make_workdir flate

compared=0
failed=0
unopened=0
unloaded=0
# Columns: 1 file, 8 xref_kind, 12 encryption.
while IFS=$'\t' read -r file xref encryption; do
  path="$CORPUS/files/$file"
  [ -f "$path" ] || continue
  # Flate streams whose filter is written out directly and that carry no DecodeParms.
  qpdf --json=2 --json-key=qpdf --json-stream-data=none "$path" </dev/null 2>/dev/null |
    jq -r '.qpdf[1] | to_entries[] | select(.value.stream)
           | select(.value.stream.dict["/DecodeParms"] == null)
           | select(.value.stream.dict["/Filter"] == "/FlateDecode"
                    or .value.stream.dict["/Filter"] == ["/FlateDecode"])
           | .key | capture("obj:(?<n>[0-9]+) (?<g>[0-9]+) R") | "\(.n) \(.g)"' \
      >"$WORK/objects" || true
  [ -s "$WORK/objects" ] || continue
  # A spread over the file: every k-th stream.
  total=$(wc -l <"$WORK/objects")
  step=$(( (total + PER_FILE - 1) / PER_FILE ))
  awk -v s="$step" 'NR % s == 1 || s == 1' "$WORK/objects" >"$WORK/sample"
  while read -r num gen; do
    qpdf --show-object="$num,$gen" --filtered-stream-data "$path" </dev/null >"$WORK/expected" 2>/dev/null
    qpdf_status=$?
    "$TOOL" "$path" "$num" "$gen" </dev/null >"$WORK/actual" 2>"$WORK/error"
    status=$?
    if [ "$status" -eq 2 ]; then
      # The document layer cannot open this file; that is not the filters' business.
      echo "note: $file does not open: $(tr '\n' ' ' <"$WORK/error")"
      unopened=$((unopened + 1))
      break
    fi
    if [ "$status" -eq 3 ]; then
      # The object does not load as a stream (for example "stream" followed by a blank, which
      # the reader refuses): again the document layer's business, not the filters'.
      echo "note: $file object $num $gen does not load: $(tr '\n' ' ' <"$WORK/error")"
      unloaded=$((unloaded + 1))
      continue
    fi
    if [ "$qpdf_status" -ne 0 ] && [ "$qpdf_status" -ne 3 ]; then
      continue  # qpdf itself could not decode it: nothing to compare with
    fi
    if [ "$status" -ne 0 ] || ! cmp -s "$WORK/expected" "$WORK/actual"; then
      echo "FAIL: $file object $num $gen (status $status, $(stat -c %s "$WORK/actual") bytes," \
        "qpdf $(stat -c %s "$WORK/expected") bytes) $(tr '\n' ' ' <"$WORK/error")"
      failed=$((failed + 1))
    fi
    compared=$((compared + 1))
  done <"$WORK/sample"
done < <(awk -F'\t' 'NR > 1 && $8 == "table" && $12 == "none" { print $1 "\t" $8 "\t" $12 }' \
           "$CORPUS/MANIFEST.tsv")

echo "compared $compared streams, $failed differ; $unopened files did not open," \
  "$unloaded objects did not load"
if [ "$compared" -eq 0 ]; then
  echo "FAIL: no stream was compared"
  exit 1
fi
[ "$failed" -eq 0 ]
