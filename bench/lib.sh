# Helpers shared by the bench scripts (sourced).

# median_wall RUNS COMMAND...: the median wall time in seconds of RUNS runs of COMMAND, whose
# output is dropped.
median_wall() {
  local runs=$1 times=() start end
  shift
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]/1e6}'
}

# normalise PDF: the file with its date stamps masked, for comparing two runs' outputs.
normalise() { sed -E 's/\(D:[0-9]{14}[^)]*\)/(D:)/g' "$1"; }
