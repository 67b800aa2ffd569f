#!/usr/bin/env python3
"""Writes the hand-made one-page PDFs of writeback.sh (NAME-in.pdf), each with one oddity."""
import base64
import zlib

HEAD = b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n"
HELLO = b"BT /F1 24 Tf 50 150 Td (Hello) Tj ET"


def stream(data, extra=b""):
    return b"<< /Length %d%s >>\nstream\n%s\nendstream" % (len(data), extra, data)


def page(box=b"/MediaBox [0 0 300 300]", kind=b"/Type /Page", font=b"/F1", extra=b""):
    return (b"<< %s /Parent 2 0 R %s /Resources << /Font << %s 5 0 R >> >> /Contents 4 0 R%s >>"
            % (kind, box, font, extra))


def objects(catalog=b"<< /Type /Catalog /Pages 2 0 R >>", kids=b"[3 0 R] /Count 1",
            pages=b"/Type /Pages", page_dict=None, content=HELLO):
    return {1: catalog, 2: b"<< %s /Kids %s >>" % (pages, kids), 3: page_dict or page(),
            4: stream(content), 5: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}


def body(objs, start):
    out, offsets = b"", {}
    for num in sorted(objs):
        offsets[num] = start + len(out)
        out += b"%d 0 obj\n%s\nendobj\n" % (num, objs[num])
    return out, offsets


def classic(objs, header=HEAD, trailer=b"/Root 1 0 R", prev=b"", start=b""):
    """A section with a cross-reference table (appended to `start`, whose table is at `prev`)."""
    data, offsets = body(objs, len(start) + len(header))
    xref = b"xref\n0 1\n0000000000 65535 f \n" + b"".join(
        b"%d 1\n%010d 00000 n \n" % (n, offsets[n]) for n in sorted(offsets))
    at = len(start) + len(header) + len(data)
    return (start + header + data + xref + b"trailer\n<< /Size %d %s%s >>\nstartxref\n%d\n%%%%EOF\n"
            % (max(objs) + 1, trailer, prev, at))


def with_xref_stream(objs, num, compressed=()):
    """A section read through cross-reference stream `num` (W [1 4 2]); the objects of
    `compressed` lie in object stream 7 in that order."""
    data, offsets = body(objs, len(HEAD))
    at = len(HEAD) + len(data)
    entries = {n: (1, offsets[n], 0) for n in offsets}
    entries[num] = (1, at, 0)
    entries.update({n: (2, 7, i) for i, n in enumerate(compressed)})
    size = max(entries) + 1
    rows = b"".join(bytes([t]) + a.to_bytes(4, "big") + b.to_bytes(2, "big")
                    for t, a, b in (entries.get(n, (0, 0, 0)) for n in range(size)))
    xref = stream(rows, b" /Type /XRef /Size %d /W [1 4 2] /Root 1 0 R" % size)
    return HEAD + data + b"%d 0 obj\n%s\nendobj\nstartxref\n%d\n%%%%EOF\n" % (num, xref, at), at


def reused():
    """Number 6, the cross-reference stream of section 1, is the page's content in section 2."""
    first, at = with_xref_stream(objects(), 6)
    update = {6: stream(b"BT /F1 24 Tf 50 150 Td (Reused) Tj ET"),
              3: page().replace(b"4 0 R", b"6 0 R")}
    return classic(update, header=b"", prev=b" /Prev %d" % at, start=first)


ENCODE = {b"Fl": zlib.compress, b"AHx": lambda d: d.hex().encode() + b">",
          b"A85": lambda d: base64.a85encode(d) + b"~>"}


def object_stream(name):
    """Catalog and page tree in object stream 7, its filter named by an abbreviation."""
    objs = objects()
    parts = [objs.pop(1), objs.pop(2)]
    index = b"1 0 2 %d " % (len(parts[0]) + 1)
    objs[7] = stream(ENCODE[name](index + b"\n".join(parts)),
                     b" /Type /ObjStm /N 2 /First %d /Filter /%s" % (len(index), name))
    return with_xref_stream(objs, 8, compressed=(1, 2))[0]


FILES = {
    "notype": classic(objects(catalog=b"<< /Pages 2 0 R >>", pages=b"", page_dict=page(kind=b""))),
    "misspelt": classic(objects(catalog=b"<< /Type /Catalgo /Pages 2 0 R >>", pages=b"/Type /Page",
                                page_dict=page(kind=b"/Type /Pgae"))),
    "directkid": classic({n: o for n, o in objects(kids=b"[%s] /Count 1" % page()).items() if n != 3}),
    "nocount": classic(objects(kids=b"[3 0 R]")),
    "nopages": classic(objects(kids=b"[] /Count 0")),
    "nocatalog": classic(objects(), trailer=b"/Root 9 0 R"),
    "names": classic(objects(catalog=b"<< /Type /Catalog /Pages 2 0 R /E / /H /A\xffB >>",
                             page_dict=page(font=b"/F#1"), content=HELLO.replace(b"/F1", b"/F#1"))),
    "numbers": classic(objects(page_dict=page(box=b"/MediaBox [0 0 595.2 842.4]",
                                              extra=b" /Big 40000.5 /Small 0.1"))),
    "reused": reused(),
    "badheader": classic(objects(), header=b"%PDF-x.y\n"),
    "openq": classic(objects(content=b"q 0.1 0 0 0.1 0 0 cm q " + HELLO)),
    "openarray": classic(objects(content=HELLO + b" [ /oops")),
    "opendict": classic(objects(content=HELLO + b" /Tag << /A [1 (x)")),
    "swappedbox": classic(objects(page_dict=page(box=b"/MediaBox [0 300 300 0]"))),
    "emptybox": classic(objects(page_dict=page(box=b"/MediaBox [0 0 0 0]"))),
    "nobox": classic(objects(page_dict=page(box=b""))),
}
FILES.update({"objstm-" + n.decode(): object_stream(n) for n in ENCODE})

for name, data in FILES.items():
    with open(name + "-in.pdf", "wb") as f:
        f.write(data)
