#!/usr/bin/env bash
# Stamps land on the page as readers show it: the CropBox clipped to the MediaBox, turned by the
# page's /Rotate. One table of cases: generated one-page files (Rotate 0/90/180/270 x CropBox
# inside/equal/absent, MediaBox away from the origin) and the rotated and cropped corpus files.
# For each case
#   - the number, at each of the eight locations with offsets, is where pdftotext -bbox (which
#     reports displayed coordinates) finds it, within 0.5 pt;
#   - the watermark renders upright and centred in the displayed page (pdftoppm), and with -fit
#     it covers the displayed page.
# Needs ZORVANE and SOURCE_DIR.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
command -v qpdf >/dev/null && command -v pdftotext >/dev/null && command -v pdftoppm >/dev/null &&
  command -v ps2pdf >/dev/null || { echo "qpdf, poppler-utils or ghostscript missing: skipped"; exit 77; }
make_workdir rotation
cd "$WORK" || exit 1
make_red_logo w.pdf || { echo "cannot make the watermark" >&2; exit 1; }
RED=255,0,0

# gen_page OUT ROTATE CROP: one blank page with MediaBox [40 25 652 817] and the CropBox named
# by CROP (inside, equal or absent); /Rotate is inherited from the page tree node.
gen_page() {
  python3 - "$@" <<'PY'
import sys
out, rotate, crop = sys.argv[1], sys.argv[2], sys.argv[3]
boxes = {"inside": "/CropBox [100 80 500 700]", "equal": "/CropBox [40 25 652 817]", "absent": ""}
objs = ["<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate %s >>" % rotate,
        "<< /Type /Page /Parent 2 0 R /MediaBox [40 25 652 817] %s /Contents 4 0 R >>" % boxes[crop],
        "<< /Length 0 >>\nstream\n\nendstream"]
data = b"%PDF-1.4\n"
offsets = []
for i, body in enumerate(objs):
    offsets.append(len(data))
    data += b"%d 0 obj\n%s\nendobj\n" % (i + 1, body.encode())
xref = len(data)
data += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
data += b"".join(b"%010d 00000 n \n" % o for o in offsets)
data += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
open(out, "wb").write(data)
PY
}

# display_size PDF PAGE: width and height of the page as shown (crop box, turned).
display_size() {
  pdfinfo -box -f "$2" -l "$2" "$1" | python3 -c '
import re, sys
t = sys.stdin.read()
box = lambda n: [float(v) for v in re.search(r"Page +\d+ +" + n + r": +(\S+) +(\S+) +(\S+) +(\S+)", t).groups()]
c = box("CropBox")
rot = int(re.search(r"Page +\d+ +rot: +(-?\d+)", t).group(1)) % 360
w, h = c[2] - c[0], c[3] - c[1]
print(*(("%.3f" % v) for v in ((h, w) if rot % 180 else (w, h))))'
}

# check_number NAME PDF PAGE LOCATION W H: the word "Zq<PAGE>Qz" sits at LOCATION of the
# displayed W x H page, moved by the offsets that run_case gives it.
check_number() {
  local name=$1 pdf=$2 page=$3 location=$4 width=$5 height=$6
  pdftotext -cropbox -bbox -f "$page" -l "$page" "$pdf" words.html 2>/dev/null
  python3 - "$location" "$width" "$height" "$page" <<'PY' || fail "$name: number at location $location"
import re, sys
location, W, H, page = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
mm = 2.834645711863446
dx = (-3 if location in (5, 6, 7) else 3) * mm
dy = (-4 if location in (3, 4, 5) else 4) * mm
size, desc = 9.0, -0.207
m = re.search(r'xMin="([\d.-]+)" yMin="([\d.-]+)" xMax="([\d.-]+)" yMax="([\d.-]+)">Zq' + page + 'Qz<', open("words.html").read())
if not m:
    sys.exit("number not found")
x0, y0, x1, y1 = map(float, m.groups())
checks = []
if location in (1, 2, 3): checks.append(("left", x0, dx))
elif location in (5, 6, 7): checks.append(("right", x1, W + dx))
else: checks.append(("centre", (x0 + x1) / 2, W / 2 + dx))
if location in (1, 7, 8): checks.append(("bottom", y1, H - dy))
elif location in (3, 4, 5): checks.append(("top", y0, -dy))
else: checks.append(("middle", (y0 + y1) / 2, H / 2 - dy - size * desc / 2))
bad = [f"{what} {got:.2f} != {want:.2f}" for what, got, want in checks if abs(got - want) > 0.5]
if bad:
    sys.exit("; ".join(bad))
PY
}

# check_watermark NAME IN OUT PAGE W H FIT: the 200x100 red watermark, upright, centred (or,
# with FIT, stretched over the whole displayed page); nothing else changed.
check_watermark() {
  local name=$1 in=$2 out=$3 page=$4 width=$5 height=$6 fit=$7 box
  pdftoppm -cropbox -r 72 -f "$page" -l "$page" -singlefile "$in" before 2>/dev/null
  pdftoppm -cropbox -r 72 -f "$page" -l "$page" -singlefile "$out" after 2>/dev/null
  if [ "$fit" = fit ]; then
    box="0 0 $(printf '%.0f %.0f' "$width" "$height")"
  else
    box=$(python3 -c "w, h = $width, $height; print(round((w - 200) / 2), round((h - 100) / 2), round((w + 200) / 2), round((h + 100) / 2))")
  fi
  # shellcheck disable=SC2086
  pixcheck stamp before.ppm after.ppm $box "$RED" over || fail "$name: watermark ($fit) not upright and centred at $box"
}

# run_case NAME PDF PAGE: every location, the watermark, and the watermark with -fit, judged
# on page PAGE (the watermark goes on that page alone: the form is made on it).
run_case() {
  local name=$1 pdf=$2 page=$3 size location
  size=$(display_size "$pdf" "$page")
  for location in 1 2 3 4 5 6 7 8; do
    # Offsets of 3 mm and 4 mm towards the inside of the page.
    local dx=3 dy=4
    case $location in 5 | 6 | 7) dx=-3 ;; esac
    case $location in 3 | 4 | 5) dy=-4 ;; esac
    if ! "$ZORVANE" "$pdf" out.pdf -nbp -nbf "n,Zq%sQz" -nbs "$location,$dx,$dy" -l run.log 2>/dev/null; then
      fail "$name: not stamped: $(grep -m1 Error run.log)"
      return
    fi
    # shellcheck disable=SC2086
    check_number "$name" out.pdf "$page" "$location" $size
  done
  for fit in centred fit; do
    local args=(-wm "w.pdf,$page,$page" -up)
    [ "$fit" = fit ] && args+=(-fit)
    "$ZORVANE" "$pdf" out.pdf "${args[@]}" -l run.log 2>/dev/null || { fail "$name: watermark run failed"; return; }
    qpdf --check out.pdf >/dev/null 2>&1 || [ $? -eq 3 ] || fail "$name: qpdf --check of the output"
    # shellcheck disable=SC2086
    check_watermark "$name" "$pdf" out.pdf "$page" $size "$fit"
  done
}

for rotate in 0 90 180 270; do
  for crop in inside equal absent; do
    gen_page "r$rotate-$crop.pdf" "$rotate" "$crop"
    run_case "Rotate $rotate, CropBox $crop" "r$rotate-$crop.pdf" 1
  done
done

CORPUS_FILES=$CORPUS/files
for case in handmade-xreftable-cropbox-6p.pdf:2 handmade-xreftable-rot-inherited-rotate-1p.pdf:1 \
  quartz-10.11-xreftable-rot-1p.pdf:1 pdftk2.02-xreftable-rot-1p.pdf:1 autocad2012-xreftable-rot-1p.pdf:1; do
  file=${case%:*}
  if [ -f "$CORPUS_FILES/$file" ]; then
    run_case "$file" "$CORPUS_FILES/$file" "${case#*:}"
  else
    echo "note: $file not in the corpus"
  fi
done
finish
