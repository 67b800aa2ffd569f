#!/usr/bin/env bash
# PNG and JPEG files as the watermark, judged by pdftoppm's pixels on a 400x400 page that is white
# but for a black square in its lower left quarter: an image's opaque part shows its colour and
# its transparent part lets the content through (alpha channel, palette with tRNS, interlaced
# grey with alpha); 16-bit, 1-bit grey and pHYs-sized images come out in their colour and size;
# a JPEG's stream in the output is the file's own bytes, sized by its JFIF density; -fit stretches
# an image over a landscape page and -wmo 0.3 blends it with what lies under it. A file that is
# not a whole image (cut short, or declaring 30000x30000 pixels) is refused with one line naming
# it, exit status 1, no output and the input untouched.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftoppm python3 cjpeg cmp
make_workdir imagewm
cd "$WORK" || exit 1

cat >doc.ps <<'PS'
%!PS
<< /PageSize [400 400] >> setpagedevice
0 setgray 0 0 200 200 rectfill
showpage
PS
cat >wide.ps <<'PS'
%!PS
<< /PageSize [600 300] >> setpagedevice
showpage
PS
{ ps_to_pdf doc.ps in.pdf && ps_to_pdf wide.ps wide.pdf; } || { echo "cannot make the pages" >&2; exit 1; }

# The images, each 200 pixels wide: where a half is transparent it is the left one.
python3 - <<'PY' || { echo "cannot make the images" >&2; exit 1; }
import struct, zlib

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

def png(name, width, height, depth, colour_type, pixel, extra=b"", interlaced=False):
    """pixel(x) gives the samples of column x, every row alike; below 8 bits, the byte that
    begins at column x (never interlaced)."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
              (0, 1, 1, 2)] if interlaced else [(0, 0, 1, 1)]
    raw = b""
    for x0, y0, dx, dy in passes:
        row = b"\0" + b"".join(pixel(x) for x in range(x0, width, dx * max(1, 8 // depth)))
        raw += row * len(range(y0, height, dy))
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, int(interlaced))
    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))

half = lambda left, right: (lambda x: left if x < 100 else right)
png("alpha.png", 200, 200, 8, 6, half(bytes([0, 0, 255, 0]), bytes([255, 0, 0, 255])))
png("red.png", 200, 200, 8, 2, lambda x: bytes([255, 0, 0]))
# Palette of two at 2 bits: entry 0 green, entry 1 made transparent by tRNS; four pixels a byte.
png("palette.png", 200, 200, 2, 3, half(b"\x55", b"\x00"),
    chunk(b"PLTE", bytes([0, 200, 0, 9, 9, 9])) + chunk(b"tRNS", bytes([255, 0])))
png("grey1.png", 200, 200, 1, 0, half(b"\xff", b"\x00"))  # eight pixels a byte
png("interlaced.png", 200, 200, 8, 4, half(bytes([128, 0]), bytes([128, 255])), interlaced=True)
# 16-bit RGB at 144 dots per inch (5669 per metre): 100 points square.
png("deep.png", 200, 200, 16, 2, lambda x: bytes([0, 0, 0x80, 0, 0xff, 0xff]),
    chunk(b"pHYs", struct.pack(">IIB", 5669, 5669, 1)))

# 30000 x 30000 grey pixels, all zero: a megabyte that inflates to 900 megabytes.
deflate = zlib.compressobj(9)
row = bytes(30001)
idat = b"".join(deflate.compress(row) for _ in range(30000)) + deflate.flush()
with open("huge.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 30000, 30000, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", idat) + chunk(b"IEND", b""))
data = open("alpha.png", "rb").read()
open("cut.png", "wb").write(data[:len(data) // 2])

with open("blue.ppm", "wb") as f:
    f.write(b"P6\n200 100\n255\n" + bytes([0, 0, 255]) * 20000)
PY
cjpeg -quality 95 blue.ppm >blue.jpg && cjpeg -quality 95 -progressive blue.ppm >dense.jpg ||
  { echo "cannot make the JPEG files" >&2; exit 1; }
# 144 dots per inch in the JFIF segment (units at offset 13, then the two densities).
python3 -c '
import sys
data = bytearray(open("dense.jpg", "rb").read())
data[13:18] = bytes([1, 0, 144, 0, 144])
open("dense.jpg", "wb").write(data)
data = open("blue.jpg", "rb").read()
open("cut.jpg", "wb").write(data[:-100])'
cp blue.jpg bluelogo  # an image needs no extension

# stamp NAME INPUT OPTIONS...: NAME.pdf, checked by qpdf and rendered to NAME.ppm.
stamp() {
  local name=$1 input=$2
  shift 2
  "$ZORVANE" "$input" "$name.pdf" "$@" -l "$name.log" || { fail "$name: $(cat "$name.log")"; return 1; }
  qpdf_ok "$name.pdf" "$name" && render "$name.pdf" 1 "$name.ppm" || fail "$name: pdftoppm failed"
}
# colour NAME X0 Y0 X1 Y1 R,G,B: most pixels of the box (origin top left) have the colour.
colour() {
  local why
  why=$(pixcheck colour "$1.ppm" "$2" "$3" "$4" "$5" "$6" 2>&1) || fail "$1: $why"
}
# The centred 200-point image covers 100..300 both ways: its left half over the black square
# (lower left), its right half over white.
through_and_opaque() {
  local name=$1 opaque=$2
  colour "$name" 105 205 195 295 0,0,0        # transparent: the black content shows
  colour "$name" 105 105 195 195 255,255,255  # transparent: the white page shows
  colour "$name" 205 105 295 295 "$opaque"    # opaque: the image's colour
}

stamp alpha in.pdf -wm alpha.png -up && through_and_opaque alpha 255,0,0
stamp palette in.pdf -wm palette.png -up && through_and_opaque palette 0,200,0
stamp interlaced in.pdf -wm interlaced.png -up && through_and_opaque interlaced 128,128,128
# 1-bit grey, opaque everywhere: its white half covers the black content.
if stamp grey1 in.pdf -wm grey1.png -up; then
  colour grey1 105 205 195 295 255,255,255
  colour grey1 205 105 295 295 0,0,0
fi
# 16-bit at 144 dpi: 100 points square, centred (150..250).
if stamp deep in.pdf -wm deep.png -up; then
  colour deep 155 155 245 245 0,128,255
  colour deep 105 105 145 145 255,255,255
fi

# A JPEG goes in as its own bytes, DCTDecode.
if stamp jpeg in.pdf -wm blue.jpg -up; then
  colour jpeg 105 155 295 245 0,0,255
  object=$(qpdf --json=2 --json-key=qpdf jpeg.pdf | python3 -c '
import json, sys
objects = json.load(sys.stdin)["qpdf"][1]
for key, value in objects.items():
    d = value.get("stream", {}).get("dict", {}) if isinstance(value, dict) else {}
    if d.get("/Subtype") == "/Image" and d.get("/Filter") == "/DCTDecode":
        print(key.split()[0].split(":")[1])')
  if [ -z "$object" ]; then
    fail "jpeg: no DCTDecode image in the output"
  else
    qpdf --show-object="$object" --raw-stream-data jpeg.pdf | cmp -s - blue.jpg ||
      fail "jpeg: the image stream is not the file's bytes"
  fi
fi
# Progressive, 144 dpi: 100 x 50 points, centred (150..250 across, 175..225 down).
if stamp dense in.pdf -wm dense.jpg -up; then
  colour dense 155 180 245 220 0,0,255
  colour dense 105 105 145 145 255,255,255
fi
stamp noextension in.pdf -wm bluelogo -up && colour noextension 105 155 295 245 0,0,255

# -fit stretches the image over a landscape page: its transparent half leaves the page white.
if stamp fit wide.pdf -wm alpha.png -fit; then
  colour fit 5 5 295 295 255,255,255
  colour fit 305 5 595 295 255,0,0
fi
# -wmo 0.3: between red and the colour under it, over white and over black.
if stamp faint in.pdf -wm red.png -up -wmo 0.3; then
  colour faint 205 105 295 195 255,178,178
  colour faint 105 205 195 295 77,0,0
fi

cp in.pdf pristine.pdf
# refused FILE WHY: one error line naming FILE and saying WHY, status 1, no output, input kept.
refused() {
  local file=$1 why=$2
  rm -f bad.pdf bad.log
  "$ZORVANE" in.pdf bad.pdf -wm "$file" -l bad.log
  local status=$?
  [ $status -eq 1 ] || fail "$file: status $status"
  [ "$(grep -c 'Error:' bad.log)" -eq 1 ] || fail "$file: not one error line: $(cat bad.log)"
  grep -q "^%\[ Error: cannot read image: $file: .*$why" bad.log || fail "$file: $(cat bad.log)"
  [ -e bad.pdf ] && fail "$file: output written"
  cmp -s in.pdf pristine.pdf || fail "$file: the input changed"
}
# Refused on its header: the 900 megabytes are never inflated.
refused huge.png "image too large: 30000 x 30000 pixels"
refused cut.png "ends early"
refused cut.jpg ""

finish
