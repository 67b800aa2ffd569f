#!/usr/bin/env bash
# Our DCT and CCITTFax decoding against poppler's on real files: every DCTDecode and
# CCITTFaxDecode image of the shared corpus (files whose manifest names one of them in
# image_filters), decoded by `quarn_decode FILE N G [PASSWORD]`, equals what `pdfimages`
# extracts of the same image object: fax images bit for bit (a stencil mask as poppler writes
# it, a gray image with poppler's PBM inversion), gray and RGB JPEG images within ±1 per
# sample. JPEGs whose colours pdfimages converts (CMYK, ICC profiles) are judged by their
# decoded size.
#
# Environment: SOURCE_DIR (the sources), BUILD_DIR (the build); QUARN_DECODE overrides the tool.
set -uo pipefail

SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}"
ZORVANE=${ZORVANE:-unused}
source "$SOURCE_DIR/tests/e2e/lib.sh"
TOOL="${QUARN_DECODE:-${BUILD_DIR:-$SOURCE_DIR/build}/tests/quarn_decode}"

need_corpus
need pdfimages python3
[ -x "$TOOL" ] || { echo "FAIL: $TOOL is not built"; exit 1; }
make_workdir image-filters

python3 - "$CORPUS" "$TOOL" "$WORK" <<'PY'
import csv, glob, os, subprocess, sys

corpus, tool, work = sys.argv[1:4]
judged = failed = skipped = 0

def fail(text):
    global failed
    failed += 1
    print("FAIL:", text)

def read_pnm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < (3 if data[:2] == b"P4" else 4):
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    return fields[0].decode(), int(fields[1]), int(fields[2]), data[pos + 1:]

def mask_padding(rows, width, height):
    row_bytes = (width + 7) // 8
    spare = row_bytes * 8 - width
    out = bytearray(rows)
    if spare:
        for y in range(height):
            out[y * row_bytes + row_bytes - 1] &= (0xFF << spare) & 0xFF
    return bytes(out)

for row in csv.DictReader(open(os.path.join(corpus, "MANIFEST.tsv"), newline=""), delimiter="\t"):
    filters = row["image_filters"].split(",")
    if "DCTDecode" not in filters and "CCITTFaxDecode" not in filters:
        continue
    path = os.path.join(corpus, "files", row["file"])
    if not os.path.isfile(path):
        continue
    password = row["password"]
    pw = ["-upw", password] if password else []
    listing = subprocess.run(["pdfimages", "-list", *pw, path], capture_output=True, text=True).stdout
    prefix = os.path.join(work, "img")
    for old in glob.glob(prefix + "-*"):
        os.remove(old)
    subprocess.run(["pdfimages", *pw, path, prefix], capture_output=True)
    seen = set()
    for line in listing.splitlines()[2:]:
        cols = line.split()
        # Inline images ("[inline]") are not objects that the tool can name.
        if len(cols) < 12 or cols[8] not in ("jpeg", "ccitt") or not cols[10].isdigit():
            continue
        num, kind, width, height, comps, obj, gen = int(cols[1]), cols[2], int(cols[3]), int(cols[4]), int(cols[6]), cols[10], cols[11]
        if (obj, gen) in seen:
            continue
        seen.add((obj, gen))
        what = f"{row['file']} object {obj} {gen} ({cols[8]}, {kind}, {width}x{height}x{comps})"
        result = subprocess.run([tool, path, obj, gen] + ([password] if password else []), capture_output=True)
        if result.returncode in (2, 3):
            # The document layer cannot open the file or load the object: not the filters' business.
            print("note: not loaded:", what, result.stderr.decode(errors="replace").replace("\n", " "))
            skipped += 1
            continue
        if result.returncode != 0:
            fail(f"{what}: {result.stderr.decode(errors='replace')}")
            continue
        ours = result.stdout
        extracted = glob.glob(f"{prefix}-{num:03d}.*")
        if not extracted:
            fail(f"{what}: pdfimages wrote nothing")
            continue
        magic, w, h, theirs = read_pnm(extracted[0])
        judged += 1
        if cols[8] == "ccitt":
            if kind != "stencil":
                theirs = bytes(255 - b for b in theirs)  # PBM: 1 is black; gray samples: 0 is black
            if (w, h) != (width, height) or mask_padding(ours, w, h) != mask_padding(theirs, w, h):
                fail(f"{what}: decoded bits differ from pdfimages ({len(ours)} and {len(theirs)} bytes)")
        elif comps == 4 or cols[5] not in ("gray", "rgb"):
            # pdfimages converts these colours (CMYK, ICC profiles): only the size can be judged.
            if len(ours) != width * height * comps:
                fail(f"{what}: {len(ours)} bytes decoded, {width * height * comps} expected")
        elif comps == 1 and magic == "P6" and len(ours) * 3 != len(theirs):
            fail(f"{what}: {len(ours)} bytes decoded, pdfimages has {len(theirs) // 3} gray samples")
        elif comps == 3 and len(ours) != len(theirs):
            fail(f"{what}: {len(ours)} bytes decoded, pdfimages has {len(theirs)}")
        else:
            if comps == 1 and magic == "P6":
                theirs = theirs[::3]  # pdfimages writes gray JPEG images as RGB
            worst = max((abs(a - b) for a, b in zip(ours, theirs)), default=0)
            if worst > 1:
                fail(f"{what}: samples differ from pdfimages by up to {worst}")

print(f"image filters: {judged} images judged, {failed} failed, {skipped} not loaded")
if judged == 0 and failed == 0:
    print("no corpus image could be judged: skipped")
    sys.exit(77)
sys.exit(1 if failed else 0)
PY
