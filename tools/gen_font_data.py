#!/usr/bin/env python3
"""Writes the built-in font tables of libquarn (pdf/font/data/*.inc) from public data files.

Inputs (all read as data; nothing of them is copied but the facts):
  * the Adobe Core14 AFM files (Courier.afm ... ZapfDingbats.afm), for example the js/data
    folder of the npm package "pdfkit";
  * the encoding tables of Debian's python3-reportlab (reportlab/pdfbase/_fontdata_enc_*.py);
  * the CID width arrays of HeiseiMin-W3 and HeiseiKakuGo-W5 (reportlab/pdfbase/_cidfontdata.py).

The files are parsed as text (the Python modules are read with ast, never imported), so the
generator needs nothing but python3. Its outputs are committed; the build never runs it.

Usage:
  tools/gen_font_data.py [--afm-dir DIR] [--reportlab-dir DIR] [--out-dir DIR]
"""

import argparse
import ast
import os
import sys

STANDARD14 = [
    "Courier", "Courier-Bold", "Courier-BoldOblique", "Courier-Oblique",
    "Helvetica", "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
    "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic",
    "Symbol", "ZapfDingbats",
]

# The header values the library reports for its built-in fonts. They win over the values in the
# AFM files where the two differ (for example the Courier bounding boxes, Times-Italic's italic
# angle and the ZapfDingbats version): the library answers as its earlier releases did.
# Columns: Weight, FontBBox, Version, EncodingScheme, CapHeight, XHeight, Ascender, Descender,
#          StdHW, StdVW, UnderlinePosition, UnderlineThickness, ItalicAngle.
HEADERS = {
    "Courier": ("Medium", (-23, -250, 623, 805), "003.000", "AdobeStandardEncoding",
                562, 426, 629, -157, 51, 51, -100, 50, 0),
    "Courier-Bold": ("Bold", (-113, -250, 749, 801), "003.000", "AdobeStandardEncoding",
                     562, 439, 629, -157, 84, 106, -100, 50, 0),
    "Courier-BoldOblique": ("Bold", (-57, -250, 869, 801), "003.000", "AdobeStandardEncoding",
                            562, 439, 629, -157, 84, 106, -100, 50, -12),
    "Courier-Oblique": ("Medium", (-27, -250, 742, 805), "003.000", "AdobeStandardEncoding",
                        562, 426, 629, -157, 51, 51, -100, 50, -12),
    "Helvetica": ("Medium", (-166, -225, 1000, 931), "002.000", "AdobeStandardEncoding",
                  718, 523, 718, -207, 76, 88, -100, 50, 0),
    "Helvetica-Bold": ("Bold", (-170, -228, 1003, 962), "002.000", "AdobeStandardEncoding",
                       718, 532, 718, -207, 118, 140, -100, 50, 0),
    "Helvetica-BoldOblique": ("Bold", (-174, -228, 1114, 962), "002.000",
                              "AdobeStandardEncoding", 718, 532, 718, -207, 118, 140, -100, 50,
                              -12),
    "Helvetica-Oblique": ("Medium", (-170, -225, 1116, 931), "002.000", "AdobeStandardEncoding",
                          718, 523, 718, -207, 76, 88, -100, 50, -12),
    "Times-Roman": ("Roman", (-168, -218, 1000, 898), "002.000", "AdobeStandardEncoding",
                    662, 450, 683, -217, 28, 84, -100, 50, 0),
    "Times-Bold": ("Bold", (-168, -218, 1000, 935), "002.000", "AdobeStandardEncoding",
                   676, 461, 683, -217, 44, 139, -100, 50, 0),
    "Times-Italic": ("Medium", (-169, -217, 1010, 883), "002.000", "AdobeStandardEncoding",
                     653, 441, 683, -217, 32, 76, -100, 50, 0),
    "Times-BoldItalic": ("Bold", (-200, -218, 996, 921), "002.000", "AdobeStandardEncoding",
                         669, 462, 683, -217, 42, 121, -100, 50, -15),
    "Symbol": ("Medium", (-180, -293, 1090, 1010), "001.008", "FontSpecific",
               0, 0, 0, 0, 92, 85, -100, 50, 0),
    "ZapfDingbats": ("Medium", (-1, -143, 981, 820), "001.004", "FontSpecific",
                     0, 0, 0, 0, 0, 0, -98, 54, 0),
    "HeiseiMin-W3": ("W3", (-123, -257, 1001, 910), "3.010", "",
                     910, 0, 910, -257, 0, 0, -100, 50, 0),
    "HeiseiKakuGo-W5": ("W5", (-92, -250, 1010, 922), "3.010", "",
                        922, 0, 922, -250, 0, 0, -100, 50, 0),
}

FULL_NAMES = {
    "Courier-Bold": "Courier Bold", "Courier-BoldOblique": "Courier Bold Oblique",
    "Courier-Oblique": "Courier Oblique", "Helvetica-Bold": "Helvetica Bold",
    "Helvetica-BoldOblique": "Helvetica Bold Oblique", "Helvetica-Oblique": "Helvetica Oblique",
    "Times-Roman": "Times Roman", "Times-Bold": "Times Bold", "Times-Italic": "Times Italic",
    "Times-BoldItalic": "Times Bold Italic", "ZapfDingbats": "ITC Zapf Dingbats",
}


def family_name(font):
    if font == "ZapfDingbats":
        return "ITC Zapf Dingbats"
    return font.split("-")[0]


CID_FONTS = ["HeiseiMin-W3", "HeiseiKakuGo-W5"]
CID_COUNT = 8720  # Adobe-Japan1-2: CIDs 0 to 8719
CID_CHARACTER_SET = "Adobe-Japan1-2"

# Encoding name -> (reportlab module, variable, expected entry count).
ENCODINGS = [
    ("StandardEncoding", "_fontdata_enc_standard.py", "StandardEncoding", 149),
    ("WinAnsiEncoding", "_fontdata_enc_winansi.py", "WinAnsiEncoding", 224),
    ("MacRomanEncoding", "_fontdata_enc_macroman.py", "MacRomanEncoding", 208),
    ("MacExpertEncoding", "_fontdata_enc_macexpert.py", "MacExpertEncoding", 165),
    ("PDFDocEncoding", "_fontdata_enc_pdfdoc.py", "PDFDocEncoding", 229),
]

HEADER_COMMENT = ("// Generated by tools/gen_font_data.py from public font data; do not edit.\n"
                  "// Regenerate with: python3 tools/gen_font_data.py --help\n")


def fail(message):
    sys.stderr.write("gen_font_data: %s\n" % message)
    sys.exit(1)


def warn(message):
    sys.stderr.write("gen_font_data: note: %s\n" % message)


# ---- AFM files --------------------------------------------------------------------------------

def parse_afm(path):
    """Returns (header dict, glyph list) of one AFM file; glyphs are (name, code, wx, bbox)."""
    header = {}
    glyphs = []
    in_metrics = False
    with open(path, "r", encoding="latin-1") as f:
        for raw in f:
            line = raw.strip()
            if not line:
                continue
            key, _, rest = line.partition(" ")
            if in_metrics:
                if key == "EndCharMetrics":
                    in_metrics = False
                    continue
                glyphs.append(parse_char_metric(line, path))
            elif key == "StartCharMetrics":
                in_metrics = True
            else:
                header[key] = rest.strip()
    if not glyphs:
        fail("%s: no character metrics" % path)
    return header, glyphs


def parse_char_metric(line, path):
    code, wx, name, bbox = -1, 0, None, (0, 0, 0, 0)
    for part in line.split(";"):
        tokens = part.split()
        if not tokens:
            continue
        if tokens[0] == "C":
            code = int(tokens[1])
        elif tokens[0] == "WX":
            wx = int(float(tokens[1]))
        elif tokens[0] == "N":
            name = tokens[1]
        elif tokens[0] == "B":
            bbox = tuple(int(float(t)) for t in tokens[1:5])
    if name is None:
        fail("%s: metric line without a name: %s" % (path, line))
    return name, code, wx, bbox


def check_header_against_file(font, afm_header):
    """Notes where the library's header values differ from the file's (the library's win)."""
    h = HEADERS[font]
    pairs = [("Weight", h[0]), ("FontBBox", " ".join(str(v) for v in h[1])), ("Version", h[2]),
             ("EncodingScheme", h[3])]
    numeric_keys = ["CapHeight", "XHeight", "Ascender", "Descender", "StdHW", "StdVW",
                    "UnderlinePosition", "UnderlineThickness", "ItalicAngle"]
    pairs += [(key, str(value)) for key, value in zip(numeric_keys, h[4:13])]
    for key, ours in pairs:
        # A numeric key the file lacks reads as 0.
        theirs = afm_header.get(key, "0" if key in numeric_keys else "")
        if theirs.split() != ours.split():
            warn("%s %s: file says '%s', library keeps '%s'" % (font, key, theirs, ours))


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def ident(font):
    return font.replace("-", "_")


def header_initializer(font, full_name, family, char_set, characters, fixed_pitch, cid, glyphs,
                       glyph_count):
    """One BuiltInFontHeader initializer. The CID-keyed fonts are base fonts; the others are not
    marked so (their AFM files do not say it)."""
    h = HEADERS[font]
    fields = [
        c_string(font), c_string(full_name), c_string(family), c_string(h[0]),
        "{%d, %d, %d, %d}" % h[1], c_string(h[2]), c_string(h[3]), c_string(char_set),
        str(characters), "true" if cid else "false", "true" if fixed_pitch else "false",
        "true" if cid else "false",
        "%d, %d, %d, %d, %d, %d, %d, %d, %d" % h[4:13],
        glyphs, str(glyph_count),
    ]
    return "{" + ", ".join(fields) + "}"


def write_standard14(afm_dir, out_dir):
    parts = [HEADER_COMMENT,
             "// The standard 14 fonts: header values and one record per glyph\n"
             "// (name, code, WX, bounding box).\n\n"]
    table = []
    for font in STANDARD14:
        path = os.path.join(afm_dir, font + ".afm")
        if not os.path.isfile(path):
            fail("missing AFM file %s" % path)
        afm_header, glyphs = parse_afm(path)
        if afm_header.get("FontName") != font:
            fail("%s: FontName is %s" % (path, afm_header.get("FontName")))
        check_header_against_file(font, afm_header)
        parts.append("static const BuiltInGlyph kGlyphs_%s[] = {\n" % ident(font))
        for name, code, wx, bbox in glyphs:
            parts.append("    {%s, %d, %d, {%d, %d, %d, %d}},\n" % ((c_string(name), code, wx) + bbox))
        parts.append("};\n\n")
        fixed = afm_header.get("IsFixedPitch", "false") == "true"
        table.append("    %s,\n" % header_initializer(
            font, FULL_NAMES.get(font, font), family_name(font),
            afm_header.get("CharacterSet", ""), 0, fixed, False,
            "kGlyphs_%s" % ident(font), len(glyphs)))
        sys.stderr.write("gen_font_data: %s: %d glyphs\n" % (font, len(glyphs)))
    parts.append("static const BuiltInFontHeader kStandard14Fonts[] = {\n")
    parts.extend(table)
    parts.append("};\n")
    write_file(os.path.join(out_dir, "standard14_metrics.inc"), "".join(parts))


# ---- reportlab data ---------------------------------------------------------------------------

def read_python_assignments(path):
    """The top-level literal assignments of a Python source file, evaluated as literals only."""
    with open(path, "r", encoding="utf-8") as f:
        tree = ast.parse(f.read(), path)
    values = {}
    for node in tree.body:
        if isinstance(node, ast.Assign) and len(node.targets) == 1:
            target = node.targets[0]
            if isinstance(target, ast.Name):
                try:
                    values[target.id] = ast.literal_eval(node.value)
                except ValueError:
                    pass
    return values


def write_encodings(reportlab_dir, out_dir):
    parts = [HEADER_COMMENT,
             "// The five built-in encodings as (code, glyph name) pairs from the highest code to\n"
             "// the lowest, the order in which they are added (a name with several codes then\n"
             "// maps back to its lowest code).\n\n"]
    table = []
    for enc_name, module, variable, expected in ENCODINGS:
        values = read_python_assignments(os.path.join(reportlab_dir, module))
        if variable not in values:
            fail("%s: no %s" % (module, variable))
        names = values[variable]
        if len(names) != 256:
            fail("%s: %d codes" % (variable, len(names)))
        pairs = [(code, name) for code, name in enumerate(names) if name]
        if len(pairs) != expected:
            warn("%s has %d entries, %d expected" % (enc_name, len(pairs), expected))
        parts.append("static const BuiltInEncodingEntry kEncoding_%s[] = {\n" % enc_name)
        for code, name in reversed(pairs):
            parts.append("    {%d, %s},\n" % (code, c_string(name)))
        parts.append("};\n\n")
        table.append("    {%s, kEncoding_%s, %d},\n" % (c_string(enc_name), enc_name, len(pairs)))
        sys.stderr.write("gen_font_data: %s: %d entries\n" % (enc_name, len(pairs)))
    parts.append("static const BuiltInEncoding kBuiltInEncodings[] = {\n")
    parts.extend(table)
    parts.append("};\n")
    write_file(os.path.join(out_dir, "encodings.inc"), "".join(parts))


def find_dict_literal(tree, font):
    """The dictionary literal assigned to CIDFontInfo['<font>'] in _cidfontdata.py."""
    for node in tree.body:
        if not (isinstance(node, ast.Assign) and len(node.targets) == 1):
            continue
        target = node.targets[0]
        if (isinstance(target, ast.Subscript) and isinstance(target.value, ast.Name)
                and target.value.id == "CIDFontInfo"):
            key = target.slice
            if isinstance(key, ast.Constant) and key.value == font:
                return node.value
    return None


def descendant_widths(info_node, font):
    """The DW and W entries of the first descendant font, evaluated from literals."""
    for key, value in zip(info_node.keys, info_node.values):
        if isinstance(key, ast.Constant) and key.value == "DescendantFonts":
            descendant = value.elts[0]
            found = {}
            for k, v in zip(descendant.keys, descendant.values):
                if isinstance(k, ast.Constant) and k.value in ("DW", "W"):
                    found[k.value] = ast.literal_eval(v)
            if "DW" in found and "W" in found:
                return found["DW"], list(found["W"])
    fail("_cidfontdata.py: no DW/W for %s" % font)
    return None


def expand_w_array(default_width, w):
    """Per-CID widths from a PDF "W" array ('c [w1 w2 ...]' and 'c_first c_last w' entries),
    and the set of CIDs the array names."""
    widths = [default_width] * CID_COUNT
    named = set()
    i = 0
    while i < len(w):
        first = w[i]
        if i + 1 < len(w) and isinstance(w[i + 1], (list, tuple)):
            for offset, width in enumerate(w[i + 1]):
                widths[first + offset] = width
                named.add(first + offset)
            i += 2
        elif i + 2 < len(w):
            for cid in range(first, w[i + 1] + 1):
                widths[cid] = w[i + 2]
                named.add(cid)
            i += 3
        else:
            fail("malformed W array near index %d" % i)
    return widths, named


# CIDs 231-632 of Adobe-Japan1 are the half-width forms (half-width Latin, digits among them at
# 247-256, and half-width katakana): every font of the collection sets them half an em wide.
# reportlab's table for HeiseiMin-W3 names only some of them, so the rest would measure a full
# em; the generator fills the ones the source leaves out.
HALF_WIDTH_CIDS = range(231, 633)
HALF_WIDTH = 500
# The count of CIDs at 1000 that the library's metrics are documented to have.
DOCUMENTED_FULL_WIDTH = 8089


def fill_half_width(widths, named):
    filled = 0
    for cid in HALF_WIDTH_CIDS:
        if cid not in named:
            widths[cid] = HALF_WIDTH
            filled += 1
    return filled


def write_cid_fonts(reportlab_dir, out_dir):
    path = os.path.join(reportlab_dir, "_cidfontdata.py")
    with open(path, "r", encoding="utf-8") as f:
        tree = ast.parse(f.read(), path)
    parts = [HEADER_COMMENT,
             "// The Japanese CID fonts: header values and the advance width of every CID 0-%d.\n\n"
             % (CID_COUNT - 1)]
    table = []
    for font in CID_FONTS:
        node = find_dict_literal(tree, font)
        if node is None:
            fail("%s: no CIDFontInfo['%s']" % (path, font))
        default_width, w = descendant_widths(node, font)
        widths, named = expand_w_array(default_width, w)
        filled = fill_half_width(widths, named)
        full = sum(1 for width in widths if width == 1000)
        sys.stderr.write("gen_font_data: %s: %d CIDs, %d half-width CIDs filled at %d, "
                         "%d of width 1000 (documented: %d)\n"
                         % (font, len(widths), filled, HALF_WIDTH, full, DOCUMENTED_FULL_WIDTH))
        parts.append("static const int16_t kCIDWidths_%s[%d] = {\n" % (ident(font), CID_COUNT))
        for row in range(0, CID_COUNT, 16):
            parts.append("    " + ", ".join(str(v) for v in widths[row:row + 16]) + ",\n")
        parts.append("};\n\n")
        header = header_initializer(font, "", "", CID_CHARACTER_SET, CID_COUNT, False, True,
                                    "nullptr", 0)
        table.append("    {%s, kCIDWidths_%s, %d},\n" % (header, ident(font), CID_COUNT))
    parts.append("static const BuiltInCIDFont kBuiltInCIDFonts[] = {\n")
    parts.extend(table)
    parts.append("};\n")
    write_file(os.path.join(out_dir, "cid_metrics.inc"), "".join(parts))


def write_file(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    sys.stderr.write("gen_font_data: wrote %s\n" % path)


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--afm-dir", default="/tmp/fontsrc/package/js/data",
                        help="folder holding the 14 Core AFM files (default: %(default)s)")
    parser.add_argument("--reportlab-dir",
                        default="/usr/lib/python3/dist-packages/reportlab/pdfbase",
                        help="reportlab's pdfbase folder (default: %(default)s)")
    parser.add_argument("--out-dir", default=os.path.join(repo, "pdf", "font", "data"),
                        help="where the .inc files go (default: %(default)s)")
    args = parser.parse_args()
    write_standard14(args.afm_dir, args.out_dir)
    write_encodings(args.reportlab_dir, args.out_dir)
    write_cid_fonts(args.reportlab_dir, args.out_dir)


if __name__ == "__main__":
    main()
