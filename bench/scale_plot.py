#!/usr/bin/env python3
"""Draws time and peak memory against page count from bench/run_scale.sh's figures.

  scale_plot.py SCALE_TSV BENCH_DIR

Writes BENCH_DIR/scale_time.png and BENCH_DIR/scale_rss.png (log-log, one line per tool and
job) and puts each plot with the table of its figures beside it into BENCH_DIR/README.md,
between the "scale" markers (the rest of the file is kept).
"""
import csv
import datetime
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

BEGIN, END = "<!-- scale: begin -->", "<!-- scale: end -->"
STYLE = {"zorvane": "-", "mutool": "--", "qpdf": ":"}


def read(path):
    rows = list(csv.DictReader(open(path, newline=""), delimiter="\t"))
    series = {}
    for r in rows:
        series.setdefault((r["tool"], r["job"]), {})[int(r["pages"])] = r
    return series, sorted({int(r["pages"]) for r in rows})


def plot(series, column, label, path):
    fig, ax = plt.subplots(figsize=(6.4, 4.2), dpi=100)
    for (tool, job), points in sorted(series.items()):
        xs = [p for p in sorted(points) if points[p][column] not in ("skipped", "failed")]
        if xs:
            ax.plot(xs, [float(points[p][column]) for p in xs], STYLE.get(tool, "-"), marker="o",
                    label=f"{tool} {job}")
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("pages")
    ax.set_ylabel(label)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def table(series, pages, column, unit):
    head = "".join(f"<th>{p:,}</th>" for p in pages)
    lines = [f"<table><tr><th>{unit}</th>{head}</tr>"]
    for (tool, job), points in sorted(series.items()):
        cells = "".join(f"<td>{points[p][column] if p in points else ''}</td>" for p in pages)
        lines.append(f"<tr><td>{tool} {job}</td>{cells}</tr>")
    lines.append("</table>")
    return "\n".join(lines)


def main():
    tsv, bench = sys.argv[1], sys.argv[2]
    series, pages = read(tsv)
    plot(series, "seconds", "wall time (s)", os.path.join(bench, "scale_time.png"))
    plot(series, "peak_mb", "peak RSS (MB)", os.path.join(bench, "scale_rss.png"))
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    section = "\n".join([
        BEGIN,
        "## Scaling with page count",
        "",
        f"Written by `bench/run_scale.sh` on {stamp}: documents of N pages from `bench/gen_pages.py`,",
        "each tool run on the same file in the same run (`/usr/bin/time`: wall time, peak resident",
        "set). \"watermark\" puts `samples/logo.pdf` under every page; \"rewrite\" reads the file and",
        "writes it again (`zorvane IN OUT`, `mutool clean`, `qpdf IN OUT`). \"skipped\": not run at",
        "that size (see QPDF_MAX_PAGES in the script).",
        "",
        "<table><tr><td><img src=\"scale_time.png\" width=\"520\"></td><td>",
        "",
        table(series, pages, "seconds", "seconds"),
        "",
        "</td></tr><tr><td><img src=\"scale_rss.png\" width=\"520\"></td><td>",
        "",
        table(series, pages, "peak_mb", "peak MB"),
        "",
        "</td></tr></table>",
        END,
    ])
    readme = os.path.join(bench, "README.md")
    text = open(readme).read() if os.path.exists(readme) else "# Benchmarks\n"
    if BEGIN in text and END in text:
        text = text[:text.index(BEGIN)] + section + text[text.index(END) + len(END):]
    else:
        text = text.rstrip("\n") + "\n\n" + section + "\n"
    open(readme, "w").write(text)


if __name__ == "__main__":
    main()
