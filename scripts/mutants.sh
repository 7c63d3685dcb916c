#!/usr/bin/env bash
# A seeded sample of source mutations, each built and run against the tests
# that cover it; prints every mutant, killed / total by folder, and the
# survivors, so that a person can mark each as equivalent or not.
#
#   scripts/mutants.sh [--seed N] [--count N] [--build DIR] [--timeout S]
#                      [--e2e REGEX] [--out FILE] [--list] [--only REGEX]
#   scripts/mutants.sh --compare OLD NEW     (two --out files: before, after)
#
# Defaults: --seed 1 --count 80 --build build-mutants --timeout 60 (seconds
# per test). --list prints the sample without building anything. --only
# runs every site whose FILE:LINE matches REGEX instead of the sample (up to
# --count a folder), e.g. to try one survivor again.
#
# Sites: the .cpp files of music/, scenes/, shell/ and platform/ (headers
# hold declarations and array sizes, and a change there rebuilds nearly
# everything). Comments, the insides of string and character literals and
# preprocessor lines are blanked first. A site lies on a line inside a
# function body, not inside a brace initializer (tables), or on a one-line
# constant at file scope. Kinds:
#   compare   a comparison between spaces flipped: < <=, > >=, == != (the
#             code is formatted with spaces around binary operators; template
#             brackets have none)
#   arith     an arithmetic operator between spaces flipped: + -, * /, += -=, *= /=
#   constant  a decimal integer one more or one less (not an array size)
#   drop      a whole statement line removed: a call, an assignment or x++
#             that starts and ends on that line
# Each folder gets a share of --count in proportion to its lines that hold a
# site, and at least a tenth of --count; within a folder, sites are drawn
# uniformly with the seed. A mutant that does not compile is "stillborn",
# not counted, and the next site drawn in its folder takes its place.
#
# Tests, by ctest label: music/ runs music|tick|song|fuzz, scenes/ and shell/
# run scenes|shell (each drives the other), platform/ runs every unit test
# (the headless backend and the glyphs serve them all). A file that uses
# SDL or holds main() is built only into the real intro, which only the
# end-to-end scripts run: it gets the e2e tests whose names match --e2e
# (default: the command line and the SDL scripts that take seconds; the
# minimised and stalled-mixer scripts measure wall time and fail on a busy
# machine, the capture and trace scripts drive the headless tools that the
# unit tests already cover). The win32 backend is not sampled: only the Wine
# test covers it, and it cross-builds and runs for minutes.
#
# The working tree is never written to: its files are copied to DIR/src (only
# changed files are rewritten, so the build in DIR/build stays incremental),
# each mutant is applied there and undone after its run, on failure or on
# Ctrl-C. Tests that fail on the pristine copy are left out and named.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SEED=1 COUNT=80 BUILD=build-mutants TIMEOUT=60 OUT="" LIST="" ONLY=""
E2E='command_line|sdl_(window|no_glx|no_audio|refused_mode)'
PY=python3; [ -x /usr/bin/python3 ] && PY=/usr/bin/python3

read -r -d '' PYCODE <<'EOF' || true
import os, random, re, sys
FOLDERS = ['music', 'scenes', 'shell', 'platform']
CMP = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '=='}
ARITH = {'+': '-', '-': '+', '*': '/', '/': '*', '+=': '-=', '-=': '+=', '*=': '/=', '/=': '*='}
OP = re.compile(r'(?<= )(<=|>=|==|!=|<|>|[-+*/]=?)(?= )')
INT = re.compile(r'(?<![\w.])(?<![eE][-+])(\d+)[uUlL]*(?![\w.])')
ARRAY_DECL = re.compile(r'^(static |const |constexpr )*[\w:<>]+[\s*&]+\w+\[')
DROP = re.compile(r'^[\w.>\[\]*:-]+\s*(\(.*\)|([-+*/%|&^]|<<|>>)?=[^=].*|\+\+|--);$')

def mask(text):  # comments and the insides of literals become spaces
    out, i, n = [], 0, len(text)
    while i < n:
        if text.startswith('//', i) or text.startswith('/*', i):
            line = text[i + 1] == '/'
            j = text.find('\n' if line else '*/', i + 2)
            j = n if j < 0 else j + (0 if line else 2)
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
        elif text[i] in '"\'':
            j = i + 1
            while j < n and text[j] != text[i]:
                j += 2 if text[j] == '\\' else 1
            j += 1
            out.append(text[i] + ' ' * (j - i - 2) + text[i])
        else:
            j = i + 1
            out.append(text[i])
        i = j
    return ''.join(out)

def file_sites(text, rng):
    found, stack, stmt, prev, pre = [], [], '', ';', False
    for no, (raw, code) in enumerate(zip(text.split('\n'), mask(text).split('\n')), 1):
        s = code.strip()
        pre = pre or s.startswith('#')
        if pre:
            pre = s.endswith('\\')
            continue
        where = 'code' if stack[-1:] == ['code'] else 'file' if set(stack) <= {'scope'} else None
        if where == 'code' or (where == 'file' and re.search(r'\bconst(expr)?\b.*=.*;$', s) and '{' not in s):
            for m in OP.finditer(code):
                op = m.group(1)
                found.append((no, m.start(1), 'compare' if op in CMP else 'arith', op, CMP.get(op) or ARITH[op]))
            size_end = code.find(']') if ARRAY_DECL.match(s) else -1
            for m in INT.finditer(code):
                if m.start() > size_end:
                    n = int(m.group(1))
                    found.append((no, m.start(1), 'constant', m.group(1), str(n + (1 if n == 0 else rng.choice((1, -1))))))
            if where == 'code' and prev in ';{}:' and DROP.match(s) and not re.match(r'(if|for|while|switch)\b', s):
                found.append((no, 0, 'drop', raw.strip().replace('\t', ' '), ''))
        for ch in code:
            if ch == '{':
                t = stmt.strip()
                if stack[-1:] == ['init']: kind = 'init'
                elif re.search(r'\b(namespace|struct|class|enum|union|extern)\b', t): kind = 'scope'
                elif t == '' or re.search(r'([)\]:]|\belse|\bdo|\btry|\bconst|\bnoexcept|\boverride)$', t): kind = 'code'
                else: kind = 'init'
                stack.append(kind)
                stmt = ''
            elif ch in '};':
                if ch == '}' and stack: stack.pop()
                stmt = ''
            else:
                stmt += ch
        stmt += ' '
        if s: prev = s[-1]
    return found

def select(root, seed, count):
    rng, pool, weight = random.Random(seed), {}, {}
    for folder in FOLDERS:
        pool[folder], weight[folder] = [], 0
        paths = sorted(os.path.relpath(os.path.join(d, f), root)
                       for d, _, fs in os.walk(os.path.join(root, folder)) for f in fs if f.endswith('.cpp'))
        for rel in paths:
            text = open(os.path.join(root, rel), encoding='utf-8', errors='replace').read()
            if '/win32/' in rel or re.search(r'#include\s*<windows\.h>', text): continue
            e2e = re.search(r'#include\s*<SDL', text) or re.search(r'^int main\(', text, re.M)
            found = file_sites(text, rng)
            weight[folder] += len({site[0] for site in found})
            pool[folder] += [(folder, 'e2e' if e2e else folder, rel) + site for site in found]
        rng.shuffle(pool[folder])
    floor, quota, rest = max(1, count // 10), {}, {f: w for f, w in weight.items() if w}
    while rest:  # folders whose share falls below the floor get the floor
        left, total = count - sum(quota.values()), sum(rest.values())
        small = [f for f in rest if left * rest[f] / total < floor]
        if not small: break
        for f in small: quota[f] = floor; del rest[f]
    if rest:  # the others share the rest by largest remainder
        left, total = max(0, count - sum(quota.values())), sum(rest.values())
        exact = {f: left * w / total for f, w in rest.items()}
        quota.update({f: int(x) for f, x in exact.items()})
        for f in sorted(exact, key=lambda f: int(exact[f]) - exact[f])[:left - sum(int(x) for x in exact.values())]:
            quota[f] += 1
    for f in FOLDERS: print(f'Q\t{f}\t{quota.get(f, 0)}\t{weight[f]}')
    for f in FOLDERS:
        for site in pool[f]: print('S\t' + '\t'.join(map(str, site)))

def load(path):  # id folder place mutation status killer seconds line
    rows = [l.rstrip('\n').split('\t') for l in open(path) if l.strip()]
    return [r for r in rows if r[4] != 'stillborn']

def rates(rows):
    per = {f: [0, 0] for f in FOLDERS + ['all']}
    for r in rows:
        for f in (r[1], 'all'): per[f][0] += r[4] == 'killed'; per[f][1] += 1
    return {f: f'{k}/{t} ({100 * k // t}%)' if t else '-' for f, (k, t) in per.items()}, per['all']

cmd = sys.argv[1]
if cmd == 'select': select(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
elif cmd == 'apply':  # FILE LINE COLUMN KIND OLD NEW
    path, no, col, kind, old, new = sys.argv[2], int(sys.argv[3]) - 1, int(sys.argv[4]), *sys.argv[5:8]
    lines = open(path).read().split('\n')
    line = lines[no]
    assert kind == 'drop' or line[col:col + len(old)] == old, f'{path}:{no + 1}: no {old!r} at {col}'
    lines[no] = '' if kind == 'drop' else line[:col] + new + line[col + len(old):]
    open(path, 'w').write('\n'.join(lines))
elif cmd == 'sync':  # ROOT DEST, the files to copy on stdin (NUL separated)
    root, dest = sys.argv[2], sys.argv[3]
    keep = {p for p in sys.stdin.read().split('\0') if p and os.path.isfile(os.path.join(root, p))}
    for rel in keep:
        data, dst = open(os.path.join(root, rel), 'rb').read(), os.path.join(dest, rel)
        if not os.path.isfile(dst) or open(dst, 'rb').read() != data:
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            open(dst, 'wb').write(data)
            os.chmod(dst, os.stat(os.path.join(root, rel)).st_mode)
    for d, _, fs in os.walk(dest):
        for f in fs:
            if os.path.relpath(os.path.join(d, f), dest) not in keep: os.remove(os.path.join(d, f))
elif cmd == 'summary':
    rows = load(sys.argv[2])
    text, _ = rates(rows)
    print('killed / total by folder:')
    for f in FOLDERS + ['all']: print(f'  {f:9} {text[f]}')
    survivors = [r for r in rows if r[4] == 'survived']
    print(f'survivors ({len(survivors)}): mark each as equivalent (changes nothing observable) with the reason, or not')
    for r in survivors: print(f'  {r[2]}  {r[3]}    | {r[7]}')
elif cmd == 'compare':
    old, new = load(sys.argv[2]), load(sys.argv[3])
    (a, (ka, ta)), (b, (kb, tb)) = rates(old), rates(new)
    print(f'{"folder":9} {"before":>14} {"after":>14}')
    for f in FOLDERS + ['all']: print(f'{f:9} {a[f]:>14} {b[f]:>14}')
    before, after = {(r[2], r[3]): r[4] for r in old}, {(r[2], r[3]): r[4] for r in new}
    both = [k for k in before if k in after]
    print(f'{len(both)} mutants in both runs, {len(before) + len(after) - 2 * len(both)} in one only (the sources changed)')
    for k in both:
        if before[k] != after[k]: print(f'  {k[0]}  {k[1]}: {before[k]} -> {after[k]}')
    sys.exit(1 if tb and ta and kb / tb < ka / ta else 0)
EOF

usage() { sed -n '2,/^set -e/{/^set -e/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
    case $1 in
        --seed) SEED=$2; shift 2 ;;
        --count) COUNT=$2; shift 2 ;;
        --build) BUILD=$2; shift 2 ;;
        --timeout) TIMEOUT=$2; shift 2 ;;
        --e2e) E2E=$2; shift 2 ;;
        --out) OUT=$2; shift 2 ;;
        --list) LIST=1; shift ;;
        --only) ONLY=$2; shift 2 ;;
        --compare) [ $# -ge 3 ] || usage 2; exec "$PY" -c "$PYCODE" compare "$2" "$3" ;;
        -h|--help) usage ;;
        *) echo "mutants.sh: unknown option $1" >&2; usage 2 ;;
    esac
done
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
SRC=$BUILD/src BIN=$BUILD/build LOGS=$BUILD/logs
mkdir -p "$SRC" "$LOGS"
(cd "$ROOT" && git ls-files -z -co --exclude-standard) | "$PY" -c "$PYCODE" sync "$ROOT" "$SRC"

declare -A QUOTA TAKEN BASE
declare -A LABELS=([music]='music|tick|song|fuzz' [scenes]='scenes|shell' [shell]='scenes|shell'
                   [platform]=unit [unit]=unit [e2e]=e2e)
SITES=()
while IFS= read -r row; do
    case $row in
        Q*) IFS=$'\t' read -r _ folder n lines <<<"$row"; QUOTA[$folder]=$n; TAKEN[$folder]=0
            echo "$folder: $n mutants ($lines lines with a site)" ;;
        *) SITES+=("$row") ;;
    esac
done < <("$PY" -c "$PYCODE" select "$SRC" "$SEED" "$COUNT")
[ -z "$ONLY" ] || for folder in "${!QUOTA[@]}"; do QUOTA[$folder]=$COUNT; done

MUTATED=""
restore() { if [ -n "$MUTATED" ]; then cp "$LOGS/pristine" "$SRC/$MUTATED"; MUTATED=""; fi; }
trap restore EXIT
trap 'exit 130' INT TERM HUP

if [ -z "$LIST" ]; then
    [ -f "$BIN/CMakeCache.txt" ] || GENERATOR=$(command -v ninja >/dev/null && echo "-GNinja" || true)
    nice cmake -S "$SRC" -B "$BIN" ${GENERATOR:-} -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBRINDLEC_TESTS=ON -DBRINDLEC_BENCHMARKS=OFF >"$LOGS/configure.log"
    echo "building the pristine copy in $BIN"
    nice cmake --build "$BIN" -j2 >"$LOGS/build.log" 2>&1 || { tail -30 "$LOGS/build.log"; exit 1; }
    # The pristine run: which tests to leave out, and how long a run takes.
    EXCLUDE=""
    for key in unit e2e; do
        selection=(-L "${LABELS[$key]}"); [ $key = e2e ] && selection+=(-R "$E2E")
        rm -f "$BIN/Testing/Temporary/LastTestsFailed.log"
        start=$SECONDS
        nice ctest --test-dir "$BIN" "${selection[@]}" -j2 --timeout "$TIMEOUT" >"$LOGS/pristine-$key.log" 2>&1 || true
        BASE[$key]=$((SECONDS - start))
        tests=$(sed -n 's/.*tests failed out of \([0-9]*\)$/\1/p' "$LOGS/pristine-$key.log")
        [ "${tests:-0}" -gt 0 ] || { echo "no $key tests selected: see $LOGS/pristine-$key.log" >&2; exit 1; }
        failed=$(sed 's/^[0-9]*://' "$BIN/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || true)
        for name in $failed; do
            echo "left out, fails on the pristine copy: $name"
            EXCLUDE+="${EXCLUDE:+|}^$(sed 's/[][\.*^$+?(){}|/]/\\&/g' <<<"$name")\$"
        done
        echo "pristine $key tests: $tests in ${BASE[$key]} s"
    done
fi

RESULTS=$LOGS/results.tsv
: >"$RESULTS"
id=0
for row in "${SITES[@]}"; do
    IFS=$'\t' read -r _ folder group rel no col kind old new <<<"$row"
    [ "${TAKEN[$folder]}" -lt "${QUOTA[$folder]}" ] || continue
    [ -z "$ONLY" ] || [[ $rel:$no =~ $ONLY ]] || continue
    if [ "$kind" = drop ]; then what="drop" context=$old; else what="'$old' -> '$new'"
        context=$(sed -n "${no}p" "$SRC/$rel" | sed 's/^ *//; s/\t/ /g'); fi
    if [ -n "$LIST" ]; then
        TAKEN[$folder]=$((TAKEN[$folder] + 1))
        printf '%-36s %-8s %-8s %-16s | %s\n' "$rel:$no" "$group" "$kind" "${what#drop}" "$context"; continue
    fi
    id=$((id + 1)) start=$SECONDS killer=""
    cp "$SRC/$rel" "$LOGS/pristine"
    MUTATED=$rel
    "$PY" -c "$PYCODE" apply "$SRC/$rel" "$no" "$col" "$kind" "$old" "$new"
    if ! nice cmake --build "$BIN" -j2 >"$LOGS/mutant.log" 2>&1; then
        if grep -q "$rel:[0-9]*:[0-9]*: error" "$LOGS/mutant.log"; then status=stillborn
        else status=killed killer="the build (see $LOGS/mutant.log)"; fi
    else
        base=${BASE[e2e]}; [ "$group" = e2e ] || base=${BASE[unit]}
        selection=(-L "${LABELS[$group]}"); [ "$group" = e2e ] && selection+=(-R "$E2E")
        [ -n "$EXCLUDE" ] && selection+=(-E "$EXCLUDE")
        nice ctest --test-dir "$BIN" "${selection[@]}" -j2 --stop-on-failure --timeout "$TIMEOUT" \
            --stop-time "$(date -d "+$((2 * base + TIMEOUT)) sec" +%T)" >"$LOGS/tests.log" 2>&1 || true
        killer=$(sed -n -E 's/.*Test +#[0-9]+: ([^ ]+) .*\*\*\*([A-Za-z]+).*/\1 \2/p' "$LOGS/tests.log" |
                 head -1 | sed 's/ Failed$//; s/ \(.*\)/ (\1)/')
        status=survived; [ -z "$killer" ] || status=killed
    fi
    restore
    [ $status = stillborn ] || TAKEN[$folder]=$((TAKEN[$folder] + 1))
    printf '#%-3s %-32s %-16s %-9s %s (%d s)\n' "$id" "$rel:$no" "$what" "$status" "$killer" $((SECONDS - start))
    [ "$kind" != drop ] || echo "     dropped: $context"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$folder" "$rel:$no" "$what" "$status" "${killer:--}" \
        $((SECONDS - start)) "$context" >>"$RESULTS"
done
[ -n "$LIST" ] && exit 0
[ -z "$OUT" ] || cp "$RESULTS" "$OUT"
"$PY" -c "$PYCODE" summary "$RESULTS"
