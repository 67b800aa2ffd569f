#!/usr/bin/env bash
# Encrypted documents: every revision of the standard security handler that qpdf writes, and the
# encrypted files of the corpus, stamped with the empty password or with -pw (a file, or "-" for
# standard input). The output must keep the input's encryption (qpdf --show-encryption equal),
# pass qpdf --check and show the stamps. Wrong passwords and documents whose permissions forbid
# changes are refused with their error line, exit status 1 and no output.
# Needs ZORVANE and SOURCE_DIR.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
command -v qpdf >/dev/null && command -v pdftotext >/dev/null && command -v pdftoppm >/dev/null &&
  command -v ps2pdf >/dev/null || { echo "qpdf, poppler-utils or ghostscript missing: skipped"; exit 77; }
make_workdir encryption
cd "$WORK" || exit 1
make_six_pages plain.pdf && make_red_logo w.pdf || { echo "cannot make the test files" >&2; exit 1; }

# encryption_of PDF PASSWORD: what qpdf says of the encryption, without file names and offsets.
encryption_of() {
  qpdf --show-encryption --password="$2" "$1" 2>&1 | grep -v '^WARNING'
}

# stamped_ok NAME IN OUT PASSWORD: the output keeps the encryption, passes qpdf --check, has the
# page number and shows the watermark over the centre of page 1.
stamped_ok() {
  local name=$1 in=$2 out=$3 password=$4 status
  qpdf --check --password="$password" "$out" >check.txt 2>&1
  status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 3 ] || fail "$name: qpdf --check: $(tail -2 check.txt)"
  [ "$(encryption_of "$in" "$password")" = "$(encryption_of "$out" "$password")" ] ||
    fail "$name: encryption differs: $(diff <(encryption_of "$in" "$password") <(encryption_of "$out" "$password") | head -4 | tr '\n' ' ')"
  pdftotext -opw "$password" -upw "$password" -f 1 -l 1 "$out" - 2>/dev/null | grep -q "Zq1Qz" ||
    fail "$name: page number not found"
  pdftoppm -opw "$password" -upw "$password" -r 72 -f 1 -l 1 -singlefile "$out" page 2>/dev/null
  local box
  # The centre of the render (the page as shown), inside the 200x100 watermark.
  box=$(head -c 40 page.ppm 2>/dev/null | tr -s ' \n' '  ' | awk '{
    printf "%d %d %d %d", $2 / 2 - 80, $3 / 2 - 30, $2 / 2 + 80, $3 / 2 + 30 }')
  # shellcheck disable=SC2086
  [ -n "$box" ] && pixcheck colour page.ppm $box 255,0,0 || fail "$name: no watermark on page 1"
}

# stamp NAME IN PASSWORD_ARGS...: runs the tool with -wm and -nbp into out.pdf.
stamp() {
  local in=$2
  shift 2
  rm -f out.pdf run.log
  "$ZORVANE" "$in" out.pdf -wm w.pdf -up -nbp -nbf "n,Zq%sQz" "$@" -l run.log 2>/dev/null
}

# expect_refusal NAME LINE IN ARGS...: the run fails with the framed LINE and leaves no output.
expect_refusal() {
  local name=$1 line=$2 in=$3
  shift 3
  rm -f out.pdf run.log
  if "$ZORVANE" "$in" out.pdf -nbp "$@" -l run.log 2>/dev/null; then
    fail "$name: expected \"$line\" but the run succeeded"
  elif ! grep -qF "%[ Error: $line ]%" run.log; then
    fail "$name: expected \"$line\": $(grep -m1 Error run.log)"
  fi
  [ -e out.pdf ] && fail "$name: a refused run left its output"
}

# Every revision qpdf writes, as user password "u" / owner "o" and with an empty user password.
echo u >user.txt
for revision in "40" "128 --use-aes=n" "128 --force-V4 --use-aes=n" "128 --use-aes=y" \
  "128 --use-aes=y --cleartext-metadata" "256 --force-R5" "256"; do
  name="qpdf $revision"
  # shellcheck disable=SC2086
  qpdf --allow-weak-crypto --encrypt u o $revision -- plain.pdf enc.pdf &&
    qpdf --allow-weak-crypto --encrypt "" o $revision -- plain.pdf open.pdf || { fail "$name: qpdf"; continue; }
  stamp "$name" open.pdf && stamped_ok "$name (empty password)" open.pdf out.pdf "" ||
    fail "$name (empty password): not stamped: $(grep -m1 Error run.log)"
  stamp "$name" enc.pdf -pw user.txt && stamped_ok "$name (-pw file)" enc.pdf out.pdf u ||
    fail "$name (-pw file): not stamped: $(grep -m1 Error run.log)"
  expect_refusal "$name (no password)" "cannot open PDF Document: enc.pdf" enc.pdf
  echo wrong | expect_refusal "$name (wrong password)" "incorrect password" enc.pdf -pw -
  # Permissions: changes forbidden to the user, allowed to the owner.
  # shellcheck disable=SC2086
  qpdf --allow-weak-crypto --encrypt u o $revision --modify=none -- plain.pdf locked.pdf 2>/dev/null ||
    qpdf --allow-weak-crypto --encrypt u o $revision --modify=n -- plain.pdf locked.pdf
  expect_refusal "$name (user, no changes allowed)" \
    "the document's permissions do not allow changes: locked.pdf" locked.pdf -pw user.txt
  echo o | stamp "$name" locked.pdf -pw - && stamped_ok "$name (owner on stdin)" locked.pdf out.pdf o ||
    fail "$name (owner on stdin): not stamped: $(grep -m1 Error run.log)"
done

# The encrypted files of the corpus, with the password of their manifest row (or none).

if [ -f "$CORPUS/MANIFEST.tsv" ]; then
  # (awk keeps the empty columns that a read with a tab IFS would merge)
  while IFS=$'\t' read -r file password <&3; do
    [ -f "$CORPUS/files/$file" ] || continue
    qpdf --check --password="$password" "$CORPUS/files/$file" >/dev/null 2>&1
    status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 3 ] || continue
    args=()
    if [ -n "$password" ]; then
      printf '%s\n' "$password" >pw.txt
      args=(-pw pw.txt)
    fi
    info=$(encryption_of "$CORPUS/files/$file" "$password")
    if echo "$info" | grep -q "modify other: not allowed" && ! echo "$info" | grep -q "is owner password"; then
      expect_refusal "$file" "the document's permissions do not allow changes: $CORPUS/files/$file" \
        "$CORPUS/files/$file" "${args[@]}"
    elif stamp "$file" "$CORPUS/files/$file" "${args[@]}"; then
      stamped_ok "$file" "$CORPUS/files/$file" out.pdf "$password"
    else
      fail "$file: not stamped: $(grep -m1 -e Error -e Factor run.log)"
    fi
  done 3< <(awk -F'\t' 'NR > 1 && $12 != "none" && $12 != "" { print $1 "\t" $29 }' "$CORPUS/MANIFEST.tsv")
else
  echo "note: corpus not found at $CORPUS"
fi
finish
