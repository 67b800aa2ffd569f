#!/usr/bin/env bash
# Time and peak memory against page count: zorvane, mutool and qpdf on the same documents in the
# same run. Builds a release zorvane, makes N-page documents with bench/gen_pages.py, runs each
# job once per size (RUNS to repeat; the median is kept), and hands the figures to
# bench/scale_plot.py, which draws bench/scale_time.png and bench/scale_rss.png and writes their
# tables into bench/README.md.
#
#   bench/run_scale.sh                          # 10k 50k 200k 1M pages
#   PAGES="10000 50000" RUNS=3 bench/run_scale.sh
#
# Environment: PAGES, RUNS [1], KEEP [0], SCRATCH [$TMPDIR/zorvane-scale] (inputs, outputs, build),
# PEERS_SRC (the bench-peers harness, for mutool's stamping script) [<repo>/../shared/bench-peers],
# QPDF_MAX_PAGES [200000] (qpdf takes minutes and gigabytes beyond; its larger sizes are
# skipped and said so), MUTOOL_MAX_PAGES [1000000], PY (with matplotlib) [/usr/bin/python3].
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PEERS_SRC=${PEERS_SRC:-$ROOT/../shared/bench-peers}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-scale}
PAGES=${PAGES:-10000 50000 200000 1000000}
RUNS=${RUNS:-1}
QPDF_MAX_PAGES=${QPDF_MAX_PAGES:-200000}
MUTOOL_MAX_PAGES=${MUTOOL_MAX_PAGES:-1000000}
case "$SCRATCH" in "$ROOT"|"$ROOT"/*) echo "run_scale: SCRATCH must lie outside the repository" >&2; exit 2 ;; esac
command -v mutool >/dev/null || { echo "run_scale: mutool missing (apt-get install mupdf-tools)" >&2; exit 2; }
command -v qpdf >/dev/null || { echo "run_scale: qpdf missing" >&2; exit 2; }
# Debian's interpreter, where python3-matplotlib lives (not a pyenv/venv python3 first on PATH).
PY=${PY:-/usr/bin/python3}
"$PY" -c 'import matplotlib' 2>/dev/null ||
  { echo "run_scale: python3-matplotlib missing (apt-get install python3-matplotlib)" >&2; exit 2; }
MUTOOL_JS=$PEERS_SRC/peers/mutool_stamp.js
[ -f "$MUTOOL_JS" ] || { echo "run_scale: no $MUTOOL_JS" >&2; exit 2; }

mkdir -p "$SCRATCH/inputs" "$SCRATCH/out"
if [ -z "${ZORVANE:-}" ]; then
  echo "== building zorvane (Release) in $SCRATCH/build" >&2
  cmake -S "$ROOT" -B "$SCRATCH/build" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$SCRATCH/build" -j2 --target zorvane >/dev/null
  ZORVANE=$SCRATCH/build/zorvane
fi
WM=$ROOT/samples/logo.pdf

# The jobs: a tool, a job name, and the command (IN and OUT are filled in).
job() {
  local tool=$1 name=$2 in=$3 out=$4
  case "$tool/$name" in
    zorvane/watermark) "$ZORVANE" "$in" "$out" -wm "$WM" -l "" ;;
    zorvane/watermark+numbers) "$ZORVANE" "$in" "$out" -wm "$WM" -nbp -l "" ;;
    zorvane/rewrite) "$ZORVANE" "$in" "$out" -l "" ;;
    mutool/watermark) mutool run "$MUTOOL_JS" underlay "$in" "$WM" "$out" ;;
    mutool/rewrite) mutool clean "$in" "$out" ;;
    qpdf/watermark) qpdf "$in" --underlay "$WM" --to=1-z --from=1 --repeat=1 -- "$out" ;;
    qpdf/rewrite) qpdf "$in" "$out" ;;
  esac
}
export -f job
export ZORVANE MUTOOL_JS WM

# KEEP=1 keeps the figures of other sizes from an earlier run (the heavy sizes can then be run
# alone, late); the sizes run now replace theirs.
TSV=$SCRATCH/scale.tsv
if [ "${KEEP:-0}" = 1 ] && [ -f "$TSV" ]; then
  awk -F'\t' -v sizes=" $PAGES " 'NR == 1 || index(sizes, " " $3 " ") == 0' "$TSV" >"$TSV.kept"
  mv "$TSV.kept" "$TSV"
else
  printf 'tool\tjob\tpages\tseconds\tpeak_mb\n' >"$TSV"
fi
for pages in $PAGES; do
  in=$SCRATCH/inputs/pages_$pages.pdf
  [ -f "$in" ] || { echo "== making $pages pages" >&2; python3 "$ROOT/bench/gen_pages.py" "$pages" "$in"; }
  for pair in zorvane/watermark zorvane/watermark+numbers zorvane/rewrite \
              mutool/watermark mutool/rewrite qpdf/watermark qpdf/rewrite; do
    tool=${pair%%/*} name=${pair#*/}
    if [ "$tool" = qpdf ] && [ "$pages" -gt "$QPDF_MAX_PAGES" ]; then
      printf '%s\t%s\t%s\tskipped\tskipped\n' "$tool" "$name" "$pages" >>"$TSV"; continue
    fi
    if [ "$tool" = mutool ] && [ "$pages" -gt "$MUTOOL_MAX_PAGES" ]; then
      printf '%s\t%s\t%s\tskipped\tskipped\n' "$tool" "$name" "$pages" >>"$TSV"; continue
    fi
    times=() rss=()
    for _ in $(seq "$RUNS"); do
      out=$SCRATCH/out/$tool.$pages.pdf
      rm -f "$out"; sync
      if ! /usr/bin/time -f '%e %M' -o "$SCRATCH/time.txt" bash -c 'job "$@"' _ "$tool" "$name" "$in" "$out" \
           >/dev/null 2>"$SCRATCH/err.txt"; then
        echo "run_scale: $tool $name $pages failed: $(tail -2 "$SCRATCH/err.txt")" >&2; times=(); break
      fi
      read -r t m <"$SCRATCH/time.txt"
      times+=("$t") rss+=("$m")
    done
    rm -f "$SCRATCH/out/$tool.$pages.pdf"
    if [ ${#times[@]} -eq 0 ]; then
      printf '%s\t%s\t%s\tfailed\tfailed\n' "$tool" "$name" "$pages" >>"$TSV"; continue
    fi
    t=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    m=$(printf '%s\n' "${rss[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1024}')
    printf '%s\t%s\t%s\t%s\t%s\n' "$tool" "$name" "$pages" "$t" "$m" | tee -a "$TSV" >&2
  done
done
"$PY" "$ROOT/bench/scale_plot.py" "$TSV" "$ROOT/bench"
