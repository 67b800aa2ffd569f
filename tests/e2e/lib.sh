#!/usr/bin/env bash
# Shared helpers of the end-to-end scripts (sourced, never run as a test of its own).

: "${ZORVANE:?path of the zorvane binary}"
: "${SOURCE_DIR:?path of the source tree}"

E2E_DIR=$SOURCE_DIR/tests/e2e
FAILURES=${FAILURES:-0}

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# need TOOL...: stops the script as skipped (status 77, which CTest reports as "Skipped") when a
# test tool is missing.
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing test tool: $tool (scripts/setup.sh installs it): skipped" >&2; exit 77; }
  done
}

# make_workdir NAME: a fresh directory in $WORK, removed when the script ends.
make_workdir() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-$1-XXXXXX")
  trap 'rm -rf "$WORK"' EXIT
}

# ps_to_pdf PS PDF: a PDF with a classic cross-reference table made from PostScript text.
ps_to_pdf() {
  ps2pdf -dQUIET -dCompatibilityLevel=1.4 "$1" "$2.gs.pdf" &&
    qpdf --object-streams=disable "$2.gs.pdf" "$2" && rm -f "$2.gs.pdf"
}

# render PDF PAGE OUT: page PAGE of PDF as an 8-bit PPM at 72 dpi (one pixel per point).
render() {
  pdftoppm -r 72 -f "$2" -l "$2" -singlefile "$1" "${3%.ppm}" 2>/dev/null
}

# page_count PDF
page_count() {
  pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ { print $2 }'
}

# qpdf_ok PDF WHAT: qpdf --check must pass (warnings fail too).
qpdf_ok() {
  local report
  if ! report=$(qpdf --check "$1" 2>&1); then
    fail "$2: qpdf --check failed: $(echo "$report" | tail -3)"
    return 1
  fi
  if echo "$report" | grep -qi "warning"; then
    fail "$2: qpdf --check warns: $(echo "$report" | grep -i warning | head -3)"
    return 1
  fi
}

# The shared corpus of real-world files; its MANIFEST.tsv describes each file.
CORPUS=${CORPUS:-$SOURCE_DIR/../shared/corpus}

# have_corpus: whether the corpus is there.
have_corpus() {
  [ -f "$CORPUS/MANIFEST.tsv" ]
}

# need_corpus: stops the script as skipped (status 77) when the corpus is not there.
need_corpus() {
  have_corpus || { echo "corpus not found at $CORPUS: skipped" >&2; exit 77; }
}

# skip_if_nothing_judged COUNT WHAT: stops the script as skipped when the corpus is there but
# not one of its files could be judged (files missing, or none that qualifies), so that a run
# that checked nothing never reports passed.
skip_if_nothing_judged() {
  if [ "$1" -eq 0 ] && [ "$FAILURES" -eq 0 ]; then
    echo "no corpus file could be $2 (files under $CORPUS/files missing?): skipped" >&2
    exit 77
  fi
}

# plain_corpus_files: the corpus files present with a classic cross-reference table, no object
# streams, no encryption, that qpdf accepts (the manifest's columns are read by name), and that
# are not certified against changes (the tool refuses those; in such a file the catalog is
# plain text, so only files that mention DocMDP are asked).
plain_corpus_files() {
  local file
  for file in $(python3 - "$CORPUS/MANIFEST.tsv" <<'PY'
import csv, sys
for row in csv.DictReader(open(sys.argv[1], newline=""), delimiter="\t"):
    if (row["xref_kind"], row["object_streams"], row["encryption"], row["qpdf_check"]) == ("table", "n", "none", "ok"):
        print(row["file"])
PY
  ); do
    [ -f "$CORPUS/files/$file" ] || continue
    grep -aq "/DocMDP" "$CORPUS/files/$file" && docmdp_certified "$CORPUS/files/$file" && continue
    echo "$file"
  done
}

pixcheck() {
  python3 "$E2E_DIR/pixcheck.py" "$@"
}

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# make_six_pages PDF: six 400x400 pages, each with a block in the lower left, a block in the
# centre (under a centred watermark) and its page number in the upper right.
make_six_pages() {
  cat >doc.ps <<'PS'
%!PS
<< /PageSize [400 400] >> setpagedevice
/Helvetica findfont 20 scalefont setfont
1 1 6 {
  /n exch def
  0 setgray
  20 20 80 80 rectfill
  180 180 40 40 rectfill
  330 360 moveto n 3 string cvs show
  showpage
} for
PS
  ps_to_pdf doc.ps "$1"
}

# make_ten_pages PDF: ten A4 pages of body text, the document the font scripts number.
make_ten_pages() {
  cat >doc.ps <<'PS'
%!PS
<< /PageSize [595 842] >> setpagedevice
/Helvetica findfont 14 scalefont setfont
1 1 10 { pop 100 400 moveto (Body text) show showpage } for
PS
  ps_to_pdf doc.ps "$1"
}

# make_red_logo PDF [WIDTH HEIGHT]: the watermark, one page (200x100 unless given) filled with red.
make_red_logo() {
  local width=${2:-200} height=${3:-100}
  cat >logo.ps <<PS
%!PS
<< /PageSize [$width $height] >> setpagedevice
1 0 0 setrgbcolor 0 0 $width $height rectfill
showpage
PS
  ps_to_pdf logo.ps "$1"
}

# docmdp_certified PDF [PASSWORD]: whether qpdf finds the file certified: the catalog's /Perms
# /DocMDP signature holds a /DocMDP transform among its /Reference entries.
docmdp_certified() {
  qpdf --json=2 --json-key=qpdf --password="${2:-}" "$1" 2>/dev/null | python3 -c '
import json, sys
try:
    objects = json.load(sys.stdin)["qpdf"][1]
except ValueError:
    sys.exit(1)  # a file qpdf cannot read
def get(value):
    for _ in range(8):
        if not (isinstance(value, str) and value.endswith(" R")):
            break
        value = objects.get("obj:" + value, {}).get("value")
    return value
def entry(value, key):
    value = get(value)
    return get(value.get(key)) if isinstance(value, dict) else None
signature = entry(entry(objects["trailer"]["value"], "/Root"), "/Perms")
references = entry(entry(signature, "/DocMDP") if signature else None, "/Reference") or []
sys.exit(0 if any(entry(r, "/TransformMethod") == "/DocMDP" for r in references) else 1)
'
}
