#!/usr/bin/env bash
# A bounded fuzz run of the music player: builds the libFuzzer harness with
# clang into build-fuzz (the "fuzz" preset) and runs it for FUZZ_SECONDS
# (default 60) on one core, seeded with tests/fuzz/corpus, data/song.xm and every kept
# regression input. An input that crashes or hangs the player fails the
# run; it is left in build-fuzz/artifacts/ to be added to
# tests/fuzz/regressions/ with its fix.
#
#   scripts/fuzz.sh                  # about a minute
#   FUZZ_SECONDS=1800 scripts/fuzz.sh
#   FUZZ_CORPUS=DIR scripts/fuzz.sh  # grow a corpus kept in DIR across runs
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=build-fuzz

cmake --preset fuzz >/dev/null  # clang, BRINDLEC_FUZZ=ON, into build-fuzz
cmake --build --preset fuzz

corpus=${FUZZ_CORPUS:-$build/corpus}
mkdir -p "$corpus" "$build/artifacts"
cp tests/fuzz/corpus/* data/song.xm "$corpus"/
cp tests/fuzz/regressions/* "$corpus"/ 2>/dev/null || true

# -timeout: a single input playing for longer than 10 s is a hang (the
# slowest seed takes well under a second). Leaks are checked per input.
log=$build/fuzz.log
set +e
"$build/fuzz_song" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" >"$log" 2>&1
status=$?
set -e
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log" | tail -2 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
if [ $status != 0 ]; then
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -20
    echo "fuzz: the player failed on an input (log: $log); keep it in tests/fuzz/regressions/ with its fix" >&2
    exit 1
fi
echo "fuzz: ${seconds} s without a fault"
