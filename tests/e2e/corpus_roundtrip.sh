#!/usr/bin/env bash
# Round trip of the real-world corpus through the library: every file with classic
# cross-reference tables that qpdf accepts is opened, rewritten in full and checked with real
# readers (qpdf --check, the page count of pdfinfo, a low-resolution render of page 1).
# Files with cross-reference streams and object streams round-trip like the others.
# Needs SOURCE_DIR and BUILD_DIR; skips when the corpus is not there.
set -uo pipefail

: "${SOURCE_DIR:?path of the source tree}"
: "${BUILD_DIR:?path of the build tree}"
ZORVANE=${ZORVANE:-unused}
source "$SOURCE_DIR/tests/e2e/lib.sh"

need_corpus
ROUNDTRIP=$BUILD_DIR/tests/quarn_roundtrip
[ -x "$ROUNDTRIP" ] || { echo "missing $ROUNDTRIP (build the quarn_roundtrip target)" >&2; exit 1; }
need qpdf pdfinfo pdftoppm python3
make_workdir corpus

# Files that the library refuses by design, each with the reason; they must fail cleanly.
declare -A EXPECTED_FAILURE=()
# Files that open (repaired) but whose page 1 is not compared, with the reason.
declare -A NOT_JUDGED=(
  [handmade-xreftable-dual-startxref-1p.pdf]='the last startxref names a table followed by another table: the file is repaired from its newest objects, which readers do not show'
)

PASSED=0
XFAILED=0
SKIPPED=0

# password_of ENCRYPTION PASSWORD: the -p option for the round trip tool, or nothing.
password_args() {
  local encryption=$1 password=$2
  if [ "$encryption" = none ]; then return; fi
  if [ -n "$password" ]; then printf '%s\n' -p "$password"; return; fi
  case $encryption in *"empty user pw opens: y"*) printf '%s\n' -p "" ;; esac
}

# expect_clean_failure FILE REASON ARGS...: the tool fails, says why, and leaves the input.
expect_clean_failure() {
  local file=$1 reason=$2
  shift 2
  local before after message
  before=$(sha256sum "$CORPUS/files/$file" | cut -d' ' -f1)
  if message=$("$ROUNDTRIP" "$CORPUS/files/$file" "$WORK/out.pdf" "$@" 2>&1); then
    fail "$file: expected to fail ($reason) but round-tripped"
    return
  fi
  after=$(sha256sum "$CORPUS/files/$file" | cut -d' ' -f1)
  [ "$before" = "$after" ] || fail "$file: input changed by a failed run"
  [ -e "$WORK/out.pdf" ] && fail "$file: a failed run left its output behind"
  case $message in
    *"failed: CPDF"*) echo "XFAIL $file ($reason): $message"; XFAILED=$((XFAILED + 1)) ;;
    *) fail "$file: failure without a library error record: $message" ;;
  esac
}

while IFS=$'\t' read -r file _repo _path _lic _bytes _ver pages xref _objstm _sections _lin encryption _rot _origin qpdfcheck rest; do
  [ "$file" = file ] && continue
  password=$(echo "$rest" | cut -f14)
  mapfile -t pw < <(password_args "$encryption" "$password")
  qpw=()
  [ ${#pw[@]} -eq 2 ] && [ -n "${pw[1]}" ] && qpw=(--password="${pw[1]}")
  rm -f "$WORK"/out.pdf "$WORK"/*.ppm

  case $xref in
    table | stream | hybrid | table+stream) ;;
    *) SKIPPED=$((SKIPPED + 1)); continue ;;  # no usable startxref chain at all
  esac
  if [ -n "${NOT_JUDGED[$file]:-}" ]; then
    echo "SKIP $file (${NOT_JUDGED[$file]})"
    SKIPPED=$((SKIPPED + 1))
    continue
  fi
  # Only files that qpdf reads without repairing them (its warnings are allowed).
  case $qpdfcheck in ok | warnings) ;; *) SKIPPED=$((SKIPPED + 1)); continue ;; esac
  input_status=0
  qpdf "${qpw[@]}" --check "$CORPUS/files/$file" >/dev/null 2>&1 || input_status=$?
  if [ "$input_status" -ne 0 ] && [ "$input_status" -ne 3 ]; then SKIPPED=$((SKIPPED + 1)); continue; fi
  if [ -n "${EXPECTED_FAILURE[$file]:-}" ]; then
    expect_clean_failure "$file" "${EXPECTED_FAILURE[$file]}" "${pw[@]}"
    continue
  fi
  if [ ${#pw[@]} -eq 0 ] && [ "$encryption" != none ]; then SKIPPED=$((SKIPPED + 1)); continue; fi

  if ! count=$("$ROUNDTRIP" "$CORPUS/files/$file" "$WORK/out.pdf" "${pw[@]}" 2>&1); then
    fail "$file: round trip failed: $count"
    continue
  fi
  ok=1
  # The output is checked as strictly as the input passed: warnings only where the input
  # already had them.
  report=$(qpdf "${qpw[@]}" --check "$WORK/out.pdf" 2>&1)
  status=$?
  if [ $status -ne 0 ] && [ $status -ne "$input_status" ]; then
    fail "$file: qpdf --check of the output: $(echo "$report" | tail -2)"; ok=0
  fi
  upw=()
  [ ${#qpw[@]} -eq 1 ] && upw=(-upw "${pw[1]}")
  in_pages=$(pdfinfo "${upw[@]}" "$CORPUS/files/$file" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  out_pages=$(pdfinfo "${upw[@]}" "$WORK/out.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  if [ "$in_pages" != "$out_pages" ] || [ "$count" != "$out_pages" ]; then
    fail "$file: pages $in_pages before, $out_pages after (library counted $count)"; ok=0
  fi
  pdftoppm "${upw[@]}" -r 18 -f 1 -l 1 -singlefile "$CORPUS/files/$file" "$WORK/in" 2>/dev/null
  pdftoppm "${upw[@]}" -r 18 -f 1 -l 1 -singlefile "$WORK/out.pdf" "$WORK/out" 2>/dev/null
  if ! cmp -s "$WORK/in.ppm" "$WORK/out.ppm" && ! pixcheck same "$WORK/in.ppm" "$WORK/out.ppm"; then
    fail "$file: page 1 renders differently"; ok=0
  fi
  [ $ok -eq 1 ] && PASSED=$((PASSED + 1))
done < "$CORPUS/MANIFEST.tsv"

echo "corpus round trip: $PASSED passed, $XFAILED expected failures, $SKIPPED skipped, $FAILURES failed"
skip_if_nothing_judged $((PASSED + XFAILED)) "round-tripped"
[ "$FAILURES" -eq 0 ]
