#!/usr/bin/env bash
# The browser build's OpenGL 1.1 subset against OSMesa's OpenGL 1.1: the
# same 40 moments of the intro, from every scene, captured both ways by
# brindlec-capture; in each frame at least 99 % of the pixels lie within
# 8/255 per channel of the OpenGL 1.1 picture. The OpenGL 1.1 frames stay
# in $BRINDLEC_BIN/reference-frames for the browser test.
. "$(dirname "$0")/support/lib.sh"
make_work_dir
reference="$BRINDLEC_BIN/reference-frames"

# Titles; the wall's pulse, ripple, gathering and sinking; the frame, box,
# shards and star; the train of frames and the camera's turns; the
# scroller from its first lines to the columns sliding out.
moments="1000 2500 4000 6000
  8000 12000 15000 18000 20000 23000 28000 33000 37000 40000 43000 48000
  52000 56000 60000 65000 70000 75000 80000 85000 90000 94000
  96000 99000 104000 110000 117000 122000
  127000 140000 150000 170000 190000 210000 226000 229000"
list=$(echo $moments | tr ' ' ',')

rm -rf "$reference"
"$BRINDLEC_BIN/brindlec-capture" --at "$list" --out "$reference" 2>"$work/opengl.txt" ||
    fail "OpenGL 1.1 capture: $(cat "$work/opengl.txt")"
"$BRINDLEC_BIN/brindlec-capture" --gl subset --at "$list" --out "$work/subset" 2>"$work/subset.txt" ||
    fail "subset capture: $(cat "$work/subset.txt")"

"$BRINDLEC_BIN/frame_diff" --tolerance 8 --at-least 0.99 \
    $(for ms in $moments; do echo "$reference/frame-$ms.png $work/subset/frame-$ms.png"; done) >"$work/diff.txt"
status=$?
[ "$(wc -l <"$work/diff.txt")" = 40 ] || fail "not all 40 frames compared: $(cat "$work/diff.txt")"
[ $status = 0 ] || fail "frames differ beyond 8/255 on more than 1 % of their pixels:
$(awk '$3 < 0.99' "$work/diff.txt")"
echo "ok: 40 frames of the OpenGL 1.1 subset match OpenGL 1.1 (worst $(sort -k3 -n "$work/diff.txt" | head -1 | awk '{print $3}'))"
