#!/usr/bin/env bash
# Stamps many PDF files, one zorvane run per file, with GNU parallel on every core or on several
# machines that share nothing:
#
#   scripts/stamp-many.sh INPUT_DIR|LIST_FILE OUTPUT_DIR [zorvane options...]
#
# INPUT_DIR: every *.pdf file directly in it; LIST_FILE: one input path per line. Each output
# goes to OUTPUT_DIR under the input's file name, which it takes only once whole. A failed file
# is reported on standard error ("failed: FILE" and the run's log) and the others go on; the last
# line sums up, and the exit status is 1 when any file failed.
#
# Environment: ZORVANE (the tool; default: zorvane on PATH), STAMP_JOBS (parallel jobs per
# machine; default: one per core), STAMP_JOBLOG (default OUTPUT_DIR/.stamp-many.joblog),
# STAMP_RESUME=1 (run again only what failed or did not run, by the joblog),
# STAMP_HOSTS (a file of machines in parallel's --sshloginfile format, ":" for this one: each
# input, watermark and password file is carried to the machine that runs it, the output carried
# back, and nothing left there), STAMP_PARALLEL_OPTS (more options for parallel).
set -uo pipefail

usage() {
  echo "usage: $0 INPUT_DIR|LIST_FILE OUTPUT_DIR [zorvane options...]" >&2
  exit 2
}

die() {
  echo "stamp-many: $*" >&2
  exit 2
}

[ $# -ge 2 ] || usage
source=$1
out_dir=$2
shift 2
options=("$@")
zorvane=${ZORVANE:-zorvane}
hosts=${STAMP_HOSTS:-}
command -v parallel >/dev/null 2>&1 || die "GNU parallel is not installed"
[ -z "$hosts" ] || [ -r "$hosts" ] || die "cannot read the hosts file: $hosts"
mkdir -p "$out_dir" || exit 2
# Jobs run in work directories of parallel's own, so every path they are given is absolute.
out_dir=$(cd "$out_dir" && pwd -P) || exit 2
joblog=${STAMP_JOBLOG:-$out_dir/.stamp-many.joblog}
case $joblog in /*) ;; *) joblog=$PWD/$joblog ;; esac
here=$PWD

stage=$(mktemp -d "${TMPDIR:-/tmp}/stamp-many-XXXXXX") || exit 2
trap 'rm -rf "$stage"' EXIT
list=$stage/list
if [ -d "$source" ]; then
  find "$source" -maxdepth 1 -type f -iname '*.pdf' -print0 | sort -z >"$list"
elif [ -f "$source" ]; then
  # A relative name starting with "-" would read as an option.
  grep -v '^$' "$source" | tr '\n' '\0' | sed -z 's|^-|./-|' >"$list"
else
  die "no such directory or list file: $source"
fi

# Two inputs of one file name would write the same output.
duplicates=$(tr '\0' '\n' <"$list" | sed 's|.*/||' | sort | uniq -d | head -3)
[ -z "$duplicates" ] || die "inputs share a file name: ${duplicates//$'\n'/, }"
total=$(tr -cd '\0' <"$list" | wc -c)

# ---- machines that share nothing ----------------------------------------------------------------

# carry_options ZORVANE_OPTIONS...: fills remote_options with the options as a machine that shares
# nothing sees them, the watermark and password files named by their copies in the run's work
# directory there, and carried with the parallel options that send those copies to each machine
# once.
remote_options=()
carried=()
carry_options() {
  mkdir -m 700 "$stage/.stamp-many-options" || exit 2
  # After each job parallel takes away the directories it leaves empty; one file of the run's own,
  # there until the run ends, keeps the work directory for the jobs that follow.
  : >"$stage/.stamp-many-options/keep" || exit 2
  carried+=(--basefile "$stage/./.stamp-many-options/keep")
  while [ $# -gt 0 ]; do
    local option=$1 value=${2-}
    shift
    # zorvane takes the next word as a value unless it is an option; "-" only after -pw.
    if [ $# -eq 0 ] || { [ "${value:0:1}" = - ] && [ "$value" != - ]; } ||
      { [ "$value" = - ] && [ "$option" != -pw ]; }; then
      remote_options+=("$option")
      continue
    fi
    case $option in
      -wm)
        local file=${value%%,*} rest=${value#"${value%%,*}"}
        if [ -z "$file" ]; then # no file to carry: zorvane judges it
          remote_options+=("$option" "$value")
          shift
          continue
        fi
        # As zorvane names it: ".pdf" added when the last path component has no extension.
        case ${file##*/} in *.*) ;; *) file=$file.pdf ;; esac
        cp -- "$file" "$stage/.stamp-many-options/watermark.pdf" 2>/dev/null ||
          die "cannot read the watermark file: $file"
        remote_options+=(-wm ".stamp-many-options/watermark.pdf$rest")
        carried+=(--basefile "$stage/./.stamp-many-options/watermark.pdf")
        shift
        ;;
      -pw)
        [ "$value" != - ] || die "-pw - reads standard input, which no other machine sees: give a file"
        (umask 077 && cp -- "$value" "$stage/.stamp-many-options/password" 2>/dev/null) ||
          die "cannot read the password file: $value"
        remote_options+=(-pw .stamp-many-options/password)
        carried+=(--basefile "$stage/./.stamp-many-options/password")
        shift
        ;;
      *) remote_options+=("$option") ;;
    esac
  done
}

# usable_hosts FILE: the lines of the hosts file whose machine can run the jobs; every other one
# is dropped with a line saying why. All are asked at once, each within a minute.
usable_hosts() {
  local checks=$stage/checks line n=0
  mkdir "$checks" || exit 2
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%%#*}
    line=${line#"${line%%[![:space:]]*}"}
    line=${line%"${line##*[![:space:]]}"}
    [ -n "$line" ] || continue
    n=$((n + 1))
    printf '%s\n' "$line" >"$checks/$n.login"
    case ${line##*/} in
      :) echo ok >"$checks/$n.answer" ;;
      *)
        # shellcheck disable=SC2016  # expanded on the host
        timeout 60 parallel --will-cite -S "$line" --nonall \
          'command -v "${ZORVANE:-zorvane}" >/dev/null 2>&1 || { echo zorvane; exit; }
           command -v rsync >/dev/null 2>&1 || { echo rsync; exit; }; echo ok' \
          >"$checks/$n.answer" 2>/dev/null </dev/null &
        ;;
    esac
  done <"$1"
  wait
  local i answer
  for ((i = 1; i <= n; i++)); do
    line=$(cat "$checks/$i.login")
    answer=$(cat "$checks/$i.answer")
    case $answer in
      ok) printf '%s\n' "$line" ;;
      zorvane | rsync) echo "stamp-many: host dropped, $answer not found there: $line" >&2 ;;
      *) echo "stamp-many: host dropped, cannot run a command there: $line" >&2 ;;
    esac
  done
}

transfer=()
carried_mode=0
if [ -n "$hosts" ]; then
  usable_hosts "$hosts" >"$stage/hosts"
  [ -s "$stage/hosts" ] || die "no host left to run on"
  transfer=(--slf "$stage/hosts")
  # Only other machines need the files carried; this one alone runs as without a hosts file.
  grep -qv '^\([0-9]*/\)\?:$' "$stage/hosts" && carried_mode=1
fi
if [ -z "$hosts" ] || grep -q '^\([0-9]*/\)\?:$' "$stage/hosts"; then
  command -v "$zorvane" >/dev/null 2>&1 || die "tool not found: $zorvane"
fi
if [ "$carried_mode" = 1 ]; then
  command -v rsync >/dev/null 2>&1 || die "rsync is not installed (other machines need it)"
  # The part after "/./" is the name the input gets in the job's work directory on its machine.
  if tr '\0' '\n' <"$list" | grep -q '^$'; then
    die "a file name holds a line break, which STAMP_HOSTS cannot carry"
  fi
  xargs -0 -r realpath -zms -- <"$list" | sed -z 's|/\([^/]*\)$|/./\1|' >"$list.carried" &&
    mv "$list.carried" "$list" || exit 2
  carry_options "${options[@]}"
  # Every job of the run on a machine works in one directory of its home named after the run
  # (the inputs' names differ), and writes its output into .stamp-many-out there, beside (never
  # over) its input. parallel carries it back to the same name under this directory, which is
  # OUTPUT_DIR; rsync takes it in under its name only when the whole file has come. Jobs on this
  # machine work in the run's own directory too, and go back to where the run started.
  ln -s "$out_dir" "$stage/.stamp-many-out" || exit 2
  transfer+=(--workdir ".${stage##*/}" --transferfile {} "${carried[@]}"
    --return "$stage/./.stamp-many-out/{/}" --cleanup --retries 3)
  cd "$stage" || exit 2
  # This rsync quotes remote names itself; parallel quotes them too. PDF files gain nothing from
  # compression (-z) but its cost. A failed file has no output to carry back, which is no error
  # of the transfer.
  export RSYNC_OLD_ARGS=1
  export PARALLEL_RSYNC_OPTS="${PARALLEL_RSYNC_OPTS:--rlDR} --ignore-missing-args"
fi

# ---- the run --------------------------------------------------------------------------------------

# One file, on whichever machine parallel sends it to. Arguments: the input, the tool on this
# machine, the directory the run started in, the output directory, whether inputs are carried (1
# or 0), the count of the options for this machine, then those options and the options for a
# machine that shares nothing.
# It travels in the environment (--env to other machines), so that the joblog shows only the file
# and options.
# shellcheck disable=SC2016  # the job's own shell expands these
export STAMP_MANY_JOB='input=$1 tool=$2 here=$3 out_dir=$4 carried=$5 local_count=$6
shift 6
name=${input##*/}
shown=$input
remote=0
if [ "$carried" = 1 ]; then
  shown=${input%/./*}/$name
  [ "${PARALLEL_SSHLOGIN:-:}" = : ] || remote=1
fi
i=0
for option do
  shift
  if [ "$remote" = 1 ]; then [ "$i" -lt "$local_count" ] || set -- "$@" "$option"
  else [ "$i" -ge "$local_count" ] || set -- "$@" "$option"; fi
  i=$((i + 1))
done
if [ "$remote" = 1 ]; then
  # The output is made beside the input, in the work directory that lasts the run, and moved
  # into .stamp-many-out, which parallel carries back, once whole. A job ending on the same
  # machine takes that directory away whenever it is empty, so it is made again if need be.
  part=.$name.part
  if log=$("${ZORVANE:-zorvane}" "$name" "$part" "$@" 2>&1); then
    for try in 1 2 3; do
      mkdir -p .stamp-many-out && mv -f "$part" ".stamp-many-out/$name" 2>/dev/null && exit 0
    done
    log="$log
cannot move the output into .stamp-many-out"
  fi
  rm -f "$part"
else
  # zorvane gives the output its name only once the file is whole.
  cd "$here" && log=$("$tool" "$input" "$out_dir/$name" "$@" 2>&1) && exit 0
fi
printf "failed: %s\n%s\n" "$shown" "$log" >&2
exit 1'

# Only jobs on other machines need the job's text sent along; it costs every job some time.
env_option=()
if [ -n "${STAMP_PARALLEL_OPTS:-}" ] || [ "$carried_mode" = 1 ]; then
  env_option=(--env STAMP_MANY_JOB)
fi

# run_parallel [RESUME_OPTION]: one pass over the list. An interruption of the run (SIGINT,
# SIGTERM) goes on to parallel, and through it to the jobs, and is kept in `interrupted`.
interrupted=0
run_parallel() {
  # shellcheck disable=SC2016,SC2086  # the job expands it; STAMP_PARALLEL_OPTS is a list
  parallel --will-cite -0 -a "$list" -j "${STAMP_JOBS:-100%}" --joblog "$joblog" "$@" \
    "${transfer[@]}" ${STAMP_PARALLEL_OPTS:-} -q \
    "${env_option[@]}" sh -c 'eval "$STAMP_MANY_JOB"' stamp-many {} "$zorvane" "$here" "$out_dir" \
    "$carried_mode" ${#options[@]} "${options[@]}" "${remote_options[@]}" &
  local pid=$! status
  trap 'interrupted=130; kill -INT '$pid' 2>/dev/null' INT
  trap 'interrupted=143; kill -TERM '$pid' 2>/dev/null' TERM
  while :; do
    wait "$pid"
    status=$?
    kill -0 "$pid" 2>/dev/null || break
  done
  trap - INT TERM
  return "$status"
}

# The output directory's clock against ours (a network file system's server may differ), in
# seconds, for comparing the outputs' times with the joblog's.
clock_skew=0
if probe=$(mktemp "$out_dir/.stamp-many-clock-XXXXXX" 2>/dev/null); then
  clock_skew=$(($(stat -c %Y "$probe") - $(date +%s)))
  rm -f "$probe"
fi

# lost_outputs: the jobs (by number) that the joblog reports stamped but whose output is not in
# OUTPUT_DIR, or only an older one: their host died while carrying it back.
lost_outputs() {
  [ -f "$joblog" ] || return 0
  tr '\0' '\n' <"$list" | sed 's|.*/||' >"$stage/names"
  find "$out_dir" -maxdepth 1 -type f -printf '%T@\t%f\n' >"$stage/outputs"
  awk -F'\t' -v names="$stage/names" -v outputs="$stage/outputs" -v skew="$clock_skew" '
    BEGIN {
      while ((getline line < names) > 0) name[++n] = line
      while ((getline line < outputs) > 0) { i = index(line, "\t"); made[substr(line, i + 1)] = substr(line, 1, i - 1) }
    }
    FNR > 1 { done[$1] = ($7 == 0 && $8 == 0); start[$1] = $3 }
    # A second of slack for file systems that keep coarse times.
    END { for (s in done) if (done[s] && !(name[s] in made && made[name[s]] + 1 >= start[s] + skew)) print s }' "$joblog"
}

# forget_jobs NUMBERS_FILE: takes the jobs out of the joblog, so that a resumed pass runs them again.
forget_jobs() {
  awk -F'\t' 'NR == FNR { lost[$1] = 1; next } FNR == 1 || !($1 in lost)' "$1" "$joblog" >"$joblog.new" &&
    mv "$joblog.new" "$joblog"
}

resume=()
[ "${STAMP_RESUME:-0}" = 1 ] && resume=(--resume-failed)
run_parallel "${resume[@]}"
# Output lost on the way back is stamped again, twice at most, by parallel's own resume.
for pass in 1 2 3; do
  if [ "$interrupted" -ne 0 ] || [ ! -f "$joblog" ]; then break; fi
  lost_outputs >"$stage/lost"
  [ -s "$stage/lost" ] || break
  forget_jobs "$stage/lost" || exit 2
  [ "$pass" -lt 3 ] || break
  echo "stamp-many: $(wc -l <"$stage/lost") output(s) lost on the way back from their host: stamping them again" >&2
  run_parallel --resume
done
# Jobs cut short (by an interruption, or a machine that failed a cleanup) leave their files in the
# run's work directory; nothing of the run may stay on a machine that still answers.
if [ "$carried_mode" = 1 ]; then
  timeout 60 parallel --will-cite --nonall --slf "$stage/hosts" rm -rf "./.${stage##*/}" \
    </dev/null >/dev/null 2>&1
fi
if [ "$interrupted" -ne 0 ]; then
  echo "stamp-many: interrupted; STAMP_RESUME=1 runs what did not finish" >&2
  exit "$interrupted"
fi

[ -f "$joblog" ] || die "parallel wrote no joblog: $joblog"
# A file counts as stamped by the last outcome of its job (a resumed run appends to the joblog);
# a job never run, or lost on the way back, counts as failed.
stamped=$(awk -F'\t' 'NR > 1 { status[$1] = ($7 == 0 && $8 == 0) }
  END { for (s in status) ok += status[s]; print ok + 0 }' "$joblog")
if [ -s "$stage/lost" ]; then
  while read -r seq; do
    printf 'failed: %s\nstamped, but the output did not come back from its host\n' \
      "$(tr '\0' '\n' <"$list" | sed -n "${seq}p" | sed 's|/\./|/|')" >&2
  done <"$stage/lost"
fi
failed=$((total - stamped))
echo "stamp-many: $stamped stamped, $failed failed"
[ "$failed" -eq 0 ]
