#!/usr/bin/env bash
# The cost per file of stamping many small files: N one-page inputs (default 10,000) watermarked
# by scripts/stamp-many.sh on two job slots of this machine (a hosts file of "2/:", the path a
# run over several machines takes, and STAMP_JOBS=2 without one), against plain shell loops, one
# file after another, of zorvane and of mutool over the same files in the same run. Prints a
# markdown table: wall time, files per second, and processor time (user + system) per file.
#
#   ZORVANE=/path/to/zorvane bench/many_small.sh        # FILES [10000], SCRATCH [$TMPDIR/...]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PEERS_SRC=${PEERS_SRC:-$ROOT/../shared/bench-peers}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-many-small}
FILES=${FILES:-10000}
: "${ZORVANE:?path of a release zorvane binary}"
command -v mutool >/dev/null || { echo "many_small: mutool missing (apt-get install mupdf-tools)" >&2; exit 2; }
command -v parallel >/dev/null || { echo "many_small: GNU parallel missing" >&2; exit 2; }

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH/in"
cd "$SCRATCH"
python3 "$ROOT/bench/gen_pages.py" 1 one.pdf
python3 - "$FILES" <<'PY'
import shutil, sys
for i in range(1, int(sys.argv[1]) + 1):
    shutil.copyfile("one.pdf", f"in/p{i:05d}.pdf")
PY
WM=$ROOT/samples/logo.pdf
echo "2/:" >hosts
export ZORVANE

run() {
  case $1 in
    stamp-many-hosts) STAMP_HOSTS=$SCRATCH/hosts "$ROOT/scripts/stamp-many.sh" in out -wm "$WM" -l "" ;;
    stamp-many) STAMP_JOBS=2 "$ROOT/scripts/stamp-many.sh" in out -wm "$WM" -l "" ;;
    zorvane-loop) for f in in/*.pdf; do "$ZORVANE" "$f" "out/${f##*/}" -wm "$WM" -l ""; done ;;
    mutool-loop)
      for f in in/*.pdf; do
        mutool run "$PEERS_SRC/peers/mutool_stamp.js" underlay "$f" "$WM" "out/${f##*/}"
      done
      ;;
  esac
}

echo "| $FILES one-page files | slots | wall (s) | files/s | CPU ms/file |"
echo "|---|---|---|---|---|"
for job in stamp-many-hosts stamp-many zorvane-loop mutool-loop; do
  rm -rf out && mkdir out
  slots=2
  case $job in *-loop) slots=1 ;; esac
  export -f run
  export ROOT SCRATCH WM PEERS_SRC
  /usr/bin/time -o times.txt -f '%e %U %S %x' bash -c "run $job >$job.log 2>&1" || true
  read -r wall user system status <times.txt
  made=$(find out -name '*.pdf' | wc -l)
  [ "$status" -eq 0 ] && [ "$made" -eq "$FILES" ] ||
    echo "many_small: $job ended with status $status, $made outputs of $FILES (see $SCRATCH/$job.log)" >&2
  awk -v job="$job" -v slots="$slots" -v wall="$wall" -v cpu="$user + $system" -v n="$FILES" \
    'BEGIN { split(cpu, c, " + "); printf "| %s | %d | %.1f | %.0f | %.1f |\n", job, slots, wall, n / wall, (c[1] + c[2]) * 1000 / n }'
done
