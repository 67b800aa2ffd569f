#!/usr/bin/env python3
"""Puts a section into a Markdown results file: replaces the section under the same "## "
heading (up to the next one), or appends it when the file has none.

Usage: results_section.py RESULTS_MD HEADING SECTION_TEXT"""
import sys

path, heading, section = sys.argv[1], sys.argv[2], sys.argv[3]
try:
    text = open(path).read()
except FileNotFoundError:
    text = ""
lines = text.split("\n")
start = next((i for i, l in enumerate(lines) if l.strip() == heading), None)
if start is None:
    text = (text.rstrip("\n") + "\n\n" if text.strip() else "") + section.rstrip("\n") + "\n"
else:
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    text = "\n".join(lines[:start] + section.rstrip("\n").split("\n") + [""] + lines[end:])
open(path, "w").write(text)
