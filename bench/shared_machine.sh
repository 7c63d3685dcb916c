#!/usr/bin/env bash
# Whether the real intro keeps its pace on a shared machine: plays it whole
# under Xvfb (the 800 x 600 window, SDL's dummy audio driver) once alone and
# once with one core kept busy by another process, and prints for each run
#   - how late scene 4's frames came on average (it is stepped by frames
#     only, so their lateness is what moves the end),
#   - the end on the intro clock against its designed end (the headless run
#     of brindlec-capture: ideal frames every 30 ms),
#   - the CPU time of the main thread and of the whole process.
# Goal: with one core busy the intro still ends within 1 s of its designed
# end. A benchmark, not a test: nothing fails on the figures.
#
#   bench/shared_machine.sh [BUILD_DIR]        (default: build; about 8 min)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$here/build}" && pwd)
. "$here/tests/e2e/support/lib.sh"
make_work_dir

# The designed timeline: the headless run on the ideal clock.
"$bin/brindlec-capture" --trace >"$work/designed" 2>/dev/null || fail "the headless run failed"
designed_end=$(awk '$1 == "end" {print $3}' "$work/designed")
designed_scene4=$(awk '$1 == "scene" && $2 == 4 {print $4}' "$work/designed")
[ -n "$designed_end" ] && [ -n "$designed_scene4" ] || fail "no end in the headless run"
scene4_frames=$(((designed_end - designed_scene4) / 30))
echo "designed: scene 4 at $designed_scene4 ms, end at $designed_end ms ($scene4_frames frames of scene 4)"

start_xvfb 1024x768

# clock_ticks PID TID: utime + stime of one thread (or, with TID = PID and
# the process's own stat file, of the whole process), in clock ticks.
clock_ticks() { sed 's/.*) //' "$1" 2>/dev/null | awk '{print $12 + $13}'; }

# run_intro LABEL: one whole run; prints its line of figures.
run_intro() {
    local label=$1 trace=$work/trace.$1 samples=$work/samples.$1
    SDL_AUDIODRIVER=dummy "$bin/brindlec" --windowed --trace >"$trace" 2>"$work/err" &
    APP_PID=$!
    # The last reading before the process ends is its CPU time.
    while kill -0 $APP_PID 2>/dev/null; do
        echo "$(clock_ticks /proc/$APP_PID/task/$APP_PID/stat) $(clock_ticks /proc/$APP_PID/stat)"
        sleep 1
    done >"$samples"
    local status=0 end scene4 main_ticks process_ticks hz
    wait $APP_PID || status=$?
    APP_PID=
    [ $status = 0 ] || { cat "$work/err"; fail "$label: exit status $status"; }
    end=$(awk '$1 == "end" {print $3}' "$trace")
    scene4=$(awk '$1 == "scene" && $2 == 4 {print $4}' "$trace")
    [ -n "$end" ] && [ -n "$scene4" ] || fail "$label: the intro did not end by itself"
    read -r main_ticks process_ticks <<<"$(awk 'NF == 2' "$samples" | tail -1)"
    hz=$(getconf CLK_TCK)
    awk -v label="$label" -v end="$end" -v designed="$designed_end" -v s4="$scene4" -v n="$scene4_frames" \
        -v m="$main_ticks" -v p="$process_ticks" -v hz="$hz" 'BEGIN {
        printf "%-14s frames %5.2f ms late on average; end at %d ms, %+d ms from the designed end;" \
               " CPU: main thread %.1f s, process %.1f s\n",
               label ":", (end - s4) / n - 30, end, end - designed, m / hz, p / hz }'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
run_intro alone
sh -c 'while :; do :; done' &
busy_pid=$!
at_exit "kill $busy_pid 2>/dev/null"
run_intro "one core busy"
kill $busy_pid 2>/dev/null
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
