#!/usr/bin/env bash
# The typed dictionary family over the real-world corpus. For every file that the library
# opens: quarn_census binds what the family binds (pages with annotations and resources, the
# outline, the form, names, open action, threads) and counts the bound objects per class
# group; the counts must lie between what qpdf's reading of the file says must bind and what
# could at most. Then the bound document is saved, and every object of the input keeps its
# value in the output (qpdf --json of both compared; see typed_family_check.py).
# Needs SOURCE_DIR and BUILD_DIR; skips when the corpus is not there.
set -uo pipefail

: "${SOURCE_DIR:?path of the source tree}"
: "${BUILD_DIR:?path of the build tree}"
ZORVANE=${ZORVANE:-unused}
source "$SOURCE_DIR/tests/e2e/lib.sh"

need_corpus
CENSUS=$BUILD_DIR/tests/quarn_census
[ -x "$CENSUS" ] || { echo "missing $CENSUS (build the quarn_census target)" >&2; exit 1; }
need qpdf python3
make_workdir typed-family
CHECK="python3 $E2E_DIR/typed_family_check.py"

COUNTED=0
COMPARED=0
declare -A TOTAL=()
for pdf in "$CORPUS"/files/*.pdf; do
  [ -f "$pdf" ] || continue
  file=$(basename "$pdf")
  rm -f "$WORK"/*
  # Every page of every file loads with its entries bound; only files that need a password
  # are not judged here.
  if ! "$CENSUS" "$pdf" "$WORK/out.pdf" >"$WORK/census.txt" 2>"$WORK/err.txt"; then
    grep -q "encrypted document" "$WORK/err.txt" && continue
    fail "$file: binding and saving failed: $(cat "$WORK/err.txt")"
    continue
  fi
  qpdf --json --json-key=qpdf --json-key=pages --decode-level=none --json-stream-data=inline \
    "$pdf" >"$WORK/in.json" 2>/dev/null
  [ -s "$WORK/in.json" ] || continue
  if report=$($CHECK counts "$WORK/in.json" "$WORK/census.txt"); then
    COUNTED=$((COUNTED + 1))
  else
    fail "$file: $report"
  fi
  while read -r group count; do TOTAL[$group]=$((${TOTAL[$group]:-0} + count)); done <"$WORK/census.txt"
  # The value comparison needs an input that qpdf reads without a warning: a repaired file
  # is read differently by each reader.
  qpdf --check "$pdf" >/dev/null 2>&1 || continue
  # Two "startxref" naming different tables: each reader takes another one as the newest.
  [ "$file" = handmade-xreftable-dual-startxref-1p.pdf ] && continue
  qpdf --json --json-key=qpdf --decode-level=none --json-stream-data=inline \
    "$WORK/out.pdf" >"$WORK/out.json" 2>/dev/null
  if report=$($CHECK same "$WORK/in.json" "$WORK/out.json"); then
    COMPARED=$((COMPARED + 1))
  else
    fail "$file: the save changed values: $report"
  fi
done

echo "typed family: $COUNTED files counted, $COMPARED compared, $FAILURES failed"
for group in "${!TOTAL[@]}"; do echo "  $group: ${TOTAL[$group]} bound over the corpus"; done
skip_if_nothing_judged "$COUNTED" "counted"
# The corpus holds every group; a group that never binds means its binding is broken.
for group in annotations fields actions destinations outlines shadings patterns functions colorspaces; do
  [ "${TOTAL[$group]:-0}" -gt 0 ] || fail "no $group bound over the whole corpus"
done
[ "$FAILURES" -eq 0 ]
