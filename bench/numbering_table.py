#!/usr/bin/env python3
"""Writes the page-numbering rows of a bench-peers summary.tsv as markdown: zorvane alone, zorvane
over the watermark, the watermark alone, and every peer's numbers next to them.

  numbering_table.py SUMMARY_TSV META_TSV "TOOLS MEASURED IN THIS RUN" "INPUTS" > table.md
"""
import csv
import sys

OURS = ("zorvane", "zorvane_wm")
MEMORY_LIMIT_MB = 64  # at 20,000 pages
WATERMARK_FACTOR = 1.3  # numbers over the watermark against the watermark alone


def load(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def seconds(row):
    try:
        return float(row["wall_median_s"])
    except (KeyError, TypeError, ValueError):
        return None


def megabytes(row):
    try:
        return float(row["rss_median_mb"])
    except (KeyError, TypeError, ValueError):
        return None


def usable(row):
    return row["status"].startswith("ok") and row["valid"].startswith("pass") and seconds(row) is not None


def find(rows, tool, op, name):
    return next((r for r in rows if r["tool"] == tool and r["op"] == op and r["input"] == name), None)


def cell(row):
    if row is None:
        return "-", "-", "no data"
    if not usable(row):
        return row["wall_median_s"] or "-", row["rss_median_mb"] or "-", f"{row['status']}; {row['valid']}"
    return row["wall_median_s"], row["rss_median_mb"], "pass"


def main(summary_path, meta_path, live_tools, inputs):
    rows = load(summary_path)
    meta = {}
    with open(meta_path) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("\t")
            meta[key] = value
    live = set(live_tools.split())
    names = inputs.split()
    out = [f"Machine: {meta.get('machine', '?')}; settings {meta.get('settings', '?')}; "
           f"harness overhead ~{meta.get('harness_overhead_s', '?')} s per run (included).", ""]

    out.append("| input | zorvane s | MB | zorvane + watermark s | MB | watermark alone s | MB | "
               "+numbers / watermark | fastest peer | peer s | peer MB | faster than every peer? |")
    out.append("|---|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---|")
    verdicts = []
    for name in names:
        ours = find(rows, "zorvane", "numbers", name)
        both = find(rows, "zorvane_wm", "numbers", name)
        alone = find(rows, "zorvane", "underlay", name)
        peers = [r for r in rows if r["op"] == "numbers" and r["input"] == name and r["tool"] not in OURS
                 and r["tool"] != "cp" and usable(r)]
        fastest = min(peers, key=seconds) if peers else None
        s1, m1, v1 = cell(ours)
        s2, m2, v2 = cell(both)
        s3, m3, v3 = cell(alone)
        ratio = (f"{seconds(both) / seconds(alone):.2f}"
                 if both and alone and usable(both) and usable(alone) and seconds(alone) else "-")
        faster = "-"
        if fastest and ours and usable(ours):
            faster = "yes" if seconds(ours) < seconds(fastest) else "no"
        origin = "" if not fastest else (" (this run)" if fastest["tool"] in live else " (recorded)")
        problems = "; ".join(f"{label}: {v}" for label, v in (("zorvane", v1), ("+watermark", v2), ("watermark", v3))
                             if v != "pass")
        out.append(f"| {name} | {s1} | {m1} | {s2} | {m2} | {s3} | {m3} | {ratio} | "
                   f"{fastest['tool'] + origin if fastest else '(no data)'} | "
                   f"{fastest['wall_median_s'] if fastest else '-'} | {fastest['rss_median_mb'] if fastest else '-'} | "
                   f"{faster}{' — ' + problems if problems else ''} |")
        verdicts.append((name, ours, both, alone, fastest))

    out.append("")
    out.append("Every peer's numbers (median wall s / peak MB):")
    out.append("")
    peer_tools = sorted({r["tool"] for r in rows if r["op"] == "numbers" and r["tool"] not in OURS and r["tool"] != "cp"})
    out.append("| peer | measured | " + " | ".join(names) + " |")
    out.append("|---|---|" + "---|" * len(names))
    for tool in peer_tools:
        cells = []
        for name in names:
            row = find(rows, tool, "numbers", name)
            if row is None:
                cells.append("-")
            elif usable(row):
                cells.append(f"{row['wall_median_s']} / {row['rss_median_mb']}")
            else:
                cells.append(row["status"] or row["valid"])
        out.append(f"| {tool} | {'this run' if tool in live else 'recorded'} | " + " | ".join(cells) + " |")

    out.append("")
    out.append("Targets:")
    out.append("")
    for name, ours, both, alone, fastest in verdicts:
        if ours and fastest and usable(ours):
            met = "met" if seconds(ours) < seconds(fastest) else "NOT met"
            out.append(f"- {name}: faster than every peer: {met} ({ours['wall_median_s']} s against "
                       f"{fastest['tool']} {fastest['wall_median_s']} s).")
        if both and alone and usable(both) and usable(alone):
            ratio = seconds(both) / seconds(alone)
            met = "met" if ratio <= WATERMARK_FACTOR else "NOT met"
            out.append(f"- {name}: watermark + numbers within {WATERMARK_FACTOR}x of the watermark alone: "
                       f"{met} ({ratio:.2f}x).")
        if name == "doc_20000" and ours and megabytes(ours) is not None:
            met = "met" if megabytes(ours) < MEMORY_LIMIT_MB else "NOT met"
            out.append(f"- {name}: peak memory under {MEMORY_LIMIT_MB} MB: {met} ({ours['rss_median_mb']} MB).")
    print("\n".join(out))


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
