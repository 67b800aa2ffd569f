#!/usr/bin/env python3
"""Writes the hand-made minimal PDFs of writeback.sh into the current directory: one file per
row of its table, each a small one-page document with one oddity that other writers produce
(page trees without "Type", names and numbers that must read back the same, reused object
numbers, abbreviated filters, damaged headers and offsets, contents left open, odd boxes)."""
import base64
import zlib

FONT = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
HELLO = b"BT /F1 24 Tf 50 150 Td (Hello) Tj ET"


def stream(data, extra=b""):
    return b"<< /Length %d%s >>\nstream\n%s\nendstream" % (len(data), extra, data)


def page(box=b"/MediaBox [0 0 300 300]", kind=b"/Type /Page", font=b"/F1", contents=b"4 0 R",
         extra=b""):
    return (b"<< %s /Parent 2 0 R %s /Resources << /Font << %s 5 0 R >> >> /Contents %s%s >>"
            % (kind, box, font, contents, extra))


def objects(catalog=b"<< /Type /Catalog /Pages 2 0 R >>",
            pages=b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page_dict=None, content=HELLO):
    return {1: catalog, 2: pages, 3: page_dict or page(), 4: stream(content), 5: FONT}


def body(objs, start):
    """The objects written one after the other from offset `start`: (bytes, offsets)."""
    out, offsets = b"", {}
    for num in sorted(objs):
        offsets[num] = start + len(out)
        out += b"%d 0 obj\n%s\nendobj\n" % (num, objs[num])
    return out, offsets


def table(offsets, size):
    out = b"xref\n0 %d\n0000000000 65535 f \n" % size
    for num in range(1, size):
        out += (b"%010d 00000 n \n" % offsets[num]) if num in offsets else b"0000000000 00001 f \n"
    return out


def classic(objs, header=b"%PDF-1.4", prefix=b"", zero=(), trailer=b"/Root 1 0 R"):
    """A file with one cross-reference table; offsets count from the header, as when bytes are
    put in front of a finished file; the entries of `zero` say offset 0."""
    head = header + b"\n%\xe2\xe3\xcf\xd3\n"
    data, offsets = body(objs, len(head))
    for num in zero:
        offsets[num] = 0
    size = max(objs) + 1
    xref_at = len(head) + len(data)
    return (prefix + head + data + table(offsets, size) +
            b"trailer\n<< /Size %d %s >>\nstartxref\n%d\n%%%%EOF\n" % (size, trailer, xref_at))


def xref_stream(num, entries, size, start, extra=b""):
    """Cross-reference stream object `num` (uncompressed, W [1 4 2]) at `start`; entries maps a
    number to (type, field2, field3); the others are free."""
    rows = b"".join(bytes([t]) + a.to_bytes(4, "big") + b.to_bytes(2, "big")
                    for t, a, b in (entries.get(n, (0, 0, 0)) for n in range(size)))
    return b"%d 0 obj\n%s\nendobj\n" % (num, stream(
        rows, b" /Type /XRef /Size %d /W [1 4 2] /Root 1 0 R%s" % (size, extra)))


def reused_xref_stream_number():
    """Section 1 is read through cross-reference stream 6; the update that follows uses number 6
    for the page's new content (a classic table whose "Prev" names that stream)."""
    head = b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n"
    data, offsets = body(objects(), len(head))
    at = len(head) + len(data)
    entries = {0: (0, 0, 65535), 6: (1, at, 0)}
    entries.update({n: (1, offsets[n], 0) for n in offsets})
    first = head + data + xref_stream(6, entries, 7, at) + b"startxref\n%d\n%%%%EOF\n" % at
    update = {6: stream(b"BT /F1 24 Tf 50 150 Td (Reused) Tj ET"), 3: page(contents=b"6 0 R")}
    data2, offsets2 = body(update, len(first))
    xref_at = len(first) + len(data2)
    xref = b"xref\n0 1\n0000000000 65535 f \n3 1\n%010d 00000 n \n6 1\n%010d 00000 n \n" % (
        offsets2[3], offsets2[6])
    return (first + data2 + xref + b"trailer\n<< /Size 7 /Root 1 0 R /Prev %d >>\nstartxref\n%d\n"
            b"%%%%EOF\n" % (at, xref_at))


def run_length(data):
    out = b""
    for i in range(0, len(data), 128):
        chunk = data[i:i + 128]
        out += bytes([len(chunk) - 1]) + chunk
    return out + b"\x80"


ENCODERS = {
    b"Fl": lambda d: zlib.compress(d),
    b"AHx": lambda d: d.hex().encode() + b">",
    b"A85": lambda d: base64.a85encode(d) + b"~>",
    b"RL": run_length,
}


def object_stream(filter_name):
    """Catalog and page tree in object stream 7, encoded with an abbreviated filter name."""
    objs = objects()
    inner = [1, 2]
    parts = [objs.pop(n) for n in inner]
    index, offset = b"", 0
    for n, part in zip(inner, parts):
        index += b"%d %d " % (n, offset)
        offset += len(part) + 1
    payload = index + b"\n".join(parts) + b"\n"
    first = len(index)
    objs[7] = stream(ENCODERS[filter_name](payload),
                     b" /Type /ObjStm /N 2 /First %d /Filter /%s" % (first, filter_name))
    head = b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n"
    data, offsets = body(objs, len(head))
    at = len(head) + len(data)
    entries = {0: (0, 0, 65535), 1: (2, 7, 0), 2: (2, 7, 1), 8: (1, at, 0)}
    entries.update({n: (1, offsets[n], 0) for n in offsets})
    return head + data + xref_stream(8, entries, 9, at) + b"startxref\n%d\n%%%%EOF\n" % at


FILES = {
    # Page trees as readers find them.
    "notype": classic(objects(catalog=b"<< /Pages 2 0 R >>", pages=b"<< /Kids [3 0 R] /Count 1 >>",
                              page_dict=page(kind=b""))),
    "misspelt": classic(objects(catalog=b"<< /Type /Catalgo /Pages 2 0 R >>",
                                pages=b"<< /Type /Page /Kids [3 0 R] /Count 1 >>",
                                page_dict=page(kind=b"/Type /Pgae"))),
    "directkid": classic({1: b"<< /Type /Catalog /Pages 2 0 R >>",
                          2: b"<< /Type /Pages /Count 1 /Kids [%s] >>" % page(), 4: stream(HELLO),
                          5: FONT}),
    "nocount": classic(objects(pages=b"<< /Type /Pages /Kids [3 0 R] >>")),
    "nopages": classic(objects(pages=b"<< /Type /Pages /Kids [] /Count 0 >>")),
    "nocatalog": classic(objects(), trailer=b"/Root 9 0 R"),
    # Names and numbers written back with their value.
    "names": classic(objects(catalog=b"<< /Type /Catalog /Pages 2 0 R /E / /H /A\xffB >>",
                             page_dict=page(font=b"/F#1"), content=HELLO.replace(b"/F1", b"/F#1"))),
    "numbers": classic(objects(page_dict=page(box=b"/MediaBox [0 0 595.2 842.4]",
                                              extra=b" /Big 40000.5 /Small 0.1"))),
    # Objects that must not vanish, filters as writers abbreviate them.
    "reused": reused_xref_stream_number(),
    "objstm-Fl": object_stream(b"Fl"),
    "objstm-AHx": object_stream(b"AHx"),
    "objstm-A85": object_stream(b"A85"),
    "objstm-RL": object_stream(b"RL"),
    # Headers and offsets that need the repair path.
    "badheader": classic(objects(), header=b"%PDF-x.y"),
    # Contents that leave the graphics state open.
    "openq": classic(objects(content=b"q 0.1 0 0 0.1 0 0 cm q " + HELLO)),
    "openarray": classic(objects(content=HELLO + b" [ /oops")),
    "opendict": classic(objects(content=HELLO + b" /Tag << /A [1 (x)")),
    # Odd page boxes.
    "swappedbox": classic(objects(page_dict=page(box=b"/MediaBox [0 300 300 0]"))),
    "emptybox": classic(objects(page_dict=page(box=b"/MediaBox [0 0 0 0]"))),
    "nobox": classic(objects(page_dict=page(box=b""))),
}

if __name__ == "__main__":
    for name, data in FILES.items():
        with open(name + "-in.pdf", "wb") as f:
            f.write(data)
