#!/usr/bin/env bash
# One document whose pages differ in size: A4 portrait, A4 landscape, US Letter, A5, a page
# cropped by its CropBox and a page whose MediaBox is away from the origin. The watermark form is
# made once, on the first watermarked page, yet every page shows the watermark on its own visible
# page: centred at its natural size, or with -fit stretched over the whole visible page; under
# the content and with -up over it, in a full rewrite and in an incremental update. Judged on
# pdftoppm renders of the visible page (the CropBox).
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need ps2pdf qpdf pdftoppm pdfinfo python3
make_workdir watermark-page-sizes
cd "$WORK" || exit 1
make_red_logo w.pdf || { echo "cannot make the watermark" >&2; exit 1; }
RED=255,0,0

# Each page: name, MediaBox, CropBox (or none); the visible sizes are judged from pdfinfo.
SUPPORT="$SOURCE_DIR/tests/support" python3 - <<'PY'
import os, sys
sys.path.insert(0, os.environ["SUPPORT"])
from mini_pdf import write_pdf
pages = [("A4 portrait", "0 0 595 842", None),
         ("A4 portrait again", "0 0 595 842", None),
         ("A4 landscape", "0 0 842 595", None),
         ("US Letter", "0 0 612 792", None),
         ("A5", "0 0 420 595", None),
         ("cropped A4", "0 0 595 842", "100 150 400 550"),
         ("Letter away from the origin", "40 25 652 817", None)]
count = len(pages)
objs = ["<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join("%d 0 R" % (3 + i) for i in range(count)), count)]
for i, (_, media, crop) in enumerate(pages):
    cropbox = " /CropBox [%s]" % crop if crop else ""
    objs.append("<< /Type /Page /Parent 2 0 R /MediaBox [%s]%s /Resources << >> /Contents %d 0 R >>"
                % (media, cropbox, 3 + count + i))
for i in range(count):
    objs.append("<< /Length 0 >>\nstream\n\nendstream")
write_pdf("sizes.pdf", [body.encode() for body in objs])
open("names.txt", "w").write("\n".join(name for name, _, _ in pages) + "\n")
PY
PAGES=$(page_count sizes.pdf)
[ "$PAGES" = 7 ] || { echo "cannot make the document" >&2; exit 1; }
for p in $(seq 1 "$PAGES"); do
  pdftoppm -cropbox -r 72 -f "$p" -l "$p" -singlefile sizes.pdf "in-$p" 2>/dev/null
done

# visible_size PAGE: width and height of the CropBox of page PAGE.
visible_size() {
  pdfinfo -box -f "$1" -l "$1" sizes.pdf |
    awk '$3 == "CropBox:" { printf "%.0f %.0f\n", $6 - $4, $7 - $5 }'
}

# check_run NAME FIRST FIT MODE ARGS...: zorvane with ARGS stamps pages FIRST to the last; each
# shows the 200x100 watermark centred on its visible page (FIT: over all of it), pages before
# FIRST are unchanged.
check_run() {
  local name=$1 first=$2 fit=$3 mode=$4 p w h box
  shift 4
  rm -f "$name.pdf"
  if ! "$ZORVANE" sizes.pdf "$name.pdf" "$@" -l "$name.log" 2>/dev/null; then
    fail "$name: run failed: $(cat "$name.log")"
    return
  fi
  qpdf_ok "$name.pdf" "$name"
  for p in $(seq 1 "$PAGES"); do
    pdftoppm -cropbox -r 72 -f "$p" -l "$p" -singlefile "$name.pdf" "$name-$p" 2>/dev/null ||
      { fail "$name: page $p does not render"; continue; }
    if [ "$p" -lt "$first" ]; then
      pixcheck same "in-$p.ppm" "$name-$p.ppm" || fail "$name: page $p changed"
      continue
    fi
    read -r w h < <(visible_size "$p")
    if [ "$fit" = fit ]; then
      box="0 0 $w $h"
    else
      box="$(((w - 200) / 2)) $(((h - 100) / 2)) $(((w + 200) / 2)) $(((h + 100) / 2))"
    fi
    # shellcheck disable=SC2086
    pixcheck stamp "in-$p.ppm" "$name-$p.ppm" $box "$RED" "$mode" ||
      fail "$name: page $p ($(sed -n "${p}p" names.txt), ${w}x$h) not watermarked in $box"
  done
}

check_run centred 1 centred under -wm w.pdf
check_run fit-over 1 fit over -wm w.pdf -fit -up
# The form made on the landscape page; pages 1 and 2 are not stamped.
check_run from-landscape 3 centred under -wm w.pdf,3
check_run from-landscape-fit 3 fit over -wm w.pdf,3 -fit -up
# An incremental update draws the same stamps.
check_run incremental 1 centred under -wm w.pdf -inc
check_run incremental-fit 1 fit over -wm w.pdf -fit -up -inc

finish
