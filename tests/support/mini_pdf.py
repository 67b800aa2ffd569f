#!/usr/bin/env python3
"""Writes small hand-made PDF files with a correct cross-reference table.

Usage: mini_pdf.py KIND OUT.pdf
Kinds are the hostile page trees and streams the robustness tests feed to zorvane."""
import hashlib
import sys
import zlib


def write_pdf(path, objects, root=b"/Root 1 0 R"):
    """objects: list of bytes bodies, object i+1 is objects[i]; `root` is the trailer's entry."""
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d %s >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, root, xref)
    with open(path, "wb") as f:
        f.write(out)


def write_xref_stream_pdf(path, objects, compressed):
    """As write_pdf, with a cross-reference stream that lists object n as the `index`-th of
    object stream `stm` when compressed[n] is (stm, index)."""
    out = bytearray(b"%PDF-1.5\n")
    rows = [b"\0\0\0\0\0\xff\xff"]
    for number, body in enumerate(objects, 1):
        if number in compressed:
            stm, index = compressed[number]
            rows.append(b"\2" + stm.to_bytes(4, "big") + index.to_bytes(2, "big"))
        else:
            rows.append(b"\1" + len(out).to_bytes(4, "big") + b"\0\0")
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    rows.append(b"\1" + xref.to_bytes(4, "big") + b"\0\0")
    size = len(objects) + 2
    out += b"%d 0 obj\n" % (size - 1) + stream(
        b"".join(rows), b"/Type /XRef /Size %d /W [1 4 2] /Root 1 0 R" % size)
    out += b"\nendobj\nstartxref\n%d\n%%%%EOF\n" % xref
    with open(path, "wb") as f:
        f.write(out)


def append_update(path, changed, freed=()):
    """Appends an update section to the file at `path`: `changed` maps numbers to new bodies;
    each number of `freed` is deleted (listed free with its generation raised to 1)."""
    with open(path, "rb") as f:
        out = bytearray(f.read())
    prev = int(out.rsplit(b"startxref", 1)[1].split()[0])
    rows = {}
    for number, body in changed.items():
        rows[number] = b"%010d 00000 n \n" % len(out)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    rows.update({number: b"0000000000 00001 f \n" for number in freed})
    xref = len(out)
    out += b"xref\n" + b"".join(b"%d 1\n" % n + rows[n] for n in sorted(rows))
    out += b"trailer\n<< /Size 5 /Root 1 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (prev, xref)
    with open(path, "wb") as f:
        f.write(out)


def stream(data, extra=b""):
    return b"<< /Length %d %s >>\nstream\n" % (len(data), extra) + data + b"\nendstream"


CONTENT = b"0 0 1 rg 10 10 50 50 re f"
PAGE = b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources %s >>"
def adler32_combine(first, second, second_length):
    """zlib's adler32_combine: the checksum of A+B from those of A and B."""
    base = 65521
    rem = second_length % base
    sum1 = first & 0xFFFF
    sum2 = (rem * sum1) % base
    sum1 += (second & 0xFFFF) + base - 1
    sum2 += ((first >> 16) & 0xFFFF) + ((second >> 16) & 0xFFFF) + base - rem
    sum1 = sum1 % base
    sum2 = sum2 % base
    return sum1 | (sum2 << 16)


def bomb(prefix, mebibytes, suffix):
    """A zlib stream of `prefix`, `mebibytes` MiB of spaces and `suffix`, made without compressing
    the spaces: after a full flush the compressed form of one MiB of spaces is always the same
    bytes, so it is repeated, and the checksum is combined rather than computed over gigabytes."""
    packer = zlib.compressobj(9)
    chunk = b" " * (1 << 20)
    head = packer.compress(prefix) + packer.flush(zlib.Z_FULL_FLUSH)
    piece = packer.compress(chunk) + packer.flush(zlib.Z_FULL_FLUSH)
    assert piece == packer.compress(chunk) + packer.flush(zlib.Z_FULL_FLUSH)
    tail = (packer.compress(suffix) + packer.flush())[:-4]
    check = zlib.adler32(prefix)
    piece_check = zlib.adler32(chunk)
    for _ in range(mebibytes):
        check = adler32_combine(check, piece_check, len(chunk))
    check = adler32_combine(check, zlib.adler32(suffix), len(suffix))
    return head + piece * mebibytes + tail + check.to_bytes(4, "big")


# 4 MB of content that inflates to just under 4 GiB: a blue square, spaces, and at the very end
# a text object left open (what follows must close it first).
# Lines whose coordinates no compressor can predict (taken from SHA-256 digests): about 150 KB
# that Flate keeps at about half.
SCATTERED_LINES = b"".join(
    b"%d %d m %d %d l S\n" % tuple(hashlib.sha256(b"%d" % n).digest()[:4]) for n in range(9000))
BOMB = bomb(CONTENT + b"\n", 4095, b" BT")


def shared_pages(fillers=300):
    """Page object 4 listed three times: as pages 1 and 3 of the root, and as the last page, under
    a node of its own whose "Rotate" the page must not take. `fillers` pages stand between, so
    that a walk has written page 1 out before it meets the last."""
    first = 6
    kids = b"4 0 R 5 0 R 4 0 R " + b"".join(b"%d 0 R " % (first + i) for i in range(fillers))
    count = 3 + fillers + 1
    content = first + fillers
    page = b"<< /Type /Page /Parent 2 0 R /Contents %d 0 R >>" % content
    return ([b"<< /Type /Catalog /Pages 2 0 R >>",
             b"<< /Type /Pages /Kids [%s3 0 R] /Count %d /MediaBox [0 0 200 200] >>" % (kids, count),
             b"<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 /Rotate 90 >>",
             page, page] + [page] * fillers + [stream(CONTENT)])


def signed(value=b"/V 8 0 R", certification=None):
    """A page with a signature field under a parent field that lists itself among its kids (a
    loop), beside a text field. `value` is the field's /V; `certification`, when given, is the
    signature's /TransformParams entries and the catalog names it as /Perms /DocMDP."""
    perms = b" /Perms << /DocMDP 8 0 R >>" if certification is not None else b""
    reference = (b" /Reference [<< /Type /SigRef /TransformMethod /DocMDP /DigestMethod /MD5"
                 b" /TransformParams << /Type /TransformParams%s /V /1.2 >> >>]" % certification
                 if certification is not None else b"")
    return [b"<< /Type /Catalog /Pages 2 0 R /AcroForm 5 0 R%s >>" % perms,
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            PAGE[:-3] % b"<< >>" + b" /Annots [7 0 R] >>",
            stream(CONTENT),
            b"<< /Fields [6 0 R 9 0 R] /SigFlags 3 >>",
            b"<< /T (Group) /Kids [7 0 R 6 0 R] >>",
            b"<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) /Parent 6 0 R %s"
            b" /Rect [0 0 0 0] /F 132 /P 3 0 R >>" % value,
            b"<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached"
            b" /ByteRange [0 10 20 10] /Contents <%s>%s >>" % (b"00" * 64, reference),
            b"<< /FT /Tx /T (Name) /V (text) >>"]


def shared_nested(pages):
    """`pages` pages that draw one content stream under two Flate layers, inflating to 64 MiB
    (the inner layer's 64 KB go through a mapped buffer): a file of about 1 KB."""
    data = zlib.compress(bomb(CONTENT + b"\n", 64, b""), 9)
    kids = b" ".join(b"%d 0 R" % (4 + i) for i in range(pages))
    return ([b"<< /Type /Catalog /Pages 2 0 R >>",
             b"<< /Type /Pages /Kids [%s] /Count %d /MediaBox [0 0 200 200] >>" % (kids, pages),
             stream(data, b"/Filter [/FlateDecode /FlateDecode]")] +
            [b"<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Resources << >> >>"] * pages)


def plain(catalog=b"<< /Type /Catalog /Pages 2 0 R >>",
          pages=b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"):
    return [catalog, pages, PAGE % b"<< >>", stream(CONTENT)]


# Damaged files that readers take: (objects, write_pdf's options). Each has its one page intact.
DAMAGED = {
    # A stray token in the page tree's root node; a number where the catalog has a key.
    "damaged_token": (plain(pages=b"<< /Type /Pages /Kids [3 0 R] ) /Count 1 >>"), {}),
    "damaged_key": (plain(catalog=b"<< /Type /Catalog 12 /Pages 2 0 R >>"), {}),
    # The root node listed in an object stream that is a page's content stream.
    "not_objstm": (plain(), {"compressed": {2: (4, 0)}}),
    # A trailer without "Root", naming a missing object or an integer, or one that cannot be
    # read as a trailer ("Size" a string).
    "no_root": (plain(), {"root": b""}),
    "root_missing": (plain(), {"root": b"/Root 9 0 R"}),
    "root_not_dict": (plain(), {"root": b"/Root 12"}),
    "bad_trailer": (plain(), {"root": b"/Root 1 0 R /Size (x)"}),
    # "Pages" naming the page itself, or nothing.
    "pages_is_page": (plain(catalog=b"<< /Type /Catalog /Pages 3 0 R >>"), {}),
    "pages_missing": (plain(catalog=b"<< /Type /Catalog /Pages 9 0 R >>"), {}),
    # A root that counts a page while its "Kids" hold none (empty, or a null) beside the page.
    "kids_empty": (plain(pages=b"<< /Type /Pages /Kids [] /Count 1 >>"), {}),
    "kids_null": (plain(pages=b"<< /Type /Pages /Kids [null] /Count 1 >>"), {}),
    # The page's content stream with a stray token in its dictionary: read in part, not lost.
    "content_token": (plain()[:3] + [stream(CONTENT, b") /Bad")], {}),
    # The same without any page: nothing to repair.
    "no_page_anywhere": ([b"<< /Type /Catalog /Pages 9 0 R >>", stream(CONTENT)], {}),
    # Its one page deleted by an update while the catalog names a missing tree, or while the
    # tree still lists it: what older sections hold is no page of the document.
    "page_deleted": (plain(), {"update": ({1: b"<< /Type /Catalog /Pages 9 0 R >>"}, (3,))}),
    "kid_deleted": (plain(), {"update": ({}, (3,))}),
}

KINDS = {
    # Signature fields: signed, not signed (no /V), certified with each DocMDP level and the
    # default one.
    "signed": signed(),
    "unsigned_field": signed(b""),
    "certified_p1": signed(certification=b" /P 1"),
    "certified_p2": signed(certification=b" /P 2"),
    "certified_p3": signed(certification=b" /P 3"),
    "certified_default": signed(certification=b""),
    # A page whose resources are the page itself, or its parent node.
    "self_resources": [b"<< /Type /Catalog /Pages 2 0 R >>",
                       b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       PAGE % b"3 0 R", stream(CONTENT)],
    "parent_resources": [b"<< /Type /Catalog /Pages 2 0 R >>",
                         b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                         PAGE % b"2 0 R", stream(CONTENT)],
    # Four pages under two nodes that each hold the resources their pages inherit: a walk in
    # page order passes over the first node before the last page is stamped.
    "node_resources": [b"<< /Type /Catalog /Pages 2 0 R >>",
                       b"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 4 /MediaBox [0 0 200 200] >>",
                       b"<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 /Resources << >> >>",
                       b"<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R] /Count 2 /Resources << >> >>",
                       b"<< /Type /Page /Parent 3 0 R /Contents 9 0 R >>",
                       b"<< /Type /Page /Parent 3 0 R /Contents 9 0 R >>",
                       b"<< /Type /Page /Parent 4 0 R /Contents 9 0 R >>",
                       b"<< /Type /Page /Parent 4 0 R /Contents 9 0 R >>",
                       stream(CONTENT)],
    "shared_pages": shared_pages(),
    # The bomb behind a PNG predictor whose rows would be 6.4 GB each.
    "predicted_bomb": [b"<< /Type /Catalog /Pages 2 0 R >>",
                       b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       PAGE % b"<< >>",
                       stream(BOMB, b"/Filter /FlateDecode /DecodeParms << /Predictor 12 "
                              b"/Columns 100000000 /Colors 32 /BitsPerComponent 16 >>")],
    # Two pages whose "Contents" is one array object.
    "shared_contents": [b"<< /Type /Catalog /Pages 2 0 R >>",
                        b"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 200 200] >>",
                        b"<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Resources << >> >>",
                        b"<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Resources << >> >>",
                        stream(CONTENT), b"[5 0 R]"],
    # A plain good page, the baseline.
    "plain": [b"<< /Type /Catalog /Pages 2 0 R >>",
              b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
              PAGE % b"<< >>", stream(CONTENT)],
    # A one-page watermark whose content is a large Flate stream (over the mapped-buffer size once
    # decoded) and a small one: joining them needs the decoded data in a mapped buffer.
    "big_content": [b"<< /Type /Catalog /Pages 2 0 R >>",
                    b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                    (PAGE % b"<< >>").replace(b"4 0 R", b"[4 0 R 5 0 R]"),
                    stream(zlib.compress(b"% padding\n" * 20000 + CONTENT), b"/Filter /FlateDecode"),
                    stream(b"0 0 0 rg 60 60 20 20 re f")],
    # As big_content, but what is stored of the first stream is past what stays in memory
    # (40960 bytes): reading it needs a temporary file.
    "big_stored_content": [b"<< /Type /Catalog /Pages 2 0 R >>",
                           b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                           (PAGE % b"<< >>").replace(b"4 0 R", b"[4 0 R 5 0 R]"),
                           stream(zlib.compress(SCATTERED_LINES + CONTENT), b"/Filter /FlateDecode"),
                           stream(b"0 0 0 rg 60 60 20 20 re f")],
    # A page whose one content stream is the bomb.
    "bomb": [b"<< /Type /Catalog /Pages 2 0 R >>",
             b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             PAGE % b"<< >>", stream(BOMB, b"/Filter /FlateDecode")],
    # The bomb as the second of two content streams, which must be joined decoded.
    "shared_nested_4": lambda: shared_nested(4),
    "shared_nested_12": lambda: shared_nested(12),
    "split_bomb": [b"<< /Type /Catalog /Pages 2 0 R >>",
                   b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                   (PAGE % b"<< >>").replace(b"4 0 R", b"[5 0 R 4 0 R]"),
                   stream(BOMB, b"/Filter /FlateDecode"), stream(b"q")],
}


# ---- page trees and headers that readers accept as they are ----------------------------------


def tree_page(parent):
    return b"<< /Type /Page /Parent %d 0 R /Contents 3 0 R >>" % parent


def tree(root_kids, count, nodes=(), pages=(2, 2, 2)):
    """Catalog 1, root node 2 (kids `root_kids`, `count`), content 3, then `nodes` and one page
    per entry of `pages` (the number of its parent)."""
    return ([b"<< /Type /Catalog /Pages 2 0 R >>",
             b"<< /Type /Pages /Kids [%s] /Count %s /MediaBox [0 0 200 200] /Resources << >> >>"
             % (root_kids, count), stream(CONTENT)] + list(nodes) +
            [tree_page(parent) for parent in pages])


def deep_tree(levels=10000, counted=False):
    """One page under `levels` nodes; half of them lack "Count" unless `counted`, and the
    resources the page inherits stand half way down."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", None, stream(CONTENT)]
    nodes = [2] + list(range(4, 4 + levels - 1))
    for i, number in enumerate(nodes):
        kid = nodes[i + 1] if i + 1 < levels else 4 + levels - 1
        body = b"<< /Type /Pages /Kids [%d 0 R]%s%s%s >>" % (
            kid, b" /Parent %d 0 R" % nodes[i - 1] if i else b" /MediaBox [0 0 200 200]",
            b" /Count 1" if counted or i % 2 == 0 else b"", b" /Resources << >>" if i == levels // 2 else b"")
        objects[1:2] = [body] if i == 0 else objects[1:2]
        if i:
            objects.append(body)
    return objects + [tree_page(nodes[-1])]


TREE_KINDS = {
    # "Count" more than the kids hold, far more, and fewer; an inner node's too.
    "count_over": tree(b"4 0 R 5 0 R 6 0 R", b"5", pages=(2, 2, 2)),
    "count_max": tree(b"4 0 R 5 0 R 6 0 R", b"2147483647"),
    "count_under": tree(b"4 0 R 5 0 R 6 0 R", b"1"),
    "count_inner": tree(b"4 0 R 7 0 R", b"3",
                        [b"<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 7 >>"],
                        (4, 4, 2)),
    # Node 4 (two pages) listed twice by the root.
    "node_twice": tree(b"4 0 R 4 0 R", b"4",
                       [b"<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>"], (4, 4)),
    # Node 4 lists the root again, and the root lists itself.
    "tree_loop": tree(b"4 0 R 2 0 R 5 0 R", b"3",
                      [b"<< /Type /Pages /Parent 2 0 R /Kids [6 0 R 2 0 R] /Count 2 >>"], (2, 4)),
    "deep_tree": deep_tree,
    "deep_counted": lambda: deep_tree(counted=True),
    # Content that ends inside marked content of an optional content group that is off.
    "open_hidden_content": [
        b"<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R] /D << /OFF [5 0 R] >> >> >>",
        b"<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
        stream(CONTENT + b" /OC /oc1 BDC 1 g 100 100 10 10 re f"),
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 3 0 R"
        b" /Resources << /Properties << /oc1 5 0 R >> >> >>",
        b"<< /Type /OCG /Name (hidden) >>"],
    # A page written into the root's "Kids" with no "Parent": its MediaBox is the root's.
    "direct_orphan": [b"<< /Type /Catalog /Pages 2 0 R >>",
                      b"<< /Type /Pages /Kids [<< /Type /Page /Contents 3 0 R >>] /Count 1"
                      b" /MediaBox [0 0 300 300] /Resources << >> >>", stream(CONTENT)],
    # A root whose one kid is itself: no page once the loop is cut.
    "loop_only": tree(b"2 0 R", b"1", (), ()),
}
KINDS.update(TREE_KINDS)
# Headers readers look past: no minor digit, damaged first bytes, after more than 1,024 bytes of
# junk, none at all; the catalog names the version.
HEADERS = {"header_nominor": b"%PDF-1.\n", "header_damaged": b"UPDF-1.4\n",
           "header_late": b"%junk\n" * 200 + b"%PDF-1.4\n", "header_none": b""}
for _kind in HEADERS:
    KINDS[_kind] = [b"<< /Type /Catalog /Pages 2 0 R /Version /1.6 >>"] + tree(b"4 0 R", b"1", (), (2,))[1:]

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in {**KINDS, **DAMAGED}:
        sys.exit("usage: mini_pdf.py {%s} OUT.pdf" % ",".join({**KINDS, **DAMAGED}))
    if sys.argv[1] in DAMAGED:
        objects, options = DAMAGED[sys.argv[1]]
        options = dict(options)
        update = options.pop("update", None)
        if "compressed" in options:
            write_xref_stream_pdf(sys.argv[2], objects, options["compressed"])
        else:
            write_pdf(sys.argv[2], objects, **options)
        if update:
            append_update(sys.argv[2], *update)
    else:
        objects = KINDS[sys.argv[1]]
        write_pdf(sys.argv[2], objects() if callable(objects) else objects)
    if sys.argv[1] in HEADERS:
        with open(sys.argv[2], "r+b") as f:
            data = f.read()
            f.seek(0)
            f.truncate()
            f.write(HEADERS[sys.argv[1]] + data[len(b"%PDF-1.4\n"):].replace(b"1 0 obj", b"0001 0 obj", 1))
