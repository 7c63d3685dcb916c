#!/usr/bin/env bash
# A seeded sample of source mutations, each built and run against the tests
# that cover it: each mutant, killed / total by folder, and the survivors for
# a person to mark as equivalent (changes nothing observable, and why) or not.
#   scripts/mutants.sh [--seed N] [--count N] [--build DIR] [--timeout S]
#                      [--e2e REGEX] [--out FILE] [--only REGEX] [--list]
#                      [--no-sanitizers]
#   scripts/mutants.sh --compare OLD NEW    (two --out files: before, after)
# Defaults: seed 1, 80 mutants, DIR build-mutants, 60 s a test. --list shows the
# sample unbuilt; --only takes the sites whose FILE:LINE:COLUMN matches REGEX.
#
# Sites: the .cpp files of music/, scenes/, shell/ (with text/ and entry/, split
# off it), platform/ (a header change
# rebuilds nearly everything) with comments, literals and preprocessor lines
# blanked; lines in function bodies outside brace initializers (tables), and
# one-line file-scope constants. Kinds: compare (< <=, > >=, == != flipped;
# operators stand between spaces, template brackets do not), arith (+ -, * /,
# += -=, *= /=), constant (a decimal integer one more or less, not an array
# size), drop (a call, assignment or x++ filling its line, removed). A folder
# gets a share of the count by its lines with a site, at least a tenth. Sites
# are drawn in the order of a hash of seed, file, line text and column, so an
# edit elsewhere leaves the draw alone. A mutant that does not compile is
# "stillborn", not counted, and the next site drawn in its folder replaces it;
# so is one marked equivalent, which is not built: listed in
# scripts/mutants-equivalent.txt (its place, mutation and line as the report
# prints them, and why), or a < <= or > >= flip in a clamp (if (x > B) x = B;
# x > B ? B : x; x < B ? x : B), which at x == B gives B either way.
# Tests, by ctest label: music/ music|tick|song|fuzz; scenes/ and shell/
# scenes|shell|text (each drives the other), and for shell/ then the e2e
# tests below, which meet the real backend; platform/ all unit tests (they
# run on its headless backend and glyphs), and for the OpenGL 1.1 subset
# (gl11) also the intro's frames drawn through it (e2e_gl_subset, label
# subset). A file that uses SDL or holds main() is only in the real intro:
# it gets the e2e tests named by --e2e, the command line, the music player
# (what SDL's device played against the render) and the SDL scripts of
# seconds (minimised and stalled-mixer time the wall clock and fail on a
# busy machine). Left out, since the build here does not compile them: win32
# (only the Wine test covers it, in minutes) and the files built only for the
# browser, platform/web and the browser's main() (only the browser test covers
# them, on a build of their own). Tests failing on the pristine copy are left
# out. A survivor in a file the unit tests reach meets them once more as
# ./test.sh's sanitizer run does, built under AddressSanitizer, UBSan and
# LeakSanitizer in DIR/asan: a leak, a read out of bounds or undefined
# behaviour they report kills it (--no-sanitizers leaves that out).
# The working tree is never written to: it is copied to DIR/src (changed files
# only, so the build in DIR/build stays incremental); each mutant is applied
# there and undone after its run, on failure and Ctrl-C too.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SEED=1 COUNT=80 BUILD=build-mutants TIMEOUT=60 OUT="" LIST="" ONLY="" SANITIZERS=1
E2E='command_line|music_player|sdl_(window|no_audio)'
PY=python3; [ -x /usr/bin/python3 ] && PY=/usr/bin/python3
read -r -d '' PYCODE <<'EOF' || true
import hashlib, os, re, sys
FOLDERS = ['music', 'scenes', 'shell', 'platform']
TREES = {'shell': ['shell', 'text', 'entry']}  # the shell as it was before text/ and entry/ left it
FLIP = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '==', '+': '-', '-': '+',
        '*': '/', '/': '*', '+=': '-=', '-=': '+=', '*=': '/=', '/=': '*='}
OP = re.compile(r'(?<= )(<=|>=|==|!=|<|>|[-+*/]=?)(?= )')
INT = re.compile(r'(?<![\w.])(?<![eE][-+])(\d+)[uUlL]*(?![\w.])')
ARRAY = re.compile(r'^(static |const |constexpr )*[\w:<>]+[\s*&]+\w+(\[[^\]]*\])+')
SIZED = re.compile(r'\w\[(\d+)\] = \{')  # a later declarator's array size: float a[4] = {..}, b[4] = {..};
DROP = re.compile(r'^[\w.>\[\]*:-]+\s*(\(.*\)|([-+*/%|&^]|<<|>>)?=[^=].*|\+\+|--);$')
LEXEME = re.compile(r'//[^\n]*|/\*.*?\*/|"(\\.|[^"\\\n])*"|\'(\\.|[^\'\\\n])*\'', re.S)

def blank(m):  # comments and the insides of literals become spaces
    s = re.sub(r'[^\n]', ' ', m[0])
    return m[0][0] + s[1:-1] + m[0][-1] if m[0][0] in '"\'' else s

def rank(*parts):  # a site's place in the draw, by its text, not its line number
    return hashlib.sha1('\0'.join(map(str, parts)).encode()).hexdigest()

def file_sites(text, seed):  # (text, line, column, kind, old, new)
    found, stack, stmt, prev, pre = [], [], '', ';', False
    for no, code in enumerate(LEXEME.sub(blank, text).split('\n'), 1):
        s = code.strip()
        if pre or s.startswith('#'):
            pre = s.endswith('\\'); continue
        where = 'code' if stack[-1:] == ['code'] else 'file' if set(stack) <= {'scope'} else None
        if where == 'code' or where == 'file' and re.search(r'\bconst(expr)?\b.*=.*;$', s) and '{' not in s:
            for m in OP.finditer(code):
                found.append((s, no, m.start(), 'arith' if m[1][0] in '+-*/' else 'compare', m[1], FLIP[m[1]]))
            array = ARRAY.match(s)
            size_end = code.find(s) + array.end() if array else -1
            sizes = {m.start(1) for m in SIZED.finditer(code)}
            for m in INT.finditer(code):
                if m.start() > size_end and m.start() not in sizes:
                    n = int(m[1])
                    new = n + (1 if n == 0 or int(rank(seed, s, m.start()), 16) % 2 else -1)
                    found.append((s, no, m.start(), 'constant', m[1], str(new)))
            if where == 'code' and prev in ';{}:' and DROP.match(s) and not re.match(r'(if|for|while)\b', s):
                found.append((s, no, 0, 'drop', '', ''))
        for ch in code:
            if ch == '{':
                t = stmt.strip()  # what the brace opens, by what precedes it
                stack.append('init' if stack[-1:] == ['init'] else
                             'scope' if re.search(r'\b(namespace|struct|class|enum|union|extern)\b', t) else
                             'code' if re.search(r'(^|[)\]:]|\belse|\bdo|\btry|\bconst|\bnoexcept|\boverride)$', t)
                             else 'init')
            elif ch == '}' and stack: stack.pop()
            stmt = '' if ch in '{};' else stmt + ch
        stmt += ' '
        if s: prev = s[-1]
    return found

def mutation(old, new):  # as the runs and the reports show it
    return f"'{old}' -> '{new}'" if old else 'drop'

def equivalents(path):  # {(file, column, mutation, line): {line number: why}} from FILE:LINE:COLUMN, ...
    marked = {}
    for l in open(path, encoding='utf-8') if os.path.exists(path) else []:
        fields = l.rstrip('\n').split('\t')
        if l.startswith('#') or not l.strip(): continue
        if len(fields) != 4 or not all(fields): sys.exit(f'{path}: not place, mutation, line and why: {l!r}')
        place = fields[0].split(':')
        marked.setdefault((place[0], place[-1], fields[1], fields[2]), {})[int(place[1])] = fields[3]
    return marked

# A clamp puts a value that passes its bound at the bound (if (x > B) x = B;,
# x > B ? B : x and x < B ? x : B): where x equals B, < and <=, > and >= give the same.
VALUE = r'-?[\w.]+(?:->\w+|\[\w+\])*'
CLAMPS = [re.compile(rf'(?=if \((?P<a>\*?{VALUE}) (?P<op>[<>]=?) (?P<b>{VALUE})\) (?P=a) = (?P=b);)'),
          re.compile(rf'(?=(?P<a>{VALUE}(?: [-+] {VALUE})?) (?P<op>[<>]=?) (?P<b>{VALUE}) \? (?P=b) : \(?(?P=a)\b)'),
          re.compile(rf'(?=(?P<a>{VALUE}) (?P<op>[<>]=?) (?P<b>{VALUE}) \? (?P=a) : (?:static_cast<\w+>\()?(?P=b)\b)')]
CLAMP_WHY = 'a clamp: where the value equals its bound, both comparisons give the bound'

def clamp_columns(line):
    return {m.start('op') for clamp in CLAMPS for m in clamp.finditer(line)}

def select(root, seed, count, marked_path):
    pool, weight = {f: [] for f in FOLDERS}, dict.fromkeys(FOLDERS, 0)
    marked = equivalents(marked_path)
    for folder in FOLDERS:
        for rel in sorted(os.path.relpath(os.path.join(d, f), root) for tree in TREES.get(folder, [folder])
                          for d, _, fs in os.walk(os.path.join(root, tree)) for f in fs if f.endswith('.cpp')):
            text = open(os.path.join(root, rel), encoding='utf-8', errors='replace').read()
            if '/win32/' in rel or '<windows.h>' in text:
                print(f'X\t{rel}\tWindows only'); continue
            if '/web/' in rel or '<emscripten' in text or '"platform/web/' in text:
                print(f'X\t{rel}\tbrowser only'); continue
            e2e = '#include <SDL' in text or re.search(r'^int main\(', text, re.M)
            found = file_sites(text, seed)
            weight[folder] += len({site[1] for site in found})
            raw = text.split('\n')
            lines = [line.lstrip(' ').replace('\t', ' ') for line in raw]
            def why(no, col, old, new):  # a line whose text recurs in its file is told apart by its number
                marks = marked.get((rel, str(col + 1), mutation(old, new), lines[no - 1]), {})
                if marks: return marks.get(no, '-') if lines.count(lines[no - 1]) > 1 else next(iter(marks.values()))
                clamp = old in FLIP and old[0] in '<>' and col in clamp_columns(raw[no - 1])
                return CLAMP_WHY if clamp else '-'
            group = 'e2e' if e2e else 'gl11' if rel.startswith('platform/gl11/') else folder
            pool[folder] += [(rank(seed, rel, *site[:1] + site[2:4]), folder, group, rel,
                              why(site[1], site[2], *site[4:])) + site[1:] for site in found]
        pool[folder].sort()
    # Shares by lines with a site, at least a tenth; the largest folder takes the rounding.
    floor, total = max(1, count // 10), sum(weight.values())
    quota = {f: max(floor if w else 0, round(count * w / total)) for f, w in weight.items()}
    quota[max(weight, key=weight.get)] += count - sum(quota.values())
    for f in FOLDERS: print(f'Q\t{f}\t{quota[f]}\t{weight[f]}')
    for f in FOLDERS: print('\n'.join('S\t' + '\t'.join(map(str, site[1:])) for site in pool[f]))

def report(paths):  # rows: id folder place mutation status killer seconds line
    rows = [[l.rstrip('\n').split('\t') for l in open(p) if l.strip()] for p in paths]
    runs = [[r for r in run if r[4] not in ('stillborn', 'equivalent')] for run in rows]
    print('killed / total by folder' + ('' if len(runs) == 1 else ': before, after'))
    tally = lambda rows, f: (sum(r[4] == 'killed' for r in rows if f in ('all', r[1])),
                             sum(f in ('all', r[1]) for r in rows))
    for f in FOLDERS + ['all']:
        print(f'  {f:9}' + ''.join(f' {f"{k}/{t} ({100 * k // t}%)" if t else "-":>14}'
                                   for k, t in (tally(rows, f) for rows in runs)))
    if len(runs) == 1:
        marked = [r for r in rows[0] if r[4] == 'equivalent']
        print(f'drawn but marked equivalent, not counted ({len(marked)}):')
        for r in marked: print(f'  {r[2]}  {r[3]}: {r[5]}')
        survivors = [r for r in runs[0] if r[4] == 'survived']
        print(f'survivors ({len(survivors)}): equivalent (changes nothing observable, and why) or not? To mark one,')
        print(f'add its line below with a tab and why to {os.path.relpath(EQUIVALENT_FILE)}.')
        for r in survivors: print(f'{r[2]}\t{r[3]}\t{r[7]}')
        return 0
    # A mutant is the same in both runs when its file, column, mutation and line text are.
    before, after = ({(r[2].split(':')[0], r[2].split(':')[-1], r[3], r[7]): r for r in rows} for rows in runs)
    both = [k for k in before if k in after]
    print(f'{len(both)} mutants in both runs, {len(before) + len(after) - 2 * len(both)} in one only')
    for k in both:
        if before[k][4] != after[k][4]: print(f'  {after[k][2]}  {k[2]}: {before[k][4]} -> {after[k][4]}')
    (k0, t0), (k1, t1) = (tally(rows, 'all') for rows in runs)
    return 1 if k1 * t0 < k0 * t1 else 0  # the kill rate fell

EQUIVALENT_FILE = os.environ.get('EQUIVALENT_FILE', '')
cmd, args = sys.argv[1], sys.argv[2:]
if cmd == 'select': select(args[0], args[1], int(args[2]), EQUIVALENT_FILE)
elif cmd == 'report': sys.exit(report(args))
elif cmd == 'apply':  # FILE LINE COLUMN OLD NEW: NEW replaces OLD, or the line when NEW is empty
    path, no, col, old, new = args[0], int(args[1]) - 1, int(args[2]), args[3], args[4]  # drop: '' ''
    lines = open(path).read().split('\n')
    assert lines[no][col:col + len(old)] == old, f'{path}:{no + 1}: no {old!r} at {col}'
    lines[no] = lines[no][:col] + new + lines[no][col + len(old):] if new else ''
    open(path, 'w').write('\n'.join(lines))
EOF

usage() { sed -n '2,/^set -e/{/^set -e/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
    case $1 in
        --list) LIST=1; shift; continue ;;
        --no-sanitizers) SANITIZERS=""; shift; continue ;;
        --compare) [ $# -ge 3 ] || usage 2; exec "$PY" -c "$PYCODE" report "$2" "$3" ;;
        --seed) SEED=${2:?} ;; --count) COUNT=${2:?} ;; --build) BUILD=${2:?} ;; --out) OUT=${2:?} ;;
        --timeout) TIMEOUT=${2:?} ;; --e2e) E2E=${2:?} ;; --only) ONLY=${2:?} ;;
        -h|--help) usage ;;
        *) echo "mutants.sh: unknown option $1" >&2; usage 2 ;;
    esac
    shift 2
done
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
SRC=$BUILD/src BIN=$BUILD/build ASAN=$BUILD/asan LOGS=$BUILD/logs
mkdir -p "$SRC" "$LOGS"
exec 9>"$BUILD/lock"; flock -n 9 || { echo "mutants.sh: another run uses $BUILD" >&2; exit 1; }
(cd "$ROOT" && git ls-files -co --exclude-standard) >"$LOGS/files"
while read -r f; do  # a changed file gets a new time stamp: the build sees it
    [ ! -f "$ROOT/$f" ] || cmp -s "$ROOT/$f" "$SRC/$f" || { mkdir -p "$(dirname "$SRC/$f")"; cp "$ROOT/$f" "$SRC/$f"; }
done <"$LOGS/files"
(cd "$SRC" && find . -type f -printf '%P\n' | { grep -vxFf "$LOGS/files" || true; } | xargs -r rm -f)

declare -A QUOTA TAKEN BASE LABELS=([music]='music|tick|song|fuzz' [scenes]='scenes|shell|text'
    [shell]='scenes|shell|text' [platform]=unit [gl11]='unit|subset' [unit]=unit [e2e]=e2e [asan]=unit)
declare -A ALSO_E2E=([shell]=e2e)
SITES=() LEFT_OUT=()
export EQUIVALENT_FILE=$ROOT/scripts/mutants-equivalent.txt
while IFS= read -r row; do
    case $row in
        Q*) IFS=$'\t' read -r _ folder n lines <<<"$row"; TAKEN[$folder]=0
            if [ -n "$ONLY" ]; then QUOTA[$folder]=$COUNT; else QUOTA[$folder]=$n
                echo "$folder: $n mutants ($lines lines with a site)"; fi ;;
        S*) SITES+=("$row") ;;
        X*) IFS=$'\t' read -r _ rel why <<<"$row"; LEFT_OUT+=("$rel ($why)") ;;
    esac
done < <("$PY" -c "$PYCODE" select "$SRC" "$SEED" "$COUNT")
[ -n "$ONLY" ] || echo "left out, not built here:" "${LEFT_OUT[@]}"

test_dir() { if [ "$1" = asan ]; then echo "$ASAN"; else echo "$BIN"; fi; }
run_tests() {  # GROUP LOG [ctest options...]
    local selection=(-L "${LABELS[$1]}") log=$2 exclude=${EXCLUDE:-} timeout=$TIMEOUT dir
    dir=$(test_dir "$1")
    [ "$1" != e2e ] || selection+=(-R "$E2E")
    [ "$1" != asan ] || exclude=${ASAN_EXCLUDE:-} timeout=$((3 * TIMEOUT))  # the sanitizers slow the tests
    [ -z "$exclude" ] || selection+=(-E "$exclude"); shift 2
    nice ctest --test-dir "$dir" "${selection[@]}" -j2 --timeout "$timeout" "$@" >"$log" 2>&1 || true
}
first_failure() {  # LOG [KINDS]: the first test in LOG that ended in one of KINDS (a regex), if any
    sed -n -E "s/.*Test +#[0-9]+: ([^ ]+) .*\*\*\*(${2:-Failed|Timeout|Exception}).*/\1 (\2)/p" "$1" | head -1 |
        sed 's/ (Failed)$//'
}
MUTATED=""  # the file of the copy that holds a mutation
restore() { if [ -n "$MUTATED" ]; then cp "$LOGS/pristine" "$SRC/$MUTATED"; MUTATED=""; fi; }
trap restore EXIT; trap 'exit 130' INT TERM HUP

if [ -z "$LIST" ]; then
    [ -f "$BIN/CMakeCache.txt" ] || ! command -v ninja >/dev/null || GENERATOR=-GNinja
    nice cmake -S "$SRC" -B "$BIN" ${GENERATOR:-} -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBRINDLEC_TESTS=ON -DBRINDLEC_BENCHMARKS=OFF >"$LOGS/configure.log"
    echo "building the pristine copy in $BIN"
    nice cmake --build "$BIN" -j2 >"$LOGS/build.log" 2>&1 || { tail -30 "$LOGS/build.log"; exit 1; }
    if [ -n "$SANITIZERS" ]; then
        [ -f "$ASAN/CMakeCache.txt" ] || ! command -v ninja >/dev/null || ASAN_GENERATOR=-GNinja
        nice cmake -S "$SRC" -B "$ASAN" ${ASAN_GENERATOR:-} -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DBRINDLEC_SANITIZE=address -DBRINDLEC_TESTS=ON -DBRINDLEC_BENCHMARKS=OFF >"$LOGS/configure-asan.log"
        echo "building the pristine copy under the sanitizers in $ASAN"
        nice cmake --build "$ASAN" -j2 >"$LOGS/build-asan.log" 2>&1 || { tail -30 "$LOGS/build-asan.log"; exit 1; }
    fi
    EXCLUDE="" ASAN_EXCLUDE=""  # the pristine run: tests to leave out, and how long a run takes
    for key in unit gl11 e2e ${SANITIZERS:+asan}; do
        dir=$(test_dir $key)
        rm -f "$dir/Testing/Temporary/LastTestsFailed.log"; start=$SECONDS
        run_tests $key "$LOGS/pristine-$key.log"
        BASE[$key]=$((SECONDS - start))
        tests=$(sed -n 's/.* out of \([0-9]*\)$/\1/p' "$LOGS/pristine-$key.log")
        [ "${tests:-0}" -gt 0 ] || { echo "no $key tests: see $LOGS/pristine-$key.log" >&2; exit 1; }
        failed=$(sed 's/^[0-9]*://' "$dir/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || true)
        [ -z "$failed" ] || echo "left out, failing on the pristine copy ($key):" $failed
        [ -z "$failed" ] || failed=$(sed 's/[][\.*^$+?(){}|]/\\&/g; s/.*/^&$/' <<<"$failed" | paste -sd'|')
        if [ "$key" = asan ]; then ASAN_EXCLUDE+="${failed:+${ASAN_EXCLUDE:+|}}$failed"
        else EXCLUDE+="${failed:+${EXCLUDE:+|}}$failed"; fi
        echo "pristine $key tests: $tests in ${BASE[$key]} s"
    done
fi

RESULTS=$LOGS/results.tsv id=0; [ -z "$LIST" ] || RESULTS=/dev/null; : >"$RESULTS"
for row in "${SITES[@]}"; do
    IFS=$'\t' read -r _ folder group rel equivalent no col kind old new <<<"$row"
    place=$rel:$no:$((col + 1))
    [ "${TAKEN[$folder]}" -lt "${QUOTA[$folder]}" ] || continue
    [ -z "$ONLY" ] || [[ $place =~ $ONLY ]] || continue
    what="'$old' -> '$new'"; [ "$kind" != drop ] || what=drop
    context=$(sed -n "${no}{s/^ *//;s/\t/ /g;p}" "$SRC/$rel")
    id=$((id + 1)) start=$SECONDS killer="" status="(${LABELS[$group]})" took=""
    if [ "$equivalent" != - ]; then  # not built; the next site drawn in its folder takes its place
        status=equivalent killer=$equivalent
    elif [ -z "$LIST" ]; then
        cp "$SRC/$rel" "$LOGS/pristine"; MUTATED=$rel
        "$PY" -c "$PYCODE" apply "$SRC/$rel" "$no" "$col" "$old" "$new"
        if ! nice cmake --build "$BIN" -j2 >"$LOGS/mutant.log" 2>&1; then
            status=killed killer="the build ($LOGS/mutant.log)"
            ! grep -q "$rel:[0-9]*:[0-9]*: error" "$LOGS/mutant.log" || status=stillborn killer=""
        else
            for tests in $group ${ALSO_E2E[$group]:-}; do  # the shell's also meet the real backend
                base=${BASE[unit]}; [ -z "${BASE[$tests]:-}" ] || base=${BASE[$tests]}
                run_tests "$tests" "$LOGS/tests.log" --stop-on-failure \
                    --stop-time "$(date -d "+$((2 * base + TIMEOUT)) sec" +%T)"
                killer=$(first_failure "$LOGS/tests.log")
                [ -z "$killer" ] || break
            done
            status=survived; [ -z "$killer" ] || status=killed
            # The unit tests as the sanitizer run meets them; the real intro's own files are not in them.
            if [ -z "$killer" ] && [ -n "$SANITIZERS" ] && [ "$group" != e2e ] &&
                nice cmake --build "$ASAN" -j2 >"$LOGS/mutant-asan.log" 2>&1; then
                run_tests asan "$LOGS/tests.log" --stop-on-failure \
                    --stop-time "$(date -d "+$((2 * BASE[asan] + 3 * TIMEOUT)) sec" +%T)"
                # A test that passed built plainly and only ran out of time here was slowed, not failed.
                killer=$(first_failure "$LOGS/tests.log" 'Failed|Exception')
                [ -z "$killer" ] || status=killed killer="$killer under the sanitizers"
            fi
        fi
        restore; took="($((SECONDS - start)) s)"
    fi
    [ "$status" = stillborn ] || [ "$status" = equivalent ] || TAKEN[$folder]=$((TAKEN[$folder] + 1))
    printf '#%-3s %-36s %-16s %-9s %s %s\n' $id "$place" "$what" "$status" "$killer" "$took"
    [ "$kind" != drop ] || echo "     dropped: $context"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' $id "$folder" "$place" "$what" "$status" "${killer:--}" \
        $((SECONDS - start)) "$context" >>"$RESULTS"
done
[ -z "$LIST" ] || exit 0
[ -z "$OUT" ] || cp "$RESULTS" "$OUT"
"$PY" -c "$PYCODE" report "$RESULTS"
