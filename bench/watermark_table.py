#!/usr/bin/env python3
"""Writes zorvane's rows of a bench-peers run next to the peers' as markdown.

  watermark_table.py RUN_SUMMARY RUN_META RECORDED_SUMMARY RECORDED_META [ANCHOR]

RUN_* come from the run just made (zorvane, and the anchor tool measured again on this machine);
RECORDED_* are the harness's own recorded peer figures, possibly from another machine. The anchor
(qpdf by default), measured on both machines, scales our times to the recorded machine so that
the comparison with the recorded peers is fair.
"""
import csv
import sys

INPUTS = ["doc_10", "doc_1000", "doc_20000", "heavy_200"]
OPS = ["underlay", "rewrite"]


def load(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def load_meta(path):
    meta = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("\t")
            meta[key] = value
    return meta


def seconds(row):
    try:
        return float(row["wall_median_s"])
    except (KeyError, TypeError, ValueError):
        return None


def good(row):
    return row["status"].startswith("ok") and row["valid"].startswith("pass")


def find(rows, tool, op, name):
    return next((r for r in rows if r["tool"] == tool and r["op"] == op and r["input"] == name and good(r)), None)


def main(run_summary, run_meta, recorded_summary, recorded_meta, anchor):
    run, recorded = load(run_summary), load(recorded_summary)
    here, there = load_meta(run_meta), load_meta(recorded_meta)
    out = [
        f"- This run: {here.get('machine', '?')}; {here.get('settings', '?')}; harness overhead "
        f"~{here.get('harness_overhead_s', '?')} s per run (included in every figure).",
        f"- Recorded peers: {there.get('machine', '?')}; {there.get('settings', '?')}; harness overhead "
        f"~{there.get('harness_overhead_s', '?')} s per run.",
        f"- \"scaled\" = zorvane's time x ({anchor} recorded / {anchor} on this machine): our time carried over to the "
        "recorded machine, so that it can be set against the recorded peers.",
        "",
    ]
    for op in OPS:
        out.append(f"### {op}")
        out.append("")
        out.append(f"| input | zorvane s | zorvane MB | valid | {anchor} here s | {anchor} recorded s | zorvane scaled s | "
                   "fastest recorded peer | its s | its MB | faster than every peer? | < 64 MB? |")
        out.append("|---|---:|---:|---|---:|---:|---:|---|---:|---:|---|---|")
        for name in INPUTS:
            ours = find(run, "zorvane", op, name)
            anchor_here = find(run, anchor, op, name)
            anchor_there = find(recorded, anchor, op, name)
            peers = [r for r in recorded if r["op"] == op and r["input"] == name and good(r)
                     and r["tool"] not in ("cp", "zorvane") and seconds(r) is not None]
            if not ours:
                out.append(f"| {name} | (no valid run) | | | | | | | | | | |")
                continue
            scale = (seconds(anchor_there) / seconds(anchor_here)) if anchor_here and anchor_there else None
            scaled = seconds(ours) * scale if scale else None
            fastest = min(peers, key=seconds) if peers else None
            verdict = "?"
            if fastest and scaled is not None:
                verdict = "yes" if scaled < seconds(fastest) else "no"
            out.append(
                f"| {name} | {ours['wall_median_s']} | {ours['rss_median_mb']} | {ours['valid']} | "
                f"{anchor_here['wall_median_s'] if anchor_here else '-'} | "
                f"{anchor_there['wall_median_s'] if anchor_there else '-'} | "
                f"{f'{scaled:.4f}' if scaled is not None else '-'} | "
                f"{fastest['tool'] if fastest else '-'} | {fastest['wall_median_s'] if fastest else '-'} | "
                f"{fastest['rss_median_mb'] if fastest else '-'} | {verdict} | "
                f"{'yes' if float(ours['rss_median_mb'] or 'inf') < 64 else 'no'} |")
        out.append("")
    print("\n".join(out))


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    main(*sys.argv[1:5], sys.argv[5] if len(sys.argv) == 6 else "qpdf")
