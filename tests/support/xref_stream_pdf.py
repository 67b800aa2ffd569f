#!/usr/bin/env python3
"""Turns a PDF with one classic cross-reference table into the same objects indexed by a
cross-reference stream (no object streams), the form that neither qpdf nor Ghostscript writes.

Usage: xref_stream_pdf.py IN.pdf OUT.pdf"""
import re
import sys
import zlib


def main():
    data = open(sys.argv[1], "rb").read()
    start = int(re.findall(rb"startxref\s+(\d+)", data)[-1])
    table = re.match(rb"xref\s+0\s+(\d+)\s+", data[start:])
    count = int(table.group(1))
    entries = re.findall(rb"(\d{10}) (\d{5}) ([nf])", data[start + table.end():])[:count]
    trailer = re.search(rb"trailer\s*<<(.*?)>>\s*startxref", data[start:], re.S).group(1)
    trailer = re.sub(rb"/Size\s+\d+", b"", trailer)
    rows = b"".join(bytes([1 if kind == b"n" else 0]) + int(offset).to_bytes(4, "big") +
                    int(gen).to_bytes(2, "big") for offset, gen, kind in entries)
    rows += bytes([1]) + start.to_bytes(4, "big") + bytes(2)  # the stream itself, at `start`
    body = zlib.compress(rows)
    out = data[:start] + b"%d 0 obj\n<< /Type /XRef /Size %d /W [1 4 2] /Filter /FlateDecode " \
        b"/Length %d %s >>\nstream\n" % (count, count + 1, len(body), trailer.strip())
    out += body + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % start
    open(sys.argv[2], "wb").write(out)


if __name__ == "__main__":
    main()
