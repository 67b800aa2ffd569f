#!/usr/bin/env bash
# The messages a user reads in the log. System error texts come in the user's own language and
# encoding, whatever locale the tool runs its font conversions in: failing runs under LC_ALL=C
# (and under LANG=C.UTF-8) log only valid UTF-8, and the texts in English. Refusals say what to
# do: an encrypted document names -pw, a permission refusal the owner password, a font name that
# finds nothing the nearest installed faces (or how to list them), a character outside the
# font's encoding the character and the encoding.
# Needs ZORVANE and SOURCE_DIR.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need qpdf python3
make_workdir messages
cd "$WORK" || exit 1
python3 "$SOURCE_DIR/tests/support/mini_pdf.py" plain doc.pdf || { echo "cannot make doc.pdf" >&2; exit 1; }

# utf8_lines NAME LOG: every line of LOG is valid UTF-8.
utf8_lines() {
  python3 - "$2" <<'PY' || fail "$1: a log line is not UTF-8: $(grep -av '^[[:print:]]*$' "$2" | head -2)"
import sys
for line in open(sys.argv[1], "rb"):
    line.decode("utf-8")
PY
}

# failing NAME ENV... -- ARGS...: zorvane ARGS under the environment ENV fails, logging to run.log.
failing() {
  local name=$1 environment=()
  shift
  while [ "$1" != "--" ]; do environment+=("$1"); shift; done
  shift
  rm -f run.log
  env -u LC_ALL -u LC_MESSAGES -u LC_CTYPE -u LANG -u LANGUAGE "${environment[@]}" "$ZORVANE" "$@" -l run.log >/dev/null
  [ "$?" = 1 ] || fail "$name: expected status 1"
}

# ---- system error texts ---------------------------------------------------------------------
for environment in "LC_ALL=C LANG=C.UTF-8" "LANG=C.UTF-8" "LC_ALL=C"; do
  # shellcheck disable=SC2086
  failing "$environment, output directory missing" $environment -- doc.pdf /nonexistent/e.pdf -nbp
  utf8_lines "$environment, output directory missing" run.log
  grep -qxF "Factor: No such file or directory" <(tr -d '\r' <run.log) ||
    fail "$environment, output directory missing: $(grep -a Factor run.log)"
  # shellcheck disable=SC2086
  failing "$environment, temporary directory missing" $environment -- doc.pdf - -t x
  utf8_lines "$environment, temporary directory missing" run.log
  grep -qxF "%[ Error: cannot create a temporary file in x: No such file or directory ]%" run.log ||
    fail "$environment, temporary directory missing: $(grep -a Error run.log)"
done
# Japanese messages on a UTF-8 terminal, where the host has a Japanese locale: Japanese texts
# are fine, in the terminal's UTF-8 (the language follows LC_MESSAGES, the bytes LC_CTYPE).
japanese=$(locale -a 2>/dev/null | grep -m1 -iE '^ja_JP\.utf-?8$')
if [ -n "$japanese" ]; then
  failing "$japanese" "LANG=$japanese" -- doc.pdf /nonexistent/e.pdf -nbp
  utf8_lines "$japanese" run.log
fi
japanese=$(locale -a 2>/dev/null | grep -m1 '^ja_JP')
if [ -n "$japanese" ]; then
  failing "LC_MESSAGES=$japanese" "LC_MESSAGES=$japanese" LC_CTYPE=C.UTF-8 -- doc.pdf - -t x
  utf8_lines "LC_MESSAGES=$japanese LC_CTYPE=C.UTF-8" run.log
fi

# ---- hints ----------------------------------------------------------------------------------
# hinted NAME LINE HINT ARGS...: zorvane ARGS fails with the framed LINE (unchanged) and, after
# it, one line that HINT (a basic regular expression) matches whole.
hinted() {
  local name=$1 line=$2 hint=$3
  shift 3
  rm -f run.log
  "$ZORVANE" "$@" -l run.log
  [ "$?" = 1 ] || fail "$name: expected status 1"
  grep -qxF "%[ Error: $line ]%" run.log || fail "$name: $(grep -a -m1 Error run.log || echo 'no error line')"
  if [ "$(grep -cx -- "$hint" run.log)" != 1 ]; then
    fail "$name: no \"$hint\" in: $(grep -av '^Start\|File:' run.log)"
    return
  fi
  [ "$(grep -nx -- "$hint" run.log | cut -d: -f1)" -gt "$(grep -nF '%[ Error' run.log | cut -d: -f1)" ] ||
    fail "$name: the hint comes before the error line"
}

qpdf --allow-weak-crypto --encrypt u o 40 -- doc.pdf enc.pdf &&
  qpdf --allow-weak-crypto --encrypt u o 128 --modify=none -- doc.pdf locked.pdf || fail "qpdf --encrypt"
echo u >user.txt
hinted "encrypted, no password" "cannot open PDF Document: enc.pdf" \
  "the document needs its password: give it with -pw PasswordFile (-pw - reads it from standard input)" \
  enc.pdf out.pdf
hinted "permissions" "the document's permissions do not allow changes: locked.pdf" \
  "the owner password lifts them: give it with -pw PasswordFile" locked.pdf out.pdf -pw user.txt

hinted "font that nothing matches" "cannot create PDF Font: NoSuchFace" \
  "installed faces: fc-list :outline family" doc.pdf out.pdf -nbp -nbf "n,%s,NoSuchFace,12"
# fontconfig's alias for a face that is not installed, when the host has it (first; other
# hosts may add more).
alias=$(fc-match -f '%{family[0]}' Arial 2>/dev/null)
if [ "$alias" = "Liberation Sans" ]; then
  hinted "font fontconfig replaces" "cannot create PDF Font: Arial" \
    "nearest installed faces: Liberation Sans.*" doc.pdf out.pdf -nbp -nbf "n,%s,Arial,12"
fi
if fc-list :outline family | grep -qx "IPAGothic.*"; then
  hinted "font named nearly" "cannot create PDF Font: IPAGothicX" \
    "nearest installed faces: .*IPAGothic.*" doc.pdf out.pdf -nbp -nbf "n,%s,IPAGothicX,12"
fi

hinted "character outside WinAnsiEncoding" "character not in the font's encoding: Page %s Σ" \
  "'Σ' is not in WinAnsiEncoding (CP1252)" doc.pdf out.pdf -nbp -nbf "n,Page %s Σ,Helvetica,12"
hinted "character outside CP932" "character not in the font's encoding: é %s" \
  "'é' is not in CP932" doc.pdf out.pdf -nbp -nbf "n,é %s,HeiseiMin-W3,12"
finish
