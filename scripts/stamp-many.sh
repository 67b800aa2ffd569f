#!/usr/bin/env bash
# Stamps many PDF files, one zorvane run per file, with GNU parallel on every core (or on
# several machines):
#
#   scripts/stamp-many.sh INPUT_DIR|LIST_FILE OUTPUT_DIR [zorvane options...]
#
# INPUT_DIR: every *.pdf file directly in it; LIST_FILE: one input path per line. Each output
# goes to OUTPUT_DIR under the input's file name. A failed file is reported on standard error
# ("failed: FILE" and the run's log) and the others go on; the last line sums up, and the exit
# status is 1 when any file failed.
#
# Environment: ZORVANE (the tool; default: zorvane on PATH), STAMP_JOBS (parallel jobs per
# machine; default: one per core), STAMP_JOBLOG (default OUTPUT_DIR/.stamp-many.joblog),
# STAMP_RESUME=1 (run again only what failed or did not run, by the joblog),
# STAMP_PARALLEL_OPTS (more options for parallel, such as "--sshlogin 4/host1,4/host2,:").
set -uo pipefail

usage() {
  echo "usage: $0 INPUT_DIR|LIST_FILE OUTPUT_DIR [zorvane options...]" >&2
  exit 2
}

[ $# -ge 2 ] || usage
source=$1
out_dir=$2
shift 2
zorvane=${ZORVANE:-zorvane}
command -v parallel >/dev/null 2>&1 || { echo "stamp-many: GNU parallel is not installed" >&2; exit 2; }
command -v "$zorvane" >/dev/null 2>&1 || { echo "stamp-many: tool not found: $zorvane" >&2; exit 2; }
mkdir -p "$out_dir" || exit 2
joblog=${STAMP_JOBLOG:-$out_dir/.stamp-many.joblog}

list=$(mktemp "${TMPDIR:-/tmp}/stamp-many-XXXXXX") || exit 2
trap 'rm -f "$list"' EXIT
if [ -d "$source" ]; then
  find "$source" -maxdepth 1 -type f -iname '*.pdf' -print0 | sort -z >"$list"
elif [ -f "$source" ]; then
  # A relative name starting with "-" would read as an option.
  grep -v '^$' "$source" | tr '\n' '\0' | sed -z 's|^-|./-|' >"$list"
else
  echo "stamp-many: no such directory or list file: $source" >&2
  exit 2
fi

# Two inputs of one file name would write the same output.
duplicates=$(tr '\0' '\n' <"$list" | sed 's|.*/||' | sort | uniq -d | head -3)
if [ -n "$duplicates" ]; then
  echo "stamp-many: inputs share a file name: ${duplicates//$'\n'/, }" >&2
  exit 2
fi

resume=()
[ "${STAMP_RESUME:-0}" = 1 ] && resume=(--resume-failed)
# shellcheck disable=SC2086  # STAMP_PARALLEL_OPTS is a list of options
parallel -0 -a "$list" -j "${STAMP_JOBS:-100%}" --joblog "$joblog" "${resume[@]}" \
  ${STAMP_PARALLEL_OPTS:-} -q \
  sh -c 'log=$("$0" "$@" 2>&1) || { printf "failed: %s\n%s\n" "$1" "$log" >&2; exit 1; }' \
  "$zorvane" {} "$out_dir"/{/} "$@"

[ -f "$joblog" ] || { echo "stamp-many: parallel wrote no joblog: $joblog" >&2; exit 2; }
# The last outcome of every job (a resumed run appends to the joblog).
read -r stamped failed < <(awk -F'\t' 'NR > 1 { status[$1] = ($7 == 0 && $8 == 0) }
  END { for (s in status) if (status[s]) ok++; else bad++; print ok + 0, bad + 0 }' "$joblog")
echo "stamp-many: $stamped stamped, $failed failed"
[ "$failed" -eq 0 ]
