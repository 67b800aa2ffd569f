#!/usr/bin/env python3
"""Writes a PDF of N pages with a classic cross-reference table, for the page benchmarks.

  gen_pages.py N OUT.pdf

The page tree is balanced with 32 kids per node (as most producers build it). The root holds
the MediaBox that most pages inherit; every tenth page has a box of its own. Each page has its
own small content stream and shares one resource dictionary with a font.
"""
import sys

FANOUT = 32


def main():
    count = int(sys.argv[1])
    out_path = sys.argv[2]
    objects = {}  # number -> body (bytes)
    next_num = [1]

    def new_num():
        n = next_num[0]
        next_num[0] += 1
        return n

    catalog = new_num()
    resources = new_num()
    font = new_num()
    objects[font] = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    objects[resources] = b"<< /Font << /F1 %d 0 R >> /ProcSet [/PDF /Text] >>" % font

    # Leaves first, then the nodes above them level by level.
    level = []
    for i in range(count):
        page = new_num()
        content = new_num()
        data = b"BT /F1 24 Tf 72 720 Td (Page %d) Tj ET" % (i + 1)
        objects[content] = b"<< /Length %d >>\nstream\n%s\nendstream" % (len(data), data)
        box = b" /MediaBox [0 0 595 842]" if i % 10 == 0 else b""
        objects[page] = (b"<< /Type /Page /Parent @PARENT@ /Resources %d 0 R /Contents %d 0 R%s >>"
                         % (resources, content, box))
        level.append((page, 1))
    while len(level) > 1 or not objects[level[0][0]].startswith(b"<< /Type /Pages"):
        parents = []
        for start in range(0, len(level), FANOUT):
            group = level[start:start + FANOUT]
            node = new_num()
            kids = b" ".join(b"%d 0 R" % n for n, _ in group)
            total = sum(c for _, c in group)
            objects[node] = b"<< /Type /Pages /Parent @PARENT@ /Kids [%s] /Count %d >>" % (kids, total)
            for n, _ in group:
                objects[n] = objects[n].replace(b"@PARENT@", b"%d 0 R" % node)
            parents.append((node, total))
        level = parents
    root = level[0][0]
    objects[root] = objects[root].replace(b" /Parent @PARENT@", b"").replace(
        b"/Count", b"/MediaBox [0 0 612 792] /Count")
    objects[catalog] = b"<< /Type /Catalog /Pages %d 0 R >>" % root

    with open(out_path, "wb") as out:
        out.write(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
        offsets = {}
        pos = out.tell()
        for num in sorted(objects):
            offsets[num] = pos
            chunk = b"%d 0 obj\n%s\nendobj\n" % (num, objects[num])
            out.write(chunk)
            pos += len(chunk)
        xref = pos
        size = max(objects) + 1
        out.write(b"xref\n0 %d\n0000000000 65535 f \n" % size)
        out.write(b"".join(b"%010d 00000 n \n" % offsets[n] for n in range(1, size)))
        out.write(b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, catalog, xref))


if __name__ == "__main__":
    main()
