#!/usr/bin/env bash
# The whole intro on the capture tool's ideal clock (a frame every 30 ms
# from 120 ms on): each scene takes over, and the end scroller ends the
# intro, at the times the timeline gives; the run ends by itself with 0.
# The same run lays out a frame every 5 s as a contact sheet for review
# ($BRINDLEC_BIN/contact-sheet.png).
. "$(dirname "$0")/support/lib.sh"
make_work_dir

"$BRINDLEC_BIN/brindlec-capture" --trace --sheet "$BRINDLEC_BIN/contact-sheet.png" --every 5000 \
    >"$work/trace" 2>"$work/errors"
status=$?
[ $status = 0 ] || { cat "$work/errors"; fail "brindlec-capture exited with $status"; }

# Scene 0 ends at 6900; scene 1 in the first frame after 51000, scene 2 in
# the first after 95000, scene 3 in the first at or after 125000; the end
# scroller's closing movement is complete 3486 frames after its first
# frame at 125040.
printf 'scene 1 at 6900\nscene 2 at 51030\nscene 3 at 95010\nscene 4 at 125010\nend at 229590\n' >"$work/want"
diff "$work/want" "$work/trace" || fail "scene trace differs (expected - got +)"
[ -s "$BRINDLEC_BIN/contact-sheet.png" ] || fail "no contact sheet"
echo "ok: scene trace; contact sheet in $BRINDLEC_BIN/contact-sheet.png"
