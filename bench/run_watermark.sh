#!/usr/bin/env bash
# The watermark benchmark: builds a release zorvane, copies the bench-peers harness to a scratch
# folder outside the repository, runs it with zorvane as one more tool (TOOLS_D points at
# bench/tools.d), and writes our rows next to the peers' under "## Watermark against the peers"
# in bench/RESULTS.md. The harness itself is not part of the repository.
#
#   bench/run_watermark.sh                       # underlay and rewrite, all four inputs, 3 runs
#   RUNS=5 INPUTS="doc_10 doc_1000" bench/run_watermark.sh
#
# Environment: PEERS_SRC (the harness) [<repo>/../shared/bench-peers], SCRATCH [$TMPDIR/zorvane-bench],
# ANCHOR (a peer measured again here to scale our times to the recorded machine) [qpdf],
# BUILD_DIR [$SCRATCH/build], OUT_DIR [$SCRATCH/out], OPS [underlay rewrite], INPUTS, RUNS [3]
# (INPUT_DIR and the rest are the harness's own).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PEERS_SRC=${PEERS_SRC:-$ROOT/../shared/bench-peers}
SCRATCH=${SCRATCH:-${TMPDIR:-/tmp}/zorvane-bench}
BUILD_DIR=${BUILD_DIR:-$SCRATCH/build}
RESULTS_MD=$ROOT/bench/RESULTS.md
HEADING="## Watermark against the peers"

[ -f "$PEERS_SRC/run_peers.sh" ] || { echo "run_watermark: no harness at $PEERS_SRC" >&2; exit 2; }
case "$SCRATCH" in "$ROOT"|"$ROOT"/*) echo "run_watermark: SCRATCH must lie outside the repository" >&2; exit 2 ;; esac

echo "== building zorvane (Release) in $BUILD_DIR" >&2
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target zorvane >/dev/null
export ZORVANE=$BUILD_DIR/zorvane

echo "== copying the harness to $SCRATCH/harness" >&2
mkdir -p "$SCRATCH"
rm -rf "$SCRATCH/harness"
cp -a "$PEERS_SRC" "$SCRATCH/harness"

echo "== running" >&2
# The anchor peer is measured again here: the recorded peer figures may come from another
# machine, and the anchor's two figures carry our times over to it.
ANCHOR=${ANCHOR:-qpdf}
TOOLS="zorvane $ANCHOR" OPS=${OPS:-underlay rewrite} RUNS=${RUNS:-3} TOOLS_D=$ROOT/bench/tools.d \
  OUT_DIR=${OUT_DIR:-$SCRATCH/out} bash "$SCRATCH/harness/run_peers.sh"

table=$(python3 "$ROOT/bench/watermark_table.py" "$SCRATCH/harness/results/summary.tsv" \
  "$SCRATCH/harness/results/meta.tsv" "$PEERS_SRC/results/summary.tsv" "$PEERS_SRC/results/meta.tsv" "$ANCHOR")
section=$(cat <<MD
$HEADING

Written by \`bench/run_watermark.sh\` on $(date -u +%Y-%m-%dT%H:%M:%SZ). Median wall time of the
runs and median peak RSS, measured by the bench-peers harness (\`run_peers.sh\`: \`sync\`, then
\`/usr/bin/time -v timeout bash -c FN\`). The peers' figures are the harness's recorded ones;
$ANCHOR is measured again alongside zorvane to carry our times over to the recorded machine.
Inputs: doc_10, doc_1000, doc_20000 (text pages sharing their fonts, one Flate content stream
each) and heavy_200 (a 600x600 JPEG and a ~75 KB content stream per page, 45.6 MB).

$table
MD
)

python3 "$ROOT/bench/results_section.py" "$RESULTS_MD" "$HEADING" "$section"
echo "wrote $RESULTS_MD" >&2
