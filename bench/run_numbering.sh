#!/usr/bin/env bash
# The page-numbering benchmark: builds a release zorvane, copies the bench-peers harness to a
# scratch folder outside the repository and runs it there with zorvane (bench/tools.d) numbering
# every page of the 10-, 1,000- and 20,000-page documents, alone and over the watermark, next to
# the peers that are installed here (measured in the same run), and the watermark alone for the
# cost of adding numbers to it. The table goes into bench/RESULTS.md under "## Page numbers
# against the peers". The harness itself is not part of the repository.
#
#   bench/run_numbering.sh                       # numbers on doc_10, doc_1000, doc_20000, 3 runs
#   RUNS=5 INPUTS="doc_10 doc_1000" bench/run_numbering.sh
#
# Environment: PEERS_SRC (the harness) [<repo>/../shared/bench-peers], SCRATCH
# [$TMPDIR/zorvane-bench-numbering], BUILD_DIR [$SCRATCH/build], INPUTS [doc_10 doc_1000
# doc_20000], RUNS [3], PEERS (peers to measure alongside, those not installed are left out)
# [qpdf mutool pdftk cpdfjs_fast pdflib].
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PEERS_SRC=${PEERS_SRC:-$ROOT/../shared/bench-peers}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-bench-numbering}
BUILD_DIR=${BUILD_DIR:-$SCRATCH/build}
INPUTS=${INPUTS:-doc_10 doc_1000 doc_20000}
RUNS=${RUNS:-3}
RESULTS_MD=$ROOT/bench/RESULTS.md
HEADING="## Page numbers against the peers"

[ -f "$PEERS_SRC/run_peers.sh" ] || { echo "run_numbering: no harness at $PEERS_SRC" >&2; exit 2; }
case "$SCRATCH" in "$ROOT"|"$ROOT"/*) echo "run_numbering: SCRATCH must lie outside the repository" >&2; exit 2 ;; esac

echo "== building zorvane (Release) in $BUILD_DIR" >&2
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target zorvane >/dev/null
export ZORVANE=$BUILD_DIR/zorvane

echo "== copying the harness to $SCRATCH/harness" >&2
mkdir -p "$SCRATCH"
rm -rf "$SCRATCH/harness"
cp -a "$PEERS_SRC" "$SCRATCH/harness"
chmod -R u+w "$SCRATCH/harness"
# Outputs of this run stay in the scratch folder, apart from other benchmark runs.
export OUT_DIR=$SCRATCH/out

# The peers that can run on this machine; the others keep the harness's recorded figures.
peer_runs() {
  case $1 in
    qpdf) command -v qpdf ;;
    mutool) command -v mutool ;;
    pdftk) command -v pdftk ;;
    cpdfjs | cpdfjs_fast) [ -d "$SCRATCH/harness/node/node_modules/coherentpdf" ] ;;
    pdflib) [ -d "$SCRATCH/harness/node/node_modules/pdf-lib" ] ;;
    *) false ;;
  esac >/dev/null 2>&1
}
LIVE=""
for peer in ${PEERS:-qpdf mutool pdftk cpdfjs_fast pdflib}; do
  peer_runs "$peer" && LIVE="$LIVE $peer"
done
echo "== peers measured in this run:${LIVE:- none}" >&2

echo "== numbers" >&2
TOOLS="zorvane zorvane_wm$LIVE" OPS=numbers INPUTS=$INPUTS RUNS=$RUNS TOOLS_D=$ROOT/bench/tools.d \
  bash "$SCRATCH/harness/run_peers.sh"
echo "== the watermark alone" >&2
TOOLS=zorvane OPS=underlay INPUTS=$INPUTS RUNS=$RUNS TOOLS_D=$ROOT/bench/tools.d \
  bash "$SCRATCH/harness/run_peers.sh"

table=$(python3 "$ROOT/bench/numbering_table.py" "$SCRATCH/harness/results/summary.tsv" \
  "$SCRATCH/harness/results/meta.tsv" "zorvane zorvane_wm$LIVE" "$INPUTS")
section=$(cat <<MD
$HEADING

Written by \`bench/run_numbering.sh\` on $(date -u +%Y-%m-%dT%H:%M:%SZ). Median wall time of the
runs and median peak RSS, measured by the bench-peers harness (\`run_peers.sh\`: \`sync\`, then
\`/usr/bin/time -v timeout bash -c FN\`). The "numbers" operation: a page number on every page,
Helvetica 9 pt, centred, baseline 14 pt above the bottom edge (\`zorvane IN OUT -nbp -nbf
n,%s,H,9 -nbs 8,0,4.2817\`). "zorvane + watermark" is the same with \`-wm wm.pdf\` in the same
run; "watermark alone" is \`zorvane IN OUT -wm wm.pdf\`. Peers marked "this run" were measured
here alongside; the others are the harness's recorded figures (machine in its PEERS.md).

$table

What sets the pace: numbers differ from page to page, so every page gets a content stream of
its own (the watermark's pages all share one), which is built, Flate-compressed, filed as a
new object and written. The Flate codecs keep one zlib state per thread (reset, not set up
anew, for each stream) and size their output window from the input, so the heap no longer
grows and shrinks by half a megabyte per page; each page's number stream and new "Contents"
array are written and dropped together with the page, which keeps the memory of a long run
flat. What remains of the gap to the watermark alone at 20,000 pages is per-stream work:
zlib's own cost for a tiny stream (clearing its hash table, building the Huffman trees: about
a third of it), filing and writing 40,000 more objects, and the larger output to write and
fsync. At 10 pages a run is mostly process start and the save's fsync of the output and of
its directory, which the peers do not do.
MD
)

python3 "$ROOT/bench/results_section.py" "$RESULTS_MD" "$HEADING" "$section"
echo "wrote $RESULTS_MD" >&2
