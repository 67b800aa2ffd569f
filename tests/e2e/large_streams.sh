#!/usr/bin/env bash
# A page whose content stream holds 2.4 GB (more than 2^31 bytes): the rewritten file gives the
# stream its whole length, and every stream's "endstream" lies at its data start plus its
# "Length", as readers that trust Length find it. The input is a sparse file (the data a hole of
# zeros, which PDF reads as white space); the output is written whole, so the script needs root
# (CI's runs) and 6 GB of free space, and is skipped with the reason otherwise.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
need python3 qpdf pdfinfo

if [ "$(id -u)" -ne 0 ]; then
  echo "not running as root (the script writes a 2.4 GB file only on CI's machine): skipped" >&2
  exit 77
fi
make_workdir large-streams
cd "$WORK" || exit 1
free=$(df --output=avail -B1 "$WORK" | tail -1)
if [ "$free" -lt $((6 * 1000 * 1000 * 1000)) ]; then
  echo "only $free bytes free under $WORK, 6 GB needed: skipped" >&2
  exit 77
fi

LENGTH=2400000000
# sparse_pdf PDF: one page whose content stream holds LENGTH bytes: a blue square, then zeros.
sparse_pdf() {
  python3 - "$1" "$LENGTH" <<'PY'
import sys
path, length = sys.argv[1], int(sys.argv[2])
head = b"0 0 1 rg 72 72 144 144 re f\n"
out = open(path, "wb")
out.write(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
offsets = {}
def obj(num, body):
    offsets[num] = out.tell()
    out.write(b"%d 0 obj\n" % num + body + b"\nendobj\n")
obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
obj(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
obj(3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>")
offsets[4] = out.tell()
out.write(b"4 0 obj\n<< /Length %d >>\nstream\n" % length + head)
out.seek(length - len(head), 1)
out.write(b"\nendstream\nendobj\n")
xref = out.tell()
out.write(b"xref\n0 5\n0000000000 65535 f \n")
for n in range(1, 5):
    out.write(b"%010d 00000 n \n" % offsets[n])
out.write(b"trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % xref)
PY
}

# stream_lengths PDF: "number length" for every stream object listed by the file's last classic
# cross-reference table; fails when a stream's "endstream" does not follow its data start plus
# its Length (one end of line between them allowed), or the table does not lead to objects.
stream_lengths() {
  python3 - "$1" <<'PY'
import mmap, re, sys
with open(sys.argv[1], "rb") as f:
    data = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
tail = data[max(0, len(data) - 1024):]
start = int(re.findall(rb"startxref\s+(\d+)", tail)[-1])
if data[start:start + 4] != b"xref":
    sys.exit("startxref %d does not point at a table" % start)
at = start + 4
offsets = {}
while True:
    m = re.compile(rb"\s*(\d+) (\d+)[ \t]*(?:\r\n|\r|\n)").match(data, at)
    if not m:
        break
    first, count = int(m.group(1)), int(m.group(2))
    at = m.end()
    for i in range(count):
        line = data[at:at + 20]
        if len(line) != 20 or not re.fullmatch(rb"\d{10} \d{5} [nf](?: \r| \n|\r\n)", line):
            sys.exit("bad table line %r" % line)
        if line[17:18] == b"n":
            offsets[first + i] = int(line[:10])
        at += 20

def value(num):
    m = re.compile(rb"%d \d+ obj\s*(\d+)\s*endobj" % num).match(data, offsets[num])
    return int(m.group(1)) if m else None

for num, offset in sorted(offsets.items()):
    head = data[offset:offset + 4096]
    if not re.match(rb"%d \d+ obj" % num, head):
        sys.exit("object %d is not at offset %d" % (num, offset))
    m = re.search(rb"stream(\r\n|\n)", head)
    if not m or b"endobj" in head[:m.start()]:
        continue
    ref = re.search(rb"/Length\s+(\d+)\s+(\d+)\s+R", head[:m.start()])
    direct = re.search(rb"/Length\s+(\d+)", head[:m.start()])
    length = value(int(ref.group(1))) if ref else int(direct.group(1))
    end = offset + m.end() + length
    after = data[end:end + 11]
    if not re.match(rb"(\r\n|\r|\n)?endstream", after):
        sys.exit("object %d: Length %d, then %r rather than endstream" % (num, length, after))
    print(num, length)
PY
}

sparse_pdf big.pdf || { echo "cannot make big.pdf" >&2; exit 1; }
"$ZORVANE" big.pdf out.pdf -nbp -l "" >log.txt 2>&1
status=$?
rm -f big.pdf
if [ "$status" -ne 0 ]; then
  fail "zorvane -nbp exited with $status: $(tail -3 log.txt)"
elif ! lengths=$(stream_lengths out.pdf); then
  fail "the output's streams do not end at their Length"
else
  # The page's content stream keeps its data: the input's bytes and the end of line after them.
  big=$(echo "$lengths" | awk -v n="$LENGTH" '$2 >= n { print $2 }')
  [ "$big" = "$((LENGTH + 1))" ] || fail "content stream written with Length '${big:-none}' (lengths: $(echo $lengths))"
  [ "$(qpdf --show-npages out.pdf 2>&1)" = 1 ] || fail "qpdf does not find the one page"
  pdfinfo out.pdf >/dev/null 2>&1 || fail "pdfinfo cannot read the output"
fi
rm -f out.pdf
finish
