#!/usr/bin/env bash
# The documentation names the options the tool reads: the man page, the README option table and
# the bash completion list exactly the options of the parser; the usage line shows all of them
# but those that the README and the man page both mark "Not shown in the usage line" (-pw,
# -inc), so that an option documented or hidden in one place only is caught. The man page
# renders without warnings and the completion script parses.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need groff
make_workdir docs
cd "$WORK" || exit 1

sorted() { tr ' ' '\n' | grep -v '^$' | sort -u; }

parser=$(grep -o 'is("-\?[a-z]*")' "$SOURCE_DIR/app/command_line.cpp" | sed 's/is("\(.*\)")/-\1/' | sorted)
# The options an entry of the man page names (".B \-v", ".BR \-h , \-\-help").
entry_options='{ names = ""; for (i = 2; i <= NF; i++) if ($i ~ /^\\-/) { gsub(/\\-/, "-", $i); names = names " " $i } }'
man=$(awk '/^\.SH OPTIONS/ { on = 1; next } /^\.SH/ { on = 0 }
           on && prev == ".TP" && $1 ~ /^\.B[IR]?$/ '"$entry_options"' { print names } { prev = $0 }' \
        "$SOURCE_DIR/man/zorvane.1" | sorted)
# The options of the README's table: its first column ("`-h`, `--help`").
readme_options() { grep '^| `-' "$SOURCE_DIR/README.md" | cut -d'|' -f2 | grep -o -- '-[a-z-]*' | sorted; }
readme=$(readme_options)
completion=$(grep -o "compgen -W '[^']*'" "$SOURCE_DIR/completion/zorvane.bash" | sed "s/compgen -W '//; s/'//" | sorted)
"$ZORVANE" >/dev/null 2>usage.txt
usage=$(grep -o '\[-[a-z]*' usage.txt | tr -d '[' | sorted)
hidden=$(grep '^| `-.*Not shown in the usage line' "$SOURCE_DIR/README.md" | cut -d'|' -f2 | grep -o -- '-[a-z-]*' | sorted)
# The man page must hide the same options, each in its own entry.
man_hidden=$(awk '/^\.SH OPTIONS/ { on = 1; next } /^\.SH/ { on = 0 }
                  on && prev == ".TP" && $1 ~ /^\.B[IR]?$/ '"$entry_options"' { options = names }
                  on && /Not shown in the usage line/ { print options } { prev = $0 }' \
             "$SOURCE_DIR/man/zorvane.1" | sorted)

[ -n "$parser" ] || fail "no option found in the parser"
for place in man readme completion; do
  if [ "${!place}" != "$parser" ]; then
    fail "$place options differ from the parser's: $(diff <(echo "$parser") <(echo "${!place}") | grep '^[<>]' | tr '\n' ' ')"
  fi
done
if [ "$man_hidden" != "$hidden" ]; then
  fail "options kept out of the usage line differ between man page and README: $(diff <(echo "$hidden") <(echo "$man_hidden") | grep '^[<>]' | tr '\n' ' ')"
fi
shown=$(comm -23 <(echo "$parser") <(echo "$hidden"))
if [ "$usage" != "$shown" ]; then
  fail "usage line options differ from the documented ones: $(diff <(echo "$shown") <(echo "$usage") | grep '^[<>]' | tr '\n' ' ')"
fi

if ! groff -ww -man -Tutf8 "$SOURCE_DIR/man/zorvane.1" >page.txt 2>warnings.txt || [ -s warnings.txt ]; then
  fail "groff warns on the man page: $(head -3 warnings.txt)"
fi
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "LOG FORMAT" ENVIRONMENT FILES EXAMPLES; do
  grep -q "^$section\$" <(sed 's/.\x08//g' page.txt) || fail "man page lacks the section $section"
done
bash -n "$SOURCE_DIR/completion/zorvane.bash" || fail "bash -n fails on the completion"

[ "$FAILURES" -eq 0 ] || exit 1
echo "docs: $(echo "$parser" | wc -l) options agree"
