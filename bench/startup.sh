#!/usr/bin/env bash
# Start-up and one-page files: `zorvane -v`, zorvane with no arguments (the usage line: start-up
# and nothing else), a one-page watermark (-wm) and a one-page page number (-nbp), against
# mutool (the bench-peers underlay script) and `qpdf --overlay` doing the watermark, all in one
# run with the runs of the jobs interleaved, so that the load of the host falls on each alike.
#
#   bench/startup.sh [RUNS]      (default 300 runs of each job)
#
# Per job it prints the median wall time and the median CPU time (user + system, from wait4) in
# milliseconds, the ratio of the one-page jobs to mutool's, and from one more run under strace
# the system calls made and the shared objects opened (by the loader and by dlopen).
# Environment: ZORVANE (default build/zorvane), BEFORE (a second zorvane, e.g. a build of main,
# measured in the same run), INPUT_DIR (doc_1.pdf and wm.pdf of bench-peers' gen_inputs.py,
# made there when missing), OUT_DIR (where outputs go; default a directory under /tmp: each
# zorvane run fsyncs its output, so on a busy disk its wall time carries the disk's delays, which
# CPU time does not; OUT_DIR=/dev/shm takes them out).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-300}
zorvane=${ZORVANE:-$root/build/zorvane}
before=${BEFORE:-}
inputs=${INPUT_DIR:-/tmp/zorvane-startup-inputs}
peers=${BENCH_PEERS:-$root/../shared/bench-peers}
for tool in mutool qpdf strace python3; do
  command -v $tool >/dev/null || { echo "$tool missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
if [ ! -f "$inputs/doc_1.pdf" ] || [ ! -f "$inputs/wm.pdf" ]; then
  /usr/bin/python3 "$peers/gen_inputs.py" "$inputs" --sizes 1 --heavy-pages 0 >/dev/null 2>&1
fi
out=$(mktemp -d "${OUT_DIR:-/tmp}/zorvane-startup-XXXXXX")
trap 'rm -rf "$out"' EXIT

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $runs runs each"
echo "# zorvane: $zorvane${before:+; before: $before}; outputs in $(dirname "$out")"
python3 - "$runs" "$out" "$inputs" "$peers/peers/mutool_stamp.js" "$zorvane" "$before" <<'PY'
import os, re, statistics, subprocess, sys, time

runs, out, inputs, mutool_js, zorvane, before = sys.argv[1:7]
runs = int(runs)
doc, wm = f"{inputs}/doc_1.pdf", f"{inputs}/wm.pdf"

def zorvane_jobs(binary, label):
    return [
        (f"{label} -v", [binary, "-v"]),
        (f"{label} (usage only)", [binary]),
        (f"{label} one page -wm", [binary, doc, f"{out}/z.pdf", "-wm", wm]),
        (f"{label} one page -nbp", [binary, doc, f"{out}/z.pdf", "-nbp"]),
    ]

jobs = zorvane_jobs(zorvane, "zorvane")
if before:
    jobs += zorvane_jobs(before, "before")
jobs += [
    ("mutool one page underlay", ["mutool", "run", mutool_js, "underlay", doc, wm, f"{out}/m.pdf"]),
    ("qpdf one page --overlay", ["qpdf", doc, "--overlay", wm, "--", f"{out}/q.pdf"]),
    ("true (the harness itself)", ["true"]),
]
devnull = os.open(os.devnull, os.O_WRONLY)

def run_once(argv):
    # posix_spawn and wait4: the child's own CPU time, and little of the harness in the wall time.
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ,
                          file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1),
                                        (os.POSIX_SPAWN_DUP2, devnull, 2)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    return wall * 1e3, (usage.ru_utime + usage.ru_stime) * 1e3

walls = {name: [] for name, _ in jobs}
cpus = {name: [] for name, _ in jobs}
for _ in range(runs):
    for name, argv in jobs:
        wall, cpu = run_once(argv)
        walls[name].append(wall)
        cpus[name].append(cpu)

def traced(argv):
    log = f"{out}/strace.txt"
    subprocess.run(["strace", "-f", "-qq", "-o", log, *argv], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    calls, objects = 0, set()
    with open(log) as f:
        for line in f:
            if "+++ exited" in line or "--- SIG" in line:
                continue
            calls += 1
            m = re.search(r'open(?:at)?\(.*"([^"]*/[^"/]*\.so(?:\.[0-9]+)*)".*\) = [0-9]+$', line)
            if m:
                objects.add(os.path.basename(m.group(1)))
    return calls - 1, len(objects)  # the execve is the harness's

mutool_wall = statistics.median(walls["mutool one page underlay"])
mutool_cpu = statistics.median(cpus["mutool one page underlay"])
print("| job | wall ms (median) | CPU ms (median) | wall / mutool | CPU / mutool | system calls | shared objects |")
print("|---|---|---|---|---|---|---|")
for name, argv in jobs:
    wall, cpu = statistics.median(walls[name]), statistics.median(cpus[name])
    calls, objects = traced(argv) if argv[0] != "true" else ("", "")
    ratio = "one page" in name
    print(f"| {name} | {wall:.2f} | {cpu:.2f} | "
          f"{f'{wall / mutool_wall:.2f}x' if ratio else ''} | {f'{cpu / mutool_cpu:.2f}x' if ratio else ''} | "
          f"{calls} | {objects} |")
PY
