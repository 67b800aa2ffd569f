#!/usr/bin/env python3
"""Judges page numbers stamped by zorvane, with poppler's pdftotext, pdfinfo and pdftoppm renders.

  numbering_check.py calibrate OUT.pdf PAGE TEXT SIZE X Y
      Finds TEXT on PAGE and prints how far pdftotext's word box reaches below and above the
      baseline at (X, Y), in thousandths of SIZE: "DESCENT ASCENT".

  numbering_check.py places OUT.pdf DESCENT ASCENT [options]
      Every page of the numbering range shows its number text where the placement rule puts it
      (within 0.5 pt); no page outside the range shows a number text of the run. Options:
        --first N --last N --initial N   the -nbp values (last 0: the last page)
        --location L --offset-x MM --offset-y MM   the -nbs values (offsets in millimetres)
        --default-offsets                no -nbs at all (0 and 5 mm)
        --spread                         -sp
        --style n|R|r --format FMT --font Helvetica|Courier --size S

  numbering_check.py box OUT.pdf PAGE TEXT
      Prints pdftotext's box of TEXT on PAGE as whole pixels at 72 dpi: "X0 Y0 X1 Y1".

  numbering_check.py dark BEFORE.ppm AFTER.ppm X0 Y0 X1 Y1
      The box has dark pixels in AFTER and none in BEFORE.

Exit status 0 when the check holds, 1 with the reasons on standard error when it does not.
"""
import argparse
import html
import re
import subprocess
import sys

TOLERANCE = 0.5  # points
MM = 2.834645711863446

# Advance widths in thousandths of the size: Helvetica's digits and blank, every Courier glyph.
HELVETICA = {**{d: 556 for d in "0123456789"}, " ": 278}
COURIER_WIDTH = 600
# The font descriptors' Ascent and Descent of the built-in metrics.
FONT_METRICS = {"Helvetica": (718, -207), "Courier": (629, -157)}


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout.decode("utf-8", "replace")


def words_by_page(pdf):
    """pdftotext -bbox: per page (1-based) its size and its words (text, xMin, yMin, xMax, yMax)."""
    text = run("pdftotext", "-bbox", pdf, "-")
    pages = []
    for page in re.finditer(r'<page width="([\d.]+)" height="([\d.]+)">(.*?)</page>', text, re.S):
        words = [(html.unescape(m.group(5)), float(m.group(1)), float(m.group(2)), float(m.group(3)), float(m.group(4)))
                 for m in re.finditer(r'<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*?)</word>',
                                      page.group(3))]
        pages.append((float(page.group(1)), float(page.group(2)), words))
    return pages


def boxes(pdf, count):
    """pdfinfo: per page its MediaBox and visible box (the CropBox clipped to the MediaBox) as
    (llx, lly, urx, ury), and its rotation."""
    text = run("pdfinfo", "-box", "-f", "1", "-l", str(count), pdf)
    result = {}
    for name, key in (("MediaBox", "media"), ("CropBox", "visible")):
        for m in re.finditer(r"Page +(\d+) +" + name + r": +([-\d.]+) +([-\d.]+) +([-\d.]+) +([-\d.]+)", text):
            result.setdefault(int(m.group(1)), {})[key] = tuple(float(v) for v in m.groups()[1:])
    for page in result.values():
        media, crop = page.get("media"), page.get("visible")
        if media and crop:
            page["visible"] = (max(media[0], crop[0]), max(media[1], crop[1]),
                               min(media[2], crop[2]), min(media[3], crop[3]))
    for m in re.finditer(r"Page +(\d+) +rot: +(\d+)", text):
        result.setdefault(int(m.group(1)), {})["rot"] = int(m.group(2)) % 360
    return result


def find_text(words, text):
    """The word boxes of the blank-separated tokens of `text`, as consecutive words; None."""
    tokens = text.split()
    for i in range(len(words) - len(tokens) + 1):
        if [w[0] for w in words[i:i + len(tokens)]] == tokens:
            return words[i:i + len(tokens)]
    return None


def roman(n, lower):
    if not 1 <= n <= 9999:
        return ""
    text = "M" * (n // 1000)
    text += ["", "C", "CC", "CCC", "CD", "D", "DC", "DCC", "DCCC", "CM"][n // 100 % 10]
    text += ["", "X", "XX", "XXX", "XL", "L", "LX", "LXX", "LXXX", "XC"][n // 10 % 10]
    text += ["", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX"][n % 10]
    return text.lower() if lower else text


def number_text(n, style, fmt):
    body = {"R": roman(n, False), "r": roman(n, True)}.get(style, str(n))
    return fmt.replace("%%", "\0").replace("%s", body).replace("\0", "%")


def text_width(text, font):
    if font == "Courier":
        return COURIER_WIDTH * len(text)
    return sum(HELVETICA[c] for c in text)


def expected_place(args, page, text, box):
    """The baseline start of the number on `page` in the page's coordinates, placed in `box`
    (the visible box)."""
    location, offset_x = args.location, args.offset_x * MM
    offset_y = args.offset_y * MM
    if args.default_offsets:
        location, offset_x, offset_y = 8, 0.0, 5 * MM
    if args.spread and (page - args.first) % 2 == 1:
        location = {1: 7, 2: 6, 3: 5, 5: 3, 6: 2, 7: 1}.get(location, location)
        offset_x = -offset_x
    width, height = box[2] - box[0], box[3] - box[1]
    s, w = args.size, text_width(text, args.font)
    ascent, descent = FONT_METRICS[args.font]
    x = {1: 0, 2: 0, 3: 0, 5: width - s * w / 1000, 6: width - s * w / 1000, 7: width - s * w / 1000}.get(
        location, width / 2 - w * s / 2000)
    y = {3: height - s * ascent / 1000, 4: height - s * ascent / 1000, 5: height - s * ascent / 1000,
         2: height / 2 - s * ascent / 2000, 6: height / 2 - s * ascent / 2000}.get(location, -s * descent / 1000)
    return box[0] + x + offset_x, box[1] + y + offset_y


def measured_baseline(word, media, size, descent):
    """The baseline start of a word box (pdftotext's coordinates run down from the MediaBox's top
    left corner; the box's bottom lies `descent` thousandths of the size below the baseline)."""
    _, x_min, _, _, y_max = word
    return media[0] + x_min, media[3] - y_max - descent * size / 1000


def calibrate(argv):
    pdf, page, text, size, x, y = argv[0], int(argv[1]), argv[2], float(argv[3]), float(argv[4]), float(argv[5])
    pages = words_by_page(pdf)
    media = boxes(pdf, page)[page]["media"]
    found = find_text(pages[page - 1][2], text)
    if not found:
        fail(f"calibrate: no '{text}' on page {page}")
    _, x_min, y_min, _, y_max = found[0]
    if abs(media[0] + x_min - x) > TOLERANCE:
        fail(f"calibrate: '{text}' starts at x {media[0] + x_min}, not {x}")
    bottom, top = media[3] - y_max, media[3] - y_min
    print(f"{(bottom - y) * 1000 / size:.3f} {(top - y) * 1000 / size:.3f}")


def places(argv):
    parser = argparse.ArgumentParser(prog="numbering_check.py places")
    parser.add_argument("pdf")
    parser.add_argument("descent", type=float)
    parser.add_argument("ascent", type=float)
    parser.add_argument("--first", type=int, default=1)
    parser.add_argument("--last", type=int, default=0)
    parser.add_argument("--initial", type=int, default=1)
    parser.add_argument("--location", type=int, default=8)
    parser.add_argument("--offset-x", type=float, default=0.0)
    parser.add_argument("--offset-y", type=float, default=0.0)
    parser.add_argument("--default-offsets", action="store_true")
    parser.add_argument("--spread", action="store_true")
    parser.add_argument("--style", default="n")
    parser.add_argument("--format", default="%s")
    parser.add_argument("--font", default="Helvetica")
    parser.add_argument("--size", type=float, default=9.0)
    args = parser.parse_args(argv)

    pages = words_by_page(args.pdf)
    info = boxes(args.pdf, len(pages))
    last = len(pages) if args.last == 0 else min(max(args.last, 0), len(pages))
    run_texts = {number_text(args.initial + k, args.style, args.format) for k in range(0, max(last - args.first + 1, 1))}
    problems = []
    for page in range(1, len(pages) + 1):
        page_width, page_height, words = pages[page - 1]
        media = info.get(page, {}).get("media", (0, 0, page_width, page_height))
        rotated = info.get(page, {}).get("rot", 0) != 0
        if not args.first <= page <= last:
            stray = [w for w in words if w[0] in run_texts]
            if stray:
                problems.append(f"page {page} (outside the range) shows {stray[0][0]!r}")
            continue
        text = number_text(args.initial + page - args.first, args.style, args.format)
        if rotated:
            problems.append(f"page {page} is rotated: pdftotext's boxes are not in page space")
            continue
        found = find_text(words, text)
        if not found:
            problems.append(f"page {page}: no {text!r} among {[w[0] for w in words][:12]}")
            continue
        want_x, want_y = expected_place(args, page, text, info.get(page, {}).get("visible", media))
        got_x, got_y = measured_baseline(found[0], media, args.size, args.descent)
        if abs(got_x - want_x) > TOLERANCE or abs(got_y - want_y) > TOLERANCE:
            # A document may show the same text elsewhere: look at every occurrence.
            candidates = [measured_baseline(w, media, args.size, args.descent)
                          for w in words if w[0] == text.split()[0]]
            if not any(abs(cx - want_x) <= TOLERANCE and abs(cy - want_y) <= TOLERANCE for cx, cy in candidates):
                problems.append(f"page {page}: {text!r} at ({got_x:.3f}, {got_y:.3f}), expected ({want_x:.3f}, {want_y:.3f})")
    if problems:
        fail("; ".join(problems[:6]) + (f" (and {len(problems) - 6} more)" if len(problems) > 6 else ""))


def box(argv):
    pdf, page, text = argv[0], int(argv[1]), argv[2]
    found = find_text(words_by_page(pdf)[page - 1][2], text)
    if not found:
        fail(f"box: no '{text}' on page {page}")
    x0, y0 = min(w[1] for w in found), min(w[2] for w in found)
    x1, y1 = max(w[3] for w in found), max(w[4] for w in found)
    print(int(x0), int(y0), int(x1 + 0.999), int(y1 + 0.999))


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b"P6":
        fail(f"{path}: not a binary PPM")
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def dark_pixels(image, x0, y0, x1, y1):
    width, height, pixels = image
    count = 0
    for y in range(max(y0, 0), min(y1, height)):
        for x in range(max(x0, 0), min(x1, width)):
            i = (y * width + x) * 3
            if max(pixels[i:i + 3]) < 128:
                count += 1
    return count


def dark(argv):
    before, after = read_ppm(argv[0]), read_ppm(argv[1])
    x0, y0, x1, y1 = (int(v) for v in argv[2:6])
    old, new = dark_pixels(before, x0, y0, x1, y1), dark_pixels(after, x0, y0, x1, y1)
    if old != 0:
        fail(f"box {x0} {y0} {x1} {y1} already had {old} dark pixels")
    if new < 3:
        fail(f"box {x0} {y0} {x1} {y1} shows no number ({new} dark pixels)")


def main(argv):
    commands = {"calibrate": calibrate, "places": places, "box": box, "dark": dark}
    if len(argv) < 2 or argv[1] not in commands:
        fail(__doc__)
    commands[argv[1]](argv[2:])


if __name__ == "__main__":
    main(sys.argv)
