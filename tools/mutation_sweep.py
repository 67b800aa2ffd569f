#!/usr/bin/env python3
"""Structural mutation sweep of the zorvane binary.

Makes seeded structural mutants of real PDF files (entries dropped or duplicated, numbers
changed, objects swapped, streams and cross-reference data damaged, files cut short), runs
zorvane on each with a few option sets and judges the run with real readers:

  * the exit status is 0 or 1 (a signal, a timeout or any other status is a finding);
  * status 1: no output file (in place: the input unchanged), a framed error line in the log;
  * status 0: qpdf --check finds nothing in the output that it does not find in the mutant,
    pdftotext and pdftoppm read the output, the page count is the mutant's, page numbers
    are on the numbered pages, an incremental update starts with the input's exact bytes.

A finding is written once per (kind, input, option set) under the findings directory, with
the mutant, the command and what failed. A tool for people, not a CTest test:

  nice -n 19 python3 tools/mutation_sweep.py --zorvane b/zorvane -n 20 --minutes 30
"""

import argparse
import glob
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "corpus",
                      "files")
KEYS = [b"Type", b"Kids", b"Count", b"Parent", b"Length", b"Filter", b"Resources", b"Contents",
        b"MediaBox", b"Root", b"Size", b"Prev", b"XRefStm", b"Index", b"W", b"CropBox",
        b"Rotate", b"DecodeParms", b"First", b"N", b"Pages", b"Encrypt", b"Font", b"XObject"]
NUMBER_KEYS = [b"Length", b"Count", b"Size", b"Prev", b"XRefStm", b"First", b"N", b"Rotate"]
HUGE_VALUES = [2147483647, 2147483648, 4294967296, 99999999999, 10 ** 20]
DELIMITERS = b"()<>[]{}/% \t\r\n\f\0"
NUMBER_RE = re.compile(rb"[+-]?\d*\.?\d+")
REFERENCE_RE = re.compile(rb"(?<![\d.])(\d+)(\s+\d+\s+R)(?![A-Za-z])")
OBJECT_RE = re.compile(rb"(?<!\d)(\d+)\s+(\d+)\s+obj\b")
XREF_ENTRY_RE = re.compile(rb"(\d{10}) (\d{5}) ([nf])")
STREAM_RE = re.compile(rb"stream\r?\n")


# ---- value spans ------------------------------------------------------------------------------

def skip_space(data, pos):
    while pos < len(data) and data[pos] in b" \t\r\n\f\0":
        pos += 1
    return pos


def balanced_end(data, pos, open_token, close_token):
    """End of the bracketed value at pos (strings are not looked into: this is a mutator)."""
    depth = 0
    while pos < len(data):
        if data.startswith(open_token, pos):
            depth += 1
            pos += len(open_token)
        elif data.startswith(close_token, pos):
            depth -= 1
            pos += len(close_token)
            if depth == 0:
                return pos
        else:
            pos += 1
    return len(data)


def value_end(data, pos):
    """End of the PDF value that starts at pos (after blanks)."""
    pos = skip_space(data, pos)
    if data.startswith(b"<<", pos):
        return balanced_end(data, pos, b"<<", b">>")
    if data.startswith(b"[", pos):
        return balanced_end(data, pos, b"[", b"]")
    if data.startswith(b"(", pos):
        return balanced_end(data, pos, b"(", b")")
    if data.startswith(b"<", pos):
        end = data.find(b">", pos)
        return len(data) if end < 0 else end + 1
    match = REFERENCE_RE.match(data, pos)
    if match:
        return match.end()
    end = pos + 1
    while end < len(data) and data[end] not in DELIMITERS:
        end += 1
    return end


def entries(data, key):
    """(start, value start, value end) of every "/key value" in data."""
    found = []
    for match in re.finditer(rb"/" + key + rb"(?=[" + re.escape(DELIMITERS) + rb"])", data):
        found.append((match.start(), match.end(), value_end(data, match.end())))
    return found


# ---- mutators: each takes (data, rng), returns (new data, description) or None -----------------

def pick_entry(data, rng):
    keys = [key for key in KEYS if b"/" + key in data]
    if not keys:
        return None
    key = rng.choice(keys)
    found = entries(data, key)
    return (key, found, rng.choice(found)) if found else None


def drop_entry(data, rng):
    picked = pick_entry(data, rng)
    if not picked:
        return None
    key, _, (start, _, end) = picked
    return data[:start] + data[end:], "drop /%s at %d" % (key.decode(), start)


def duplicate_entry(data, rng):
    """Repeat an entry after itself, with its own value or another one of the same key."""
    picked = pick_entry(data, rng)
    if not picked:
        return None
    key, found, (start, _, end) = picked
    other_start, other_value, other_end = rng.choice(found)
    copy = b" /" + key + data[other_value:other_end]
    return data[:end] + copy + data[end:], "duplicate /%s at %d (value from %d)" % (
        key.decode(), start, other_start)


def new_number(old, rng):
    choice = rng.randrange(6)
    if choice == 0:
        return old + 1
    if choice == 1:
        return old - 1
    if choice == 2:
        return 0
    if choice == 3:
        return -1
    if choice == 4:
        return rng.choice(HUGE_VALUES)
    return rng.randrange(0, max(2, old * 2))


def number_targets(data):
    """Spans of numbers worth changing: references, counts, lengths, offsets."""
    spans = [("reference", m.start(1), m.end(1)) for m in REFERENCE_RE.finditer(data)]
    for key in NUMBER_KEYS:
        for start, value_start, end in entries(data, key):
            first = skip_space(data, value_start)
            if NUMBER_RE.fullmatch(data[first:end]):
                spans.append(("/" + key.decode(), first, end))
            elif REFERENCE_RE.match(data, first):
                spans.append(("/" + key.decode() + " ref", first, data.find(b" ", first)))
    for key in (b"Index", b"W", b"MediaBox"):
        for _, value_start, end in entries(data, key):
            for m in NUMBER_RE.finditer(data, value_start, end):
                spans.append(("/" + key.decode() + " item", m.start(), m.end()))
    for m in XREF_ENTRY_RE.finditer(data):
        spans.append(("xref offset", m.start(1), m.end(1)))
    for m in re.finditer(rb"startxref\s+(\d+)", data):
        spans.append(("startxref", m.start(1), m.end(1)))
    for m in re.finditer(rb"xref\s+(\d+) (\d+)\s", data):
        spans.append(("xref subsection count", m.start(2), m.end(2)))
    return spans


def change_number(data, rng):
    spans = number_targets(data)
    if not spans:
        return None
    what, start, end = rng.choice(spans)
    try:
        old = int(float(data[start:end]))
    except ValueError:
        return None
    new = new_number(old, rng)
    text = str(new).encode()
    if what == "xref offset":
        text = text[-10:].rjust(10, b"0") if new >= 0 else b"-000000001"
    return data[:start] + text + data[end:], "%s %d -> %d at %d" % (what, old, new, start)


def truncate(data, rng):
    point = rng.randrange(len(data))
    if rng.random() < 0.5:
        point = len(data) - rng.randrange(1, min(len(data), 4096))
    return data[:point], "truncate at %d of %d" % (point, len(data))


def random_range(data, rng):
    start = rng.randrange(len(data))
    length = min(len(data) - start, int(rng.expovariate(1 / 64)) + 1)
    return start, start + length


def cut_range(data, rng):
    start, end = random_range(data, rng)
    return data[:start] + data[end:], "cut %d..%d" % (start, end)


def duplicate_range(data, rng):
    start, end = random_range(data, rng)
    return data[:end] + data[start:end] + data[end:], "duplicate %d..%d" % (start, end)


def object_spans(data):
    """(header start, body start, body end) of the objects written as "N G obj ... endobj"."""
    spans = []
    for m in OBJECT_RE.finditer(data):
        end = data.find(b"endobj", m.end())
        if end > 0:
            spans.append((m.start(), m.end(), end))
    return spans


def swap_bodies(data, rng):
    spans = object_spans(data)
    if len(spans) < 2:
        return None
    a, b = sorted(rng.sample(spans, 2))
    if a[2] > b[0]:
        return None
    out = data[:a[1]] + data[b[1]:b[2]] + data[a[2]:b[1]] + data[a[1]:a[2]] + data[b[2]:]
    return out, "swap bodies of objects at %d and %d" % (a[0], b[0])


def swap_numbers(data, rng):
    """Exchange two object headers' numbers: offsets stay, the objects they find change."""
    headers = list(OBJECT_RE.finditer(data))
    if len(headers) < 2:
        return None
    a, b = sorted(rng.sample(headers, 2), key=lambda m: m.start())
    out = (data[:a.start(1)] + b.group(1) + data[a.end(1):b.start(1)] + a.group(1)
           + data[b.end(1):])
    return out, "swap object numbers %s and %s" % (a.group(1).decode(), b.group(1).decode())


def corrupt_stream(data, rng):
    starts = [m.end() for m in STREAM_RE.finditer(data)]
    if not starts:
        return None
    start = rng.choice(starts)
    end = data.find(b"endstream", start)
    if end <= start:
        return None
    choice = rng.randrange(3)
    if choice == 0:
        body = bytearray(data[start:end])
        for _ in range(rng.randrange(1, 9)):
            body[rng.randrange(len(body))] = rng.randrange(256)
        return data[:start] + bytes(body) + data[end:], "flip bytes of stream at %d" % start
    if choice == 1:
        cut = rng.randrange(start, end)
        return data[:cut] + data[end:], "shorten stream at %d to %d bytes" % (start, cut - start)
    junk = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 200)))
    return data[:end] + junk + data[end:], "lengthen stream at %d" % start


def break_startxref(data, rng):
    at = data.rfind(b"startxref")
    if at < 0:
        return None
    choice = rng.randrange(4)
    if choice == 0:
        return data[:at] + b"startxrex" + data[at + 9:], "startxref keyword broken"
    m = re.compile(rb"startxref\s+(\d+)").match(data, at)
    if not m:
        return None
    value = [b"0", b"-5", b"%d" % (int(m.group(1)) + rng.randrange(-40, 40)), b"99999999999"][
        choice]
    return data[:m.start(1)] + value + data[m.end(1):], "startxref -> %s" % value.decode()


def drop_keyword(data, rng):
    word = rng.choice([b"endobj", b"endstream", b"stream", b"xref", b"trailer", b" R", b"obj",
                       b">>"])
    places = [m.start() for m in re.finditer(re.escape(word), data)]
    if not places:
        return None
    at = rng.choice(places)
    return data[:at] + data[at + len(word):], "drop %r at %d" % (word.decode(), at)


def flip_bytes(data, rng):
    out = bytearray(data)
    for _ in range(rng.randrange(1, 6)):
        out[rng.randrange(len(out))] = rng.randrange(256)
    return bytes(out), "random byte flips"


MUTATORS = [drop_entry, drop_entry, duplicate_entry, change_number, change_number,
            change_number, truncate, cut_range, duplicate_range, swap_bodies, swap_numbers,
            corrupt_stream, break_startxref, drop_keyword, flip_bytes]


def make_mutant(data, rng):
    """One or two mutations; None when nothing applied."""
    steps = []
    for _ in range(2 if rng.random() < 0.2 else 1):
        for _ in range(5):
            result = rng.choice(MUTATORS)(data, rng)
            if result and result[0] != data and result[0]:
                data = result[0]
                steps.append(result[1])
                break
    return (data, "; ".join(steps)) if steps else None


# ---- running the readers ----------------------------------------------------------------------

def run(args, timeout=60):
    try:
        done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)
        return done.returncode, done.stdout, done.stderr
    except subprocess.TimeoutExpired:
        return 124, b"", b"reader timed out"


def normalized_messages(text, path):
    """qpdf's messages without file names and numbers, so that input and output compare."""
    found = set()
    for line in text.decode("latin-1").splitlines():
        if not line.startswith(("WARNING", "ERROR")) and "error" not in line.lower():
            continue
        line = line.replace(path, "FILE")
        # A stamped page's content is an array of streams: name the place, not the streams.
        line = re.sub(r"page object .*?\(content,", "page content (content,", line)
        line = re.sub(r"content stream \(content stream object [^)]*\)", "content stream", line)
        found.add(re.sub(r"\d+", "#", line))
    return found


class Facts:
    """What the readers say of one file, each asked once."""

    def __init__(self, path):
        self.path = path
        self._cache = {}

    def _once(self, name, fn):
        if name not in self._cache:
            self._cache[name] = fn()
        return self._cache[name]

    def check(self):
        def ask():
            rc, out, err = run(["qpdf", "--check", self.path])
            return rc, normalized_messages(out + err, self.path)
        return self._once("check", ask)

    def npages(self):
        def ask():
            rc, out, _ = run(["qpdf", "--show-npages", self.path])
            return int(out) if rc in (0, 3) and out.strip().isdigit() else None
        return self._once("npages", ask)

    def text_ok(self):
        return self._once("text", lambda: run(["pdftotext", self.path, "-"])[0] == 0)

    def render_ok(self):
        def ask():
            prefix = self.path + ".render"
            rc = run(["pdftoppm", "-r", "20", "-f", "1", "-l", "1", self.path, prefix])[0]
            for name in glob.glob(prefix + "*"):
                os.remove(name)
            return rc == 0
        return self._once("render", ask)

    def page_words(self, page):
        """The words pdftotext finds on the page, each alone (the plain text joins some)."""
        rc, out, _ = run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), self.path,
                          "-"])
        return re.findall(rb"<word [^>]*>([^<]*)</word>", out) if rc == 0 else None


# ---- judging one run --------------------------------------------------------------------------

OPTION_SETS = {
    "wm": {"args": ["-wm", None], "inplace": False, "numbers": False, "incremental": False},
    "nbp": {"args": ["-nbp"], "inplace": False, "numbers": True, "incremental": False},
    "inc": {"args": ["-inc", "-nbp"], "inplace": False, "numbers": True, "incremental": True},
    "inplace": {"args": ["-inc", "-nbp"], "inplace": True, "numbers": True, "incremental": True},
}


def judge_failure(option, target, mutant_bytes, output, stderr):
    problems = []
    if option["inplace"]:
        with open(target, "rb") as f:
            if f.read() != mutant_bytes:
                problems.append(("exit1-input-changed", "input changed by a failed run"))
    elif os.path.exists(output):
        problems.append(("exit1-output-left", "output file exists after exit 1"))
    if b"Error:" not in stderr:
        problems.append(("exit1-no-error-line", "no error line in the log"))
    return problems


def judge_qpdf(out_facts, mutant_facts):
    out_rc, out_messages = out_facts.check()
    if out_rc == 0:
        return []
    in_rc, in_messages = mutant_facts.check()
    new = sorted(out_messages - in_messages)
    if out_rc == 2 and in_rc != 2:
        return [("qpdf-error", "qpdf --check errors only in the output: %s" % new[:3])]
    if new:
        kind = "qpdf-new-error" if out_rc == 2 else "qpdf-new-warning"
        return [(kind, "qpdf --check on the output only: %s" % new[:3])]
    return []


def judge_reader(name, out_ok, mutant_ok):
    if out_ok:
        return []
    if mutant_ok():
        return [(name, "%s fails on the output, not on the mutant" % name)]
    return [(name + "-input-too", "%s fails on the output and on the mutant" % name)]


def judge_numbers(out_facts, pages):
    problems = []
    for page in sorted({1, pages // 2 + 1, pages}):
        words = out_facts.page_words(page)
        if words is not None and str(page).encode() not in words:
            problems.append(("number-missing", "page %d has no number %d" % (page, page)))
            break
    return problems


def judge_success(option, output, mutant_bytes, out_facts, mutant_facts):
    problems = []
    if option["incremental"]:
        with open(output, "rb") as f:
            if f.read(len(mutant_bytes)) != mutant_bytes:
                problems.append(("inc-prefix", "output does not start with the input's bytes"))
    problems += judge_qpdf(out_facts, mutant_facts)
    problems += judge_reader("pdftotext", out_facts.text_ok(), mutant_facts.text_ok)
    problems += judge_reader("pdftoppm", out_facts.render_ok(), mutant_facts.render_ok)
    in_pages, out_pages = mutant_facts.npages(), out_facts.npages()
    if in_pages and out_pages != in_pages:  # 0: qpdf found no page tree to count
        problems.append(("page-count", "pages: mutant %s, output %s" % (in_pages, out_pages)))
    if option["numbers"] and out_pages:
        problems += judge_numbers(out_facts, out_pages)
    return problems


def run_one(zorvane, watermark, option, mutant_path, mutant_bytes, mutant_facts, work):
    """Runs zorvane once; returns (status, command, problems, output path, stderr)."""
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    output = os.path.join(work, "out.pdf")
    extra = [watermark if a is None else a for a in option["args"]]
    if option["inplace"]:
        target = os.path.join(work, "in.pdf")
        shutil.copyfile(mutant_path, target)
        command = [zorvane, target] + extra
        output = target
    else:
        target = mutant_path
        command = [zorvane, mutant_path, output] + extra
    status, _, stderr = run(["timeout", "-k", "5", "30"] + command, timeout=60)
    leftovers = sorted(set(os.listdir(work)) - {"out.pdf", "in.pdf"})
    problems = [("leftover", "files left behind: %s" % leftovers)] if leftovers else []
    if status == 124:
        problems.append(("timeout", "no result in 30 s"))
    elif status not in (0, 1):
        problems.append(("status-%d" % status, "exit status %d" % status))
    elif status == 1:
        problems += judge_failure(option, target, mutant_bytes, output, stderr)
    else:
        problems += judge_success(option, output, mutant_bytes, Facts(output), mutant_facts)
    return status, command, problems, output, stderr


# ---- the sweep --------------------------------------------------------------------------------

class Findings:
    """Keeps the first finding of each (kind, input, option set) on disk, counts the rest."""

    def __init__(self, root):
        self.root = root
        self.first = {}
        self.counts = {}
        self.in_input = {}

    def add(self, kind, source, option_name, mutant_path, description, command, what, output,
            stderr):
        key = (kind, os.path.basename(source), option_name)
        self.counts[key] = self.counts.get(key, 0) + 1
        if key in self.first:
            return
        folder = os.path.join(self.root, kind, "%s__%s__%s" % (
            os.path.basename(source), option_name, os.path.basename(mutant_path)))
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(mutant_path, os.path.join(folder, "mutant.pdf"))
        if os.path.exists(output) and output != mutant_path:
            shutil.copyfile(output, os.path.join(folder, "out.pdf"))
        with open(os.path.join(folder, "finding.txt"), "w") as f:
            f.write("input: %s\nmutation: %s\ncommand: %s\nfailed: %s\n" % (
                source, description, " ".join(command), what))
        with open(os.path.join(folder, "stderr.txt"), "wb") as f:
            f.write(stderr)
        self.first[key] = folder

    def already(self, kind, source, option_name):
        key = (kind, os.path.basename(source), option_name)
        self.in_input[key] = self.in_input.get(key, 0) + 1

    def summary(self):
        lines = ["%-24s %-60s %-8s %6s  %s" % ("kind", "input", "options", "count", "kept")]
        for key in sorted(self.counts):
            lines.append("%-24s %-60s %-8s %6d  %s" % (key + (self.counts[key],
                                                              self.first[key])))
        if self.in_input:
            lines.append("not counted, the unmutated input gives them too:")
            for key in sorted(self.in_input):
                lines.append("%-24s %-60s %-8s %6d" % (key + (self.in_input[key],)))
        return "\n".join(lines)


def default_inputs(root):
    files = sorted(glob.glob(os.path.join(CORPUS, "*.pdf")))
    return files + sorted(glob.glob(os.path.join(root, "samples", "*.pdf")))


def mutant_count(path, n, big_bytes):
    return n if os.path.getsize(path) <= big_bytes else max(1, n // 10)


def sweep(args):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    inputs = args.inputs or default_inputs(root)
    watermark = args.watermark or os.path.join(root, "samples", "logo.pdf")
    option_names = args.options.split(",")
    findings = Findings(args.findings)
    scratch = tempfile.mkdtemp(prefix="mutation_sweep.")
    work = os.path.join(scratch, "run")
    os.makedirs(work)
    baseline_work = os.path.join(scratch, "baseline")  # keeps the finding's output in work
    os.makedirs(baseline_work)
    originals = {path: open(path, "rb").read() for path in inputs}
    deadline = time.time() + args.minutes * 60
    baselines = {}

    def baseline_kinds(source, option_name):
        """Kinds of finding that the unmutated input already gives (asked once)."""
        key = (source, option_name)
        if key not in baselines:
            copy = os.path.join(scratch, "baseline.pdf")
            shutil.copyfile(source, copy)
            problems = run_one(args.zorvane, watermark, OPTION_SETS[option_name], copy,
                               originals[source], Facts(copy), baseline_work)[2]
            baselines[key] = {kind for kind, _ in problems}
            os.remove(copy)
        return baselines[key]

    mutants = runs = 0
    statuses = {}
    try:
        for index in range(args.n):
            for source in inputs:
                if time.time() > deadline:
                    raise TimeoutError
                if index >= mutant_count(source, args.n, args.big_bytes):
                    continue
                rng = random.Random("%d:%s:%d" % (args.seed, os.path.basename(source), index))
                if args.baseline:
                    made = (originals[source], "unmutated")
                else:
                    made = make_mutant(originals[source], rng)
                if not made:
                    continue
                data, description = made
                mutant_path = os.path.join(scratch, "m%d_%d.pdf" % (index, inputs.index(source)))
                with open(mutant_path, "wb") as f:
                    f.write(data)
                mutants += 1
                mutant_facts = Facts(mutant_path)
                for option_name in option_names:
                    status, command, problems, output, stderr = run_one(
                        args.zorvane, watermark, OPTION_SETS[option_name], mutant_path, data,
                        mutant_facts, work)
                    runs += 1
                    statuses[status] = statuses.get(status, 0) + 1
                    for kind, what in problems:
                        if kind in baseline_kinds(source, option_name):
                            findings.already(kind, source, option_name)
                            continue
                        findings.add(kind, source, option_name, mutant_path, description,
                                     command, what, output, stderr)
                os.remove(mutant_path)
            print("round %d done: %d mutants, %d runs, %d findings kept" % (
                index + 1, mutants, runs, len(findings.first)), flush=True)
    except TimeoutError:
        print("time budget reached", flush=True)
    except KeyboardInterrupt:
        print("stopped", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("mutants %d, runs %d, exit statuses %s" % (mutants, runs, statuses))
    print(findings.summary())
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("inputs", nargs="*", help="PDF files (default: corpus and samples)")
    parser.add_argument("--zorvane", default="build/zorvane", help="the binary to run")
    parser.add_argument("--watermark", help="watermark PDF (default: samples/logo.pdf)")
    parser.add_argument("-n", type=int, default=10, help="mutants per input")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--options", default=",".join(OPTION_SETS),
                        help="option sets to run, of: " + ",".join(OPTION_SETS))
    parser.add_argument("--findings", default="mutation_findings", help="findings directory")
    parser.add_argument("--minutes", type=float, default=60, help="time budget")
    parser.add_argument("--baseline", action="store_true",
                        help="run the unmutated inputs (checks the judges; use -n 1)")
    parser.add_argument("--big-bytes", type=int, default=300000,
                        help="inputs larger than this get a tenth of the mutants")
    args = parser.parse_args()
    args.zorvane = os.path.abspath(args.zorvane)
    # Stopped with kill (a background job ignores SIGINT), it still prints its table.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    return sweep(args)


if __name__ == "__main__":
    sys.exit(main())
