#!/usr/bin/env bash
# How much later the packed release shows its question than the unpacked
# one: both started again and again under 32-bit Wine and Xvfb, in turns,
# each timed from its start to its question box on the screen (then ended).
# Prints the median, fastest and slowest time of each, the differences of
# the medians and of the fastest (Wine's own start varies by hundreds of
# ms on a busy machine; the fastest runs show the least of it), and how
# long the decoding takes natively. Goal: under 50 ms. A benchmark, not a
# test: nothing fails on the figures.
#
#   bench/windows_startup.sh [RUNS]        (default 30 of each; about 1 min)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-30}
. "$here/tests/e2e/support/lib.sh"
build_windows_preset windows-x86
use_wine32 "$BRINDLEC_BIN/windows-wine"
start_xvfb 1024x768
make_wine_prefix
# The Wine session stays up between runs, as it does on a desktop.
"$wine" cmd /c exit >/dev/null 2>&1

# question_ms EXE: milliseconds from the start to the question box.
question_ms() {
    local start box
    start=$(date +%s%N)
    "$wine" "$1" >/dev/null 2>&1 &
    APP_PID=$!
    until box=$(xwininfo -root -tree 2>/dev/null | awk -v name="\"$QUESTION_CAPTION\":" 'index($0, name) {print $1; exit}') &&
        [ -n "$box" ]; do
        kill -0 "$APP_PID" 2>/dev/null || fail "$1 ended without asking"
        sleep 0.002
    done
    echo $((($(date +%s%N) - start) / 1000000))
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
    APP_PID=
    # The box goes with the process; Wine settles before the next start.
    poll 10 eval '[ -z "$(window_id "$QUESTION_CAPTION" 0)" ]'
    sleep 0.5
}

question_ms "$windows_exe" >/dev/null && question_ms "$unpacked_exe" >/dev/null  # warm the file cache
: >"$BRINDLEC_BIN/windows-wine/packed.ms"
: >"$BRINDLEC_BIN/windows-wine/unpacked.ms"
for i in $(seq "$runs"); do
    # Alternate which goes first, so that a drift of the machine weighs on both.
    if [ $((i % 2)) = 0 ]; then
        question_ms "$windows_exe" >>"$BRINDLEC_BIN/windows-wine/packed.ms"
        question_ms "$unpacked_exe" >>"$BRINDLEC_BIN/windows-wine/unpacked.ms"
    else
        question_ms "$unpacked_exe" >>"$BRINDLEC_BIN/windows-wine/unpacked.ms"
        question_ms "$windows_exe" >>"$BRINDLEC_BIN/windows-wine/packed.ms"
    fi
done

# The decoding alone, natively (the start-up code runs the same C code,
# built for size for the 486).
"$BRINDLEC_BIN/windows-x86/entry/host-pack/brindlec-pack" payload "$unpacked_exe" \
    "$BRINDLEC_BIN/windows-wine/payload.c" "$BRINDLEC_BIN/windows-wine/layout.ld"

summary() { sort -n "$1" | awk '{v[NR] = $1} END {printf "%d %d %d", v[int((NR + 1) / 2)], v[1], v[NR]}'; }
read -r packed_median packed_min packed_max < <(summary "$BRINDLEC_BIN/windows-wine/packed.ms")
read -r unpacked_median unpacked_min unpacked_max < <(summary "$BRINDLEC_BIN/windows-wine/unpacked.ms")
echo "start to question, $runs runs each (median, fastest, slowest):"
echo "  brindlec.exe (packed, $(stat -c %s "$windows_exe") bytes): $packed_median ms ($packed_min..$packed_max)"
echo "  brindlec-unpacked.exe ($(stat -c %s "$unpacked_exe") bytes): $unpacked_median ms ($unpacked_min..$unpacked_max)"
echo "  the packed one later by $((packed_median - unpacked_median)) ms in the median," \
    "$((packed_min - unpacked_min)) ms at the fastest (goal: under 50 ms)"
