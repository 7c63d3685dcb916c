# The whole intro on the capture tool's ideal clock (a frame every 30 ms
# from 120 ms on): each scene takes over, and the end scroller ends the
# intro, at the times the timeline gives; the run ends by itself with 0.
# On the way it keeps a frame every 5 s and, where ImageMagick's montage
# is installed, lays them out as a contact sheet for review
# ($BRINDLEC_BIN/contact-sheet.jpg).
. "$(dirname "$0")/support/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

times=$(seq -s, 0 5000 225000)
"$BRINDLEC_BIN/brindlec-capture" --trace --at "$times" --out "$work/frames" >"$work/trace" 2>"$work/errors"
status=$?
[ $status = 0 ] || { cat "$work/errors"; fail "brindlec-capture exited with $status"; }

# Scene 0 ends at 6900; scene 1 in the first frame after 51000, scene 2 in
# the first after 95000, scene 3 in the first at or after 125000; the end
# scroller's closing movement is complete 3486 frames after its first
# frame at 125040.
printf 'scene 1 at 6900\nscene 2 at 51030\nscene 3 at 95010\nscene 4 at 125010\nend at 229590\n' >"$work/want"
diff "$work/want" "$work/trace" || fail "scene trace differs (expected - got +)"

if command -v montage >/dev/null; then
    frames=()
    for ms in $(seq 0 5000 225000); do frames+=("$work/frames/frame-$ms.png"); done
    montage -label '%t' -pointsize 11 -fill white -background '#202020' "${frames[@]}" \
        -tile 8x -geometry 160x120+2+2 -quality 80 "$BRINDLEC_BIN/contact-sheet.jpg" ||
        fail "montage failed"
fi
echo "ok: scene trace; contact sheet in $BRINDLEC_BIN/contact-sheet.jpg"
