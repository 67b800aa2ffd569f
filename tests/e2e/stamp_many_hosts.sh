#!/usr/bin/env bash
# scripts/stamp-many.sh over machines that share nothing: two SSH servers of the test's own on
# loopback addresses, each for a user whose home is all that "machine" sees, plus this machine.
# 500 files come back stamped, each host ran some, both homes are left as they were, and hosts
# without zorvane or not answering are dropped at the start. A server stopped part-way leaves
# every file stamped exactly once; a run interrupted by SIGINT and resumed stamps none twice.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "needs root (users and SSH servers of its own): skipped" >&2; exit 77; }
need qpdf pdftotext ps2pdf parallel rsync ssh ssh-keygen useradd python3
[ -x /usr/sbin/sshd ] || { echo "missing test tool: sshd (scripts/setup.sh installs it): skipped" >&2; exit 77; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-stamp-many-hosts-XXXXXX") || exit 1
USERS=(zvstamp1 zvstamp2)
made_users=()
declare -A servers # by name, while running
runs=()
made_run_dir=0

# tree_of PID: the process and every descendant.
tree_of() {
  local child
  echo "$1"
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do tree_of "$child"; done
}

# stop_server NAME: ends the server and every session it runs at once, as a machine that dies.
stop_server() {
  local server=${servers[$1]} pids
  unset "servers[$1]"
  pids=$(tree_of "$server")
  # shellcheck disable=SC2086
  kill -STOP $pids 2>/dev/null
  pids=$(tree_of "$server") # stopped, none forks any more
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null
  wait "$server" 2>/dev/null
}

cleanup() {
  local pid user name
  for pid in "${runs[@]}"; do kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  for name in host1 host2 bare; do ssh -F "$WORK/ssh_config" -O exit "$name" 2>/dev/null; done
  for name in "${!servers[@]}"; do stop_server "$name"; done
  for user in "${made_users[@]}"; do userdel -r "$user" 2>/dev/null; done
  [ "$made_run_dir" = 0 ] || rmdir /run/sshd 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK" || exit 1
# The hosts' users reach the tool and their keys, never the inputs and outputs.
chmod 711 "$WORK"
umask 022

# free_port ADDRESS: a port nothing listens on at ADDRESS.
free_port() {
  python3 -c 'import socket, sys
s = socket.socket(); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' "$1"
}

# The tool as a host has it, with its library, outside every home.
mkdir -m 755 hostbin sshd lossy
mkdir -m 777 lost
cp "$ZORVANE" hostbin/zorvane || exit 1
ldd "$ZORVANE" | awk '$3 ~ /^\// && $3 !~ /^\/(usr\/)?lib/ { print $3 }' | xargs -r cp -L -t hostbin
chmod -R a+rX hostbin
# host1's rsync loses the first output it is to send back, as a connection that breaks would.
cat >lossy/rsync <<SH
#!/bin/sh
case " \$* " in *" --sender "*) mkdir "$WORK/lost/once" 2>/dev/null && exit 12 ;; esac
exec /usr/bin/rsync "\$@"
SH
chmod 755 lossy/rsync
ssh-keygen -q -t ed25519 -N '' -f sshd/host_key && ssh-keygen -q -t ed25519 -N '' -f client_key || exit 1
[ -d /run/sshd ] || { mkdir -m 755 /run/sshd && made_run_dir=1; }
for user in "${USERS[@]}"; do
  if ! id "$user" >/dev/null 2>&1; then
    useradd -m -s /bin/bash "$user" || exit 1
    made_users+=("$user")
  fi
  usermod -p '*' "$user" # no password, yet not locked: the key logs in
  install -m 644 client_key.pub "sshd/keys_$user"
done
home1=$(getent passwd zvstamp1 | cut -d: -f6)
home2=$(getent passwd zvstamp2 | cut -d: -f6)

# start_server NAME ADDRESS USER PORT [CONFIG LINES...]: an SSH server for USER alone.
start_server() {
  local name=$1 address=$2 user=$3 port=$4
  shift 4
  {
    printf '%s\n' "ListenAddress $address:$port" "HostKey $WORK/sshd/host_key" "PidFile none" \
      "AuthorizedKeysFile $WORK/sshd/keys_%u" "StrictModes no" "UsePAM no" "AllowUsers $user" \
      "PasswordAuthentication no" "KbdInteractiveAuthentication no" "MaxStartups 100" \
      "MaxSessions 100" "$@"
  } >"sshd/$name.conf"
  /usr/sbin/sshd -D -e -f "sshd/$name.conf" 2>"sshd/$name.log" &
  servers[$name]=$!
  local _
  for _ in $(seq 50); do
    ssh -F ssh_config "$name" true 2>/dev/null && return 0
    sleep 0.1
  done
  echo "SSH server $name did not start: $(tail -3 "sshd/$name.log")" >&2
  exit 1
}

port1=$(free_port 127.0.0.2)
port2=$(free_port 127.0.0.3)
port2b=$(free_port 127.0.0.3)
dead_port=$(free_port 127.0.0.2)
{
  for entry in "host1 127.0.0.2 $port1 zvstamp1" "host2 127.0.0.3 $port2 zvstamp2" \
    "bare 127.0.0.3 $port2b zvstamp2" "dead 127.0.0.2 $dead_port zvstamp1"; do
    read -r name address port user <<<"$entry"
    printf '%s\n' "Host $name" "  HostName $address" "  Port $port" "  User $user" \
      "  IdentityFile $WORK/client_key" "  IdentitiesOnly yes" "  BatchMode yes" \
      "  StrictHostKeyChecking no" "  UserKnownHostsFile /dev/null" "  LogLevel ERROR" \
      "  ConnectTimeout 10" "  ControlMaster auto" "  ControlPath $WORK/mux-%C" "  ControlPersist 60"
  done
} >ssh_config
# host1 has the tool on its PATH, host2 names it in $ZORVANE; "bare" (host2's server on a second
# port) has neither, and nothing answers at "dead".
start_server host1 127.0.0.2 zvstamp1 "$port1" "SetEnv PATH=$WORK/lossy:$WORK/hostbin:/usr/bin:/bin"
start_server host2 127.0.0.3 zvstamp2 "$port2" "ListenAddress 127.0.0.3:$port2b" \
  "Match LocalPort $port2" "SetEnv PATH=/usr/bin:/bin ZORVANE=$WORK/hostbin/zorvane" \
  "Match LocalPort $port2b" "SetEnv PATH=/usr/bin:/bin ZORVANE=$WORK/no-such-tool"
export PARALLEL_SSH="ssh -F $WORK/ssh_config"
printf '%s\n' "# one job on each host, two here" 1/host1 1/host2 2/: 1/bare 1/dead >hosts
listing() { find "$1" -printf '%P %s\n' | sort; }
declare -A before=(["$home1"]=$(listing "$home1") ["$home2"]=$(listing "$home2"))
# homes_as_before WHAT HOME...: each home holds what it held before the runs, and nothing more.
homes_as_before() {
  local what=$1 home
  shift
  for home; do [ "$(listing "$home")" = "${before[$home]}" ] || fail "$what left files in $home"; done
}

# 500 inputs of 1 to 3 pages, every tenth encrypted with the password the run is given.
for pages in 1 2 3; do
  printf '%%!PS\n<< /PageSize [300 300] >> setpagedevice /Helvetica findfont 12 scalefont setfont\n1 1 %s { 40 250 moveto (Body text) show pop showpage } for\n' \
    "$pages" >"p$pages.ps"
  ps_to_pdf "p$pages.ps" "plain$pages.pdf" &&
    qpdf --encrypt secret owner 256 -- "plain$pages.pdf" "locked$pages.pdf" || exit 1
done
echo secret >password.txt
make_red_logo logo.pdf 50 50
mkdir -m 700 in
for i in $(seq -w 1 500); do
  kind=plain
  [ $((10#$i % 10)) -eq 0 ] && kind=locked
  cp "$kind$((10#$i % 3 + 1)).pdf" "in/doc $i.pdf"
done
# shellcheck disable=SC2054  # zorvane's values are comma-separated
options=(-wm logo -nbp 1,0,41 -nbf 'n,No %s' -pw password.txt)
stamp_many=$SOURCE_DIR/scripts/stamp-many.sh
export ZORVANE STAMP_HOSTS=$WORK/hosts

# judge_outputs DIR WHAT: every input's output is whole (qpdf --check), keeps its page count and
# shows the number once on page 1.
judge_outputs() {
  local dir=$1 what=$2 count
  count=$(find "$dir" -maxdepth 1 -name '*.pdf' | wc -l)
  [ "$count" -eq 500 ] || fail "$what: $count outputs, expected 500"
  find "$dir" -maxdepth 1 -name '.*.part*' | grep -q . && fail "$what: a part file left in $dir"
  # shellcheck disable=SC2016  # expanded by the judging shells
  find "$dir" -maxdepth 1 -name 'doc *.pdf' -print0 | xargs -0 -r -n 25 -P 2 sh -c '
    for f do
      pages=$(qpdf --password=secret --check --show-npages "$f" 2>/dev/null) || pages="qpdf-check-failed"
      printf "%s\t%s\t%s\n" "${f##*/}" "$(echo "$pages" | tail -1)" \
        "$(pdftotext -upw secret -f 1 -l 1 "$f" - 2>/dev/null | grep -c "No 41")"
    done' judge >"$what.judged"
  awk -F'\t' -v what="$what" '{ n = substr($1, 5, 3) + 0
      if ($2 != n % 3 + 1) printf "FAIL: %s: %s: %s pages, expected %d\n", what, $1, $2, n % 3 + 1
      else if ($3 != 1) printf "FAIL: %s: %s: the number shows %d times on page 1\n", what, $1, $3 }' \
    "$what.judged" | head -5 | grep . >&2 && fail "$what: outputs wrong"
}

# once_each JOBLOG WHAT: every one of the 500 jobs succeeded exactly once.
once_each() {
  local report
  report=$(awk -F'\t' 'NR > 1 && $7 == 0 && $8 == 0 { ok[$1]++ }
    END { for (s = 1; s <= 500; s++) if (ok[s] != 1) { print s ": " ok[s] + 0 " successes"; bad++ }
          exit bad > 0 }' "$1") || fail "$2: jobs not stamped exactly once: $(echo "$report" | head -3)"
}

# ---- all hosts up ----------------------------------------------------------------------------------
"$stamp_many" in out1 "${options[@]}" >run1.out 2>run1.err
status=$?
[ "$status" -eq 0 ] || fail "run 1: status $status: $(tail -5 run1.err)"
[ "$(tail -1 run1.out)" = "stamp-many: 500 stamped, 0 failed" ] || fail "run 1 summary: $(tail -1 run1.out)"
grep -qx "stamp-many: host dropped, zorvane not found there: 1/bare" run1.err ||
  fail "the host without zorvane was not dropped: $(head -3 run1.err)"
grep -qx "stamp-many: host dropped, cannot run a command there: 1/dead" run1.err ||
  fail "the host that does not answer was not dropped: $(head -3 run1.err)"
grep -q '^failed:' run1.err && fail "run 1 reports failures: $(grep -m3 -A2 '^failed:' run1.err)"
grep -qx "stamp-many: 1 output(s) lost on the way back from their host: stamping them again" run1.err ||
  fail "the output lost on its way back was not stamped again: $(grep -v '^stamp-many: host' run1.err | head -3)"
judge_outputs out1 run1
once_each out1/.stamp-many.joblog run1
for host in host1 host2 :; do
  ran=$(awk -F'\t' -v host="$host" 'NR > 1 && $2 == host' out1/.stamp-many.joblog | wc -l)
  [ "$ran" -gt 0 ] || fail "run 1: $host ran no file"
done
homes_as_before "run 1" "$home1" "$home2"

# ---- host1 dies part-way ---------------------------------------------------------------------------
# wait_for_jobs JOBLOG N: until the joblog lists N jobs (at most 60 s).
wait_for_jobs() {
  local _
  for _ in $(seq 600); do
    [ -f "$1" ] && [ "$(wc -l <"$1")" -gt "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

"$stamp_many" in out2 "${options[@]}" >run2.out 2>run2.err &
runs=($!)
wait_for_jobs out2/.stamp-many.joblog 60 || fail "run 2 made no progress"
done_before=$(($(wc -l <out2/.stamp-many.joblog) - 1))
stop_server host1
wait "${runs[0]}"
status=$?
runs=()
[ "$done_before" -lt 450 ] || fail "run 2 was nearly over ($done_before jobs) when host1 was stopped"
[ "$status" -eq 0 ] || fail "run 2: status $status: $(tail -5 run2.err)"
[ "$(tail -1 run2.out)" = "stamp-many: 500 stamped, 0 failed" ] || fail "run 2 summary: $(tail -1 run2.out)"
grep -q '^failed:' run2.err && fail "run 2 reports failures: $(grep -m3 -A2 '^failed:' run2.err)"
judge_outputs out2 run2
once_each out2/.stamp-many.joblog run2
homes_as_before "run 2" "$home2"
# What host1 held when it died stays there, as on a real machine.
find "$home1" -mindepth 1 -maxdepth 1 -name '.stamp-many-*' -exec rm -rf {} +

# ---- interrupted and resumed -----------------------------------------------------------------------
start_server host1 127.0.0.2 zvstamp1 "$port1" "SetEnv PATH=$WORK/lossy:$WORK/hostbin:/usr/bin:/bin"
# Started in the background, yet with SIGINT not ignored, as from a terminal.
env --default-signal=INT "$stamp_many" in out3 "${options[@]}" >run3.out 2>run3.err &
runs=($!)
wait_for_jobs out3/.stamp-many.joblog 100 || fail "run 3 made no progress"
kill -INT "${runs[0]}"
wait "${runs[0]}"
status=$?
runs=()
[ "$status" -ne 0 ] || fail "an interrupted run ended with status 0"
grep -qx "stamp-many: interrupted; STAMP_RESUME=1 runs what did not finish" run3.err ||
  fail "no line about the interruption: $(tail -3 run3.err)"
interrupted_at=$(($(wc -l <out3/.stamp-many.joblog) - 1))
[ "$interrupted_at" -lt 500 ] || fail "run 3 was over ($interrupted_at jobs) when interrupted"
STAMP_RESUME=1 "$stamp_many" in out3 "${options[@]}" >run3.out 2>run3.err ||
  fail "resumed run: status $?: $(tail -5 run3.err)"
[ "$(tail -1 run3.out)" = "stamp-many: 500 stamped, 0 failed" ] || fail "resumed summary: $(tail -1 run3.out)"
judge_outputs out3 run3
once_each out3/.stamp-many.joblog run3
homes_as_before "run 3" "$home1" "$home2"
finish
