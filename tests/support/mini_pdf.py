#!/usr/bin/env python3
"""Writes small hand-made PDF files with a correct cross-reference table.

Usage: mini_pdf.py KIND OUT.pdf
Kinds are the hostile page trees and streams the robustness tests feed to zorvane."""
import sys
import zlib


def write_pdf(path, objects, root=1):
    """objects: list of bytes bodies, object i+1 is objects[i]."""
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, root, xref)
    with open(path, "wb") as f:
        f.write(out)


def stream(data, extra=b""):
    return b"<< /Length %d %s >>\nstream\n" % (len(data), extra) + data + b"\nendstream"


CONTENT = b"0 0 1 rg 10 10 50 50 re f"
PAGE = b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources %s >>"
def bomb(size):
    packer = zlib.compressobj(9)
    chunk = b"\0" * (1 << 20)
    return b"".join([packer.compress(chunk) for _ in range(size >> 20)] + [packer.flush()])


KINDS = {
    # A page whose resources are the page itself, or its parent node.
    "self_resources": [b"<< /Type /Catalog /Pages 2 0 R >>",
                       b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       PAGE % b"3 0 R", stream(CONTENT)],
    "parent_resources": [b"<< /Type /Catalog /Pages 2 0 R >>",
                         b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                         PAGE % b"2 0 R", stream(CONTENT)],
    # A plain good page, the baseline.
    "plain": [b"<< /Type /Catalog /Pages 2 0 R >>",
              b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
              PAGE % b"<< >>", stream(CONTENT)],
    # A one-page watermark whose content is a large Flate stream (over the mapped-buffer size).
    "big_content": [b"<< /Type /Catalog /Pages 2 0 R >>",
                    b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                    PAGE % b"<< >>",
                    stream(zlib.compress(b"% padding\n" * 20000 + CONTENT), b"/Filter /FlateDecode")],
    # A watermark whose 256 KB of content decodes to 256 MiB.
    "bomb": [b"<< /Type /Catalog /Pages 2 0 R >>",
             b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             PAGE % b"<< >>", stream(bomb(256 << 20), b"/Filter /FlateDecode")],
}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in KINDS:
        sys.exit("usage: mini_pdf.py {%s} OUT.pdf" % ",".join(KINDS))
    write_pdf(sys.argv[2], KINDS[sys.argv[1]])
