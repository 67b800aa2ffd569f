#!/usr/bin/env python3
"""Compares page renders (binary PPM/PGM as written by pdftoppm) for the end-to-end tests.

  pixcheck.py same BEFORE AFTER
      AFTER shows the same picture as BEFORE (a few anti-aliased pixels may differ).

  pixcheck.py stamp BEFORE AFTER X0 Y0 X1 Y1 R,G,B under|over
      Inside the box [X0,X1) x [Y0,Y1) (pixels, origin top left) the stamp of colour R,G,B
      shows wherever BEFORE was blank; where BEFORE had content, that content stays on top
      (under) or is covered by the stamp (over). Outside the box nothing changed.

  pixcheck.py colour IMAGE X0 Y0 X1 Y1 R,G,B
      Most pixels of the box have the colour R,G,B.

Exit status 0 when the check holds, 1 with a reason on standard error when it does not.
"""
import sys

TOLERANCE = 48  # per channel, for anti-aliasing and colour conversion
EDGE = 3  # pixels next to a box edge are anti-aliased and not judged
STRAY_SHARE = 0.002  # share of pixels allowed to differ in an area that must be unchanged


def read_pnm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    pos += 1
    channels = {b"P6": 3, b"P5": 1}.get(magic)
    if channels is None or maxval != 255:
        sys.exit(f"{path}: not an 8-bit binary PPM/PGM")
    pixels = data[pos:pos + width * height * channels]
    if channels == 1:
        pixels = bytes(b for b in pixels for _ in range(3))
    return width, height, pixels


def pixel(image, x, y):
    width, _, pixels = image
    i = (y * width + x) * 3
    return pixels[i], pixels[i + 1], pixels[i + 2]


def near(a, b):
    return all(abs(p - q) <= TOLERANCE for p, q in zip(a, b))


def blank(p):
    return all(c >= 255 - TOLERANCE for c in p)


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def same_size(before, after):
    if before[:2] != after[:2]:
        fail(f"page size changed: {before[:2]} -> {after[:2]}")


def check_same(before, after, excluded=None):
    """Counts pixels that differ outside `excluded` (a box grown by EDGE)."""
    width, height, old_pixels = before
    new_pixels = after[2]
    if old_pixels == new_pixels:
        return
    differing = judged = 0
    for y in range(height):
        row = y * width * 3
        spans = [(0, width)]
        if excluded and excluded[1] - EDGE <= y < excluded[3] + EDGE:
            spans = [(0, max(0, min(width, excluded[0] - EDGE))), (max(0, min(width, excluded[2] + EDGE)), width)]
        for start, end in spans:
            if end <= start:
                continue
            judged += end - start
            a, b = row + start * 3, row + end * 3
            if old_pixels[a:b] == new_pixels[a:b]:
                continue
            for x in range(start, end):
                if not near(pixel(before, x, y), pixel(after, x, y)):
                    differing += 1
    if judged and differing > STRAY_SHARE * judged:
        where = "outside the stamp" if excluded else "on the page"
        fail(f"{differing} of {judged} pixels changed {where}")


def check_stamp(before, after, box, colour, mode):
    x0, y0, x1, y1 = box
    shown = covered = kept = wrong = 0
    for y in range(max(y0 + EDGE, 0), min(y1 - EDGE, before[1])):
        for x in range(max(x0 + EDGE, 0), min(x1 - EDGE, before[0])):
            old, new = pixel(before, x, y), pixel(after, x, y)
            if blank(old):
                if near(new, colour):
                    shown += 1
                else:
                    wrong += 1
            elif mode == "over":
                if near(new, colour):
                    covered += 1
                else:
                    wrong += 1
            else:
                if near(new, old):
                    kept += 1
                else:
                    wrong += 1
    total = shown + covered + kept + wrong
    if total == 0:
        fail("the stamp box lies outside the page")
    if wrong > STRAY_SHARE * total:
        fail(f"stamp box: {wrong} of {total} pixels wrong (stamp shown {shown}, content kept {kept}, covered {covered})")
    if shown == 0:
        fail("the stamp does not show anywhere in its box")
    check_same(before, after, box)


def check_colour(image, box, colour):
    x0, y0, x1, y1 = box
    hits = total = 0
    for y in range(max(y0, 0), min(y1, image[1])):
        for x in range(max(x0, 0), min(x1, image[0])):
            total += 1
            hits += near(pixel(image, x, y), colour)
    if total == 0 or hits < 0.9 * total:
        fail(f"box {box}: {hits} of {total} pixels have the colour {colour}")


def main(argv):
    if len(argv) < 2:
        fail(__doc__)
    command = argv[1]
    if command == "same" and len(argv) == 4:
        before, after = read_pnm(argv[2]), read_pnm(argv[3])
        same_size(before, after)
        check_same(before, after)
    elif command == "stamp" and len(argv) == 10:
        before, after = read_pnm(argv[2]), read_pnm(argv[3])
        same_size(before, after)
        box = tuple(int(v) for v in argv[4:8])
        colour = tuple(int(v) for v in argv[8].split(","))
        if argv[9] not in ("under", "over"):
            fail("mode must be under or over")
        check_stamp(before, after, box, colour, argv[9])
    elif command == "colour" and len(argv) == 8:
        image = read_pnm(argv[2])
        check_colour(image, tuple(int(v) for v in argv[3:7]), tuple(int(v) for v in argv[7].split(",")))
    else:
        fail(__doc__)


if __name__ == "__main__":
    main(sys.argv)
