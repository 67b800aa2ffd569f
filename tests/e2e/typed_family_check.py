#!/usr/bin/env python3
"""Judges the typed dictionary family against qpdf's own reading of a file (qpdf --json v2).

  typed_family_check.py counts INPUT.json CENSUS.txt
      The census of quarn_census (bound objects per class group) must lie between a lower
      bound (what any reader finds that must bind: links with plain Type/Rect/Subtype, URI
      actions, the outline chain, axial and radial shadings of page resources, ...) and an
      upper bound (every value in the file that carries the group's discriminator).
  typed_family_check.py same INPUT.json OUTPUT.json
      Every object of the input keeps its value in the output: same numbers, same entries,
      same stream data. Ignored: the trailer, cross-reference and object streams, the
      linearization parameters, the information dictionary (the save dates it), stream
      "Length" (and the one EOL that the
      library keeps before "endstream"), and the "Type"/"Count" that the library fills into page-tree nodes.
"""
import base64
import json
import math
import sys

ACTIONS = {"GoTo", "GoToR", "Launch", "Thread", "URI", "Sound", "Movie", "Hide", "Named",
           "SetState", "NOP", "SubmitForm", "ResetForm", "ImportData", "JavaScript"}
FITS = {"XYZ": (3, True), "Fit": (0, False), "FitH": (1, False), "FitV": (1, False),
        "FitR": (4, False), "FitB": (0, False), "FitBH": (1, False), "FitBV": (1, False)}
COLOR_FAMILIES = {"CalGray", "CalRGB", "Lab", "ICCBased", "Separation", "DeviceN", "Indexed",
                  "Pattern", "DeviceGray", "DeviceRGB", "DeviceCMYK"}
SIMPLE_ANNOTS = {"Text", "Link", "Popup", "Line", "Square", "Circle", "Stamp"}


def load(path):
    with open(path, "rb") as f:
        data = json.loads(f.read().decode("utf-8", "surrogateescape"))
    objects = {}
    for key, entry in data["qpdf"][1].items():
        if key.startswith("obj:"):
            objects[key[4:]] = entry
    pages = [p["object"] for p in data.get("pages", [])]
    return objects, pages, data["qpdf"][1].get("trailer", {}).get("value", {})


def body(entry):
    """The dictionary of a stream, the value of any other object."""
    if entry is None:
        return None
    return entry["stream"]["dict"] if "stream" in entry else entry.get("value")


class Doc:
    def __init__(self, path):
        self.objects, self.pages, self.trailer = load(path)

    def is_ref(self, v):
        return isinstance(v, str) and v.endswith(" R") and v[0].isdigit()

    def resolve(self, v):
        return body(self.objects.get(v)) if self.is_ref(v) else v

    def is_stream(self, v):
        return self.is_ref(v) and "stream" in self.objects.get(v, {})

    def walk_values(self):
        """Every dictionary and array of the file, direct ones included, once each."""
        todo = [body(e) for e in self.objects.values()]
        while todo:
            v = todo.pop()
            if isinstance(v, dict):
                yield v
                todo.extend(v.values())
            elif isinstance(v, list):
                yield v
                todo.extend(v)

    def walk_leaves(self):
        """Every value of the file that is neither a dictionary nor an array."""
        todo = [body(e) for e in self.objects.values()]
        while todo:
            v = todo.pop()
            if isinstance(v, dict):
                todo.extend(v.values())
            elif isinstance(v, list):
                todo.extend(v)
            else:
                yield v


def name(v, n=None):
    return isinstance(v, str) and v.startswith("/") and (n is None or v[1:] == n)


def number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


def string(v):
    return isinstance(v, str) and (v.startswith("u:") or v.startswith("b:"))


def is_dest(doc, v):
    v = doc.resolve(v)
    if not isinstance(v, list) or len(v) < 2:
        return False
    fit = doc.resolve(v[1])
    if not name(fit) or fit[1:] not in FITS:
        return False
    count, null_ok = FITS[fit[1:]]
    if len(v) < 2 + count:
        return False
    for e in v[2:2 + count]:
        e = doc.resolve(e)
        if not (number(e) or (null_ok and e is None)):
            return False
    return True


def upper_bounds(doc):
    up = dict.fromkeys(["annotations", "fields", "actions", "destinations", "outlines",
                        "shadings", "patterns", "functions", "colorspaces"], 0)
    for v in doc.walk_values():
        if isinstance(v, dict):
            if name(v.get("/Type"), "Annot") and isinstance(doc.resolve(v.get("/Rect")), list):
                up["annotations"] += 1
                if name(v.get("/Subtype"), "Widget"):
                    up["fields"] += 1
            if name(v.get("/S")) and v["/S"][1:] in ACTIONS:
                up["actions"] += 1
            if string(doc.resolve(v.get("/Title"))):
                up["outlines"] += 1
            for key, group in (("/ShadingType", "shadings"), ("/PatternType", "patterns"),
                               ("/FunctionType", "functions")):
                if key in v:
                    up[group] += 1
        else:
            if len(v) >= 2 and name(doc.resolve(v[1])) and doc.resolve(v[1])[1:] in FITS:
                up["destinations"] += 1
            if v and name(doc.resolve(v[0])) and doc.resolve(v[0])[1:] in COLOR_FAMILIES:
                up["colorspaces"] += 1
    return up


def lower_bounds(doc):
    low = dict.fromkeys(["annotations", "fields", "actions", "destinations", "outlines",
                         "shadings", "patterns", "functions", "colorspaces"], 0)
    seen = set()

    def once(key):
        if key in seen:
            return False
        seen.add(key)
        return True

    for page_ref in doc.pages:
        page = doc.resolve(page_ref) or {}
        annots = doc.resolve(page.get("/Annots"))
        for element in annots if isinstance(annots, list) else []:
            annot = doc.resolve(element)
            if not isinstance(annot, dict) or not name(annot.get("/Type"), "Annot"):
                continue
            if not isinstance(doc.resolve(annot.get("/Rect")), list) or "/Page" in annot:
                continue
            subtype = annot.get("/Subtype")
            key = element if doc.is_ref(element) else id(annot)
            if name(subtype) and subtype[1:] in SIMPLE_ANNOTS and once(("a", key)):
                low["annotations"] += 1
                if subtype == "/Link":
                    entry = annot.get("/A")
                    action = doc.resolve(entry)
                    if (isinstance(action, dict) and name(action.get("/S"), "URI")
                            and string(doc.resolve(action.get("/URI")))
                            and name(action.get("/Type", "/Action"), "Action")
                            and once(("A", entry if doc.is_ref(entry) else id(action)))):
                        low["actions"] += 1
                    entry = annot.get("/Dest")
                    if is_dest(doc, entry) and once(("D", entry if doc.is_ref(entry) else id(annot))):
                        low["destinations"] += 1
            if name(subtype, "Widget") and name(annot.get("/FT")) and \
                    annot["/FT"][1:] in {"Btn", "Tx", "Sig"} and once(("f", key)):
                low["fields"] += 1
        resources = doc.resolve(page.get("/Resources"))
        if not isinstance(resources, dict):
            continue
        shadings = doc.resolve(resources.get("/Shading"))
        for key, entry in (shadings.items() if isinstance(shadings, dict) else []):
            shading = doc.resolve(entry)
            if (isinstance(shading, dict) and shading.get("/ShadingType") in (2, 3)
                    and isinstance(doc.resolve(shading.get("/Coords")), list)
                    and "/Function" in shading and once(("s", entry if doc.is_ref(entry) else id(shading)))):
                low["shadings"] += 1
                function = doc.resolve(shading["/Function"])
                if (isinstance(function, dict) and function.get("/FunctionType") == 2
                        and isinstance(doc.resolve(function.get("/Domain")), list)
                        and number(doc.resolve(function.get("/N")))):
                    low["functions"] += 1
        spaces = doc.resolve(resources.get("/ColorSpace"))
        for entry in (spaces.values() if isinstance(spaces, dict) else []):
            space = doc.resolve(entry)
            if not isinstance(space, list) or not space or not once(("c", entry if doc.is_ref(entry) else id(space))):
                continue
            family = doc.resolve(space[0])
            if name(family) and family[1:] in {"Separation", "DeviceN", "Indexed"}:
                low["colorspaces"] += 1
            elif name(family, "ICCBased") and len(space) > 1 and doc.is_stream(space[1]) \
                    and number(doc.resolve(doc.resolve(space[1]).get("/N"))):
                low["colorspaces"] += 1

    root = doc.resolve(doc.trailer.get("/Root")) or {}
    outlines = doc.resolve(root.get("/Outlines"))
    todo = [outlines.get("/First")] if isinstance(outlines, dict) and "/First" in outlines else []
    visited = set()
    while todo:
        ref = todo.pop()
        item = doc.resolve(ref)
        if not isinstance(item, dict) or not string(doc.resolve(item.get("/Title"))):
            continue
        key = ref if isinstance(ref, str) else id(item)
        if key in visited:
            continue
        visited.add(key)
        low["outlines"] += 1
        todo.extend(item[k] for k in ("/Next", "/First") if k in item)
    return low


def counts(input_json, census_txt):
    doc = Doc(input_json)
    census = {}
    with open(census_txt, encoding="utf-8") as f:
        for line in f:
            group, value = line.split()
            census[group] = int(value)
    low, up = lower_bounds(doc), upper_bounds(doc)
    problems = [f"{g}: bound {census.get(g)} outside [{low[g]}, {up[g]}]"
                for g in low if not low[g] <= census.get(g, -1) <= up[g]]
    print(" ".join(f"{g}={census.get(g)}[{low[g]},{up[g]}]" for g in low))
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


def same_value(a, b):
    if number(a) and number(b):
        return math.isclose(a, b, rel_tol=1e-6, abs_tol=1e-6)
    if isinstance(a, dict) and isinstance(b, dict):
        return a.keys() == b.keys() and all(same_value(a[k], b[k]) for k in a)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same_value(x, y) for x, y in zip(a, b))
    return a == b


def same_data(a, b):
    # The library keeps the end-of-line before "endstream" with the data it read, so the
    # output may carry one more EOL than the input; nothing else may differ.
    a = base64.b64decode(a or "")
    b = base64.b64decode(b or "")
    return a == b or b in (a + b"\n", a + b"\r\n", a + b"\r")


def same(input_json, output_json):
    before, after = Doc(input_json), Doc(output_json)
    skip = {after.trailer.get("/Info"), before.trailer.get("/Info")}
    # Indirect stream lengths follow the data (see same_data). qpdf leaves "Length" out of
    # its stream dictionaries, so they show as numbers that nothing refers to.
    referred = {v for v in before.walk_leaves() if before.is_ref(v)}
    skip |= {key for key, entry in before.objects.items()
             if number(body(entry)) and f"{key}" not in referred}
    problems = []
    for key, entry in before.objects.items():
        value = body(entry)
        if key in skip or not isinstance(value, (dict, list, str, int, float, bool, type(None))):
            continue
        if isinstance(value, dict) and (name(value.get("/Type"), "XRef") or
                                        name(value.get("/Type"), "ObjStm") or "/Linearized" in value):
            continue
        if key not in after.objects:
            problems.append(f"object {key} missing from the output")
            continue
        out = after.objects[key]
        new = body(out)
        if isinstance(value, dict) and isinstance(new, dict):
            value, new = dict(value), dict(new)
            for k in ("/Length",):
                value.pop(k, None), new.pop(k, None)
            if "/Kids" in value or name(value.get("/Type"), "Page"):
                for k in ("/Type", "/Count"):
                    if k not in value:
                        new.pop(k, None)
        if not same_value(value, new):
            problems.append(f"object {key} changed: {json.dumps(value)[:200]} -> {json.dumps(new)[:200]}")
        elif "stream" in entry and not same_data(entry["stream"].get("data"),
                                                 out.get("stream", {}).get("data")):
            problems.append(f"object {key}: stream data changed")
    for p in problems[:10]:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    mode, first, second = sys.argv[1:4]
    sys.exit(counts(first, second) if mode == "counts" else same(first, second))
