#!/usr/bin/env bash
# Signed and certified documents. A full rewrite moves the bytes a signature covers: the run
# succeeds and says so in one warning line; -inc leaves the signature alone and says nothing. A
# document certified with DocMDP forbids changing its pages at every level: it is refused in
# both modes with its framed line, exit status 1, the input byte for byte as it was and no
# output. Hand-made files (a signature field under a parent that lists itself, a field with no
# signature, each DocMDP level) and the signed files of the corpus, judged by qpdf and pdfsig.
# Needs ZORVANE and SOURCE_DIR.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf pdfsig python3 sha256sum
make_workdir signatures
cd "$WORK" || exit 1
MINI="python3 $SOURCE_DIR/tests/support/mini_pdf.py"
for kind in signed unsigned_field certified_p1 certified_p2 certified_p3 certified_default; do
  $MINI "$kind" "$kind.pdf" || { echo "cannot make $kind.pdf" >&2; exit 1; }
done

warning_of() { echo "the signatures of $1 no longer verify after a full rewrite: use -inc to keep them"; }

# stamped NAME IN MODE WARNED: a run with MODE ("" or -inc) stamps IN into a new file, and its log
# holds the warning line exactly once when WARNED is "yes", else not at all.
stamped() {
  local name=$1 in=$2 mode=$3 warned=$4 count
  rm -f out.pdf run.log
  # shellcheck disable=SC2086
  if ! "$ZORVANE" "$in" out.pdf -nbp $mode -l run.log; then
    fail "$name: failed: $(grep -a -m1 Error run.log)"
    return
  fi
  qpdf_ok out.pdf "$name"
  count=$(grep -cxF "$(warning_of "$in")" run.log)
  if [ "$warned" = yes ] && [ "$count" != 1 ]; then
    fail "$name: expected the warning once, found it $count times: $(grep -v '^Start\|File:\|^Finish' run.log)"
  elif [ "$warned" = no ] && [ "$count" != 0 ]; then
    fail "$name: warned although the signatures are kept or absent"
  fi
}

# refused NAME IN: every mode, to another file and in place, ends with status 1 and the framed
# line, writes nothing and leaves IN as it was.
refused() {
  local name=$1 in=$2 mode output status before
  before=$(sha256sum "$in")
  for mode in "" -inc; do
    for output in out.pdf ""; do
      rm -f out.pdf run.log
      # shellcheck disable=SC2086
      "$ZORVANE" "$in" $output -nbp $mode -l run.log
      status=$?
      [ "$status" = 1 ] || fail "$name ($mode ${output:-in place}): status $status, expected 1"
      grep -qxF "%[ Error: the document is certified against changes: $in ]%" run.log ||
        fail "$name ($mode ${output:-in place}): $(grep -a -m1 Error run.log || echo 'no error line')"
      [ -e out.pdf ] && fail "$name ($mode ${output:-in place}): a refused run left its output"
      [ "$(sha256sum "$in")" = "$before" ] || fail "$name ($mode ${output:-in place}): input changed"
    done
  done
}

stamped "signed" signed.pdf "" yes
stamped "signed, -inc" signed.pdf -inc no
stamped "signature field without a signature" unsigned_field.pdf "" no
for level in p1 p2 p3 default; do
  docmdp_certified "certified_$level.pdf" || fail "certified_$level: qpdf does not see it certified"
  refused "certified ($level)" "certified_$level.pdf"
done

# The signed files of the corpus (the tool has their passwords in the manifest): certified ones
# are refused, the others warn on a full rewrite, which pdfsig confirms breaks their signatures.
judged=0
if have_corpus; then
  for path in "$CORPUS"/files/*.pdf; do
    grep -aq "/ByteRange" "$path" || continue
    file=$(basename "$path")
    password=$(awk -F'\t' -v f="$file" '$1 == f { print $29 }' "$CORPUS/MANIFEST.tsv")
    [ -z "$password" ] || continue
    cp "$path" "$file"
    if docmdp_certified "$file"; then
      refused "$file" "$file"
    elif pdfsig "$file" 2>/dev/null | grep -q "^Signature #1"; then
      stamped "$file" "$file" "" yes
      stamped "$file, -inc" "$file" -inc no
    else
      continue
    fi
    judged=$((judged + 1))
  done
fi
have_corpus && [ "$judged" = 0 ] && fail "no signed corpus file could be judged"
finish
