#!/usr/bin/env bash
# Runs two zorvane builds over the same inputs and option sets and reports every output that
# differs (the date and producer stamps aside). Used to show that a refactoring changes no byte.
#   tools/compare_outputs.sh OLD_ZORVANE NEW_ZORVANE [PDF...]   (default: the corpus and samples)
set -uo pipefail
old=$1 new=$2; shift 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
inputs=("$@")
if [ ${#inputs[@]} -eq 0 ]; then
  inputs=("$root"/samples/*.pdf "$root"/../shared/corpus/files/*.pdf)
fi
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
option_sets=(
  ""
  "-wm $root/samples/logo.pdf"
  "-wm $root/samples/logo.pdf -fit -up"
  "-nbp -nbf r,-%s-,TI,10 -nbs 3,5,5 -sp"
  "-wm $root/samples/logo.pdf,2,-1 -nbp 2,0,7 -nbf n,Page%s,CB,12"
)
# The information dictionary's stamps hold the time of the run; blank them out.
normalise() { sed -E 's/\(D:[0-9]{14}[^)]*\)/(D:)/g' "$1"; }
same=0 differ=0
for input in "${inputs[@]}"; do
  for options in "${option_sets[@]}"; do
    # shellcheck disable=SC2086
    "$old" "$input" "$work/old.pdf" $options -l "" >/dev/null 2>&1; old_rc=$?
    # shellcheck disable=SC2086
    "$new" "$input" "$work/new.pdf" $options -l "" >/dev/null 2>&1; new_rc=$?
    if [ $old_rc -ne $new_rc ]; then
      echo "exit status $old_rc -> $new_rc: $(basename "$input") $options"; differ=$((differ + 1))
    elif [ $old_rc -eq 0 ] && ! cmp -s <(normalise "$work/old.pdf") <(normalise "$work/new.pdf"); then
      echo "output differs: $(basename "$input") $options"; differ=$((differ + 1))
    else
      same=$((same + 1))
    fi
    rm -f "$work/old.pdf" "$work/new.pdf"
  done
done
echo "compare_outputs: $same runs identical, $differ differ"
[ $differ -eq 0 ]
