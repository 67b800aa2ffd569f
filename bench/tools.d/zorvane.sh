# zorvane as one more tool of the stamping benchmark (the bench-peers harness sources this file).
# Functions take INPUT WATERMARK OUTPUT; ZORVANE names the binary (bench/run_watermark.sh builds
# it and exports the path).
ZORVANE=${ZORVANE:-zorvane}
export ZORVANE

# The watermark centred at its natural size under every page: the tool's default placement.
underlay__zorvane() { "$ZORVANE" "$1" "$3" -wm "$2" -l ""; }
# No stamping option: every page is visited and the document written again.
rewrite__zorvane() { "$ZORVANE" "$1" "$3" -l ""; }
version__zorvane() { "$ZORVANE" -v 2>&1 | head -2 | paste -sd ' '; }
note__underlay__zorvane() { echo "zorvane IN OUT -wm WM (no log); a full rewrite; pages stamped alike share one content stream"; }
note__rewrite__zorvane() { echo "zorvane IN OUT (no log): every page visited, its procedure sets rebuilt"; }

# Page numbers as the harness asks for them: Helvetica 9 pt, centred, baseline 14 pt above the
# bottom edge. Location 8 puts the baseline at the descent depth (9 x 207 / 1000 = 1.863 pt);
# the y offset adds the rest: 12.137 pt = 4.2817 mm. (The options are spelled out in each
# function: the harness runs them in child shells, which do not inherit arrays.)
numbers__zorvane() { "$ZORVANE" "$1" "$3" -nbp -nbf n,%s,H,9 -nbs 8,0,4.2817 -l ""; }
note__numbers__zorvane() { echo "zorvane IN OUT -nbp -nbf n,%s,H,9 -nbs 8,0,4.2817 (no log); a full rewrite"; }
# The same numbers over the watermark in one run, as the second tool "zorvane_wm" (the harness
# has no operation for both stamps at once).
numbers__zorvane_wm() { "$ZORVANE" "$1" "$3" -wm "$2" -nbp -nbf n,%s,H,9 -nbs 8,0,4.2817 -l ""; }
version__zorvane_wm() { version__zorvane; }
note__numbers__zorvane_wm() { echo "zorvane IN OUT -wm WM plus the numbers of numbers__zorvane, in one run"; }
