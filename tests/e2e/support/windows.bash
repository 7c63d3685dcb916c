# Shared by the windows_*.sh end-to-end tests (sourced, not run): builds a
# Windows preset with MinGW-w64 in a folder of its own under the native
# build folder, so CI cross-builds the intro as part of the test suite.

set -euo pipefail

: "${BRINDLEC_BIN:?BRINDLEC_BIN must name the native build folder}"
: "${BRINDLEC_SOURCE_DIR:?BRINDLEC_SOURCE_DIR must name the source folder}"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The tests need these tools; CI installs them, so a missing one fails.
require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
    done
}

# Configures and builds the preset (both quick when nothing changed); sets
# windows_exe to the program.
build_windows_preset() {
    local preset=$1
    local dir=$BRINDLEC_BIN/$preset
    mkdir -p "$dir"
    (cd "$BRINDLEC_SOURCE_DIR" && cmake --preset "$preset" -B "$dir") >"$dir/configure.log" 2>&1 ||
        { cat "$dir/configure.log" >&2; fail "configuring $preset"; }
    # One job: CTest may be building the other preset at the same time.
    cmake --build "$dir" --parallel 1 >"$dir/build.log" 2>&1 ||
        { cat "$dir/build.log" >&2; fail "building $preset"; }
    windows_exe=$dir/brindlec.exe
    [ -f "$windows_exe" ] || fail "$preset built no brindlec.exe"
}

# The DLLs the program may import: those every Windows ships.
allowed_dlls="opengl32.dll glu32.dll gdi32.dll user32.dll kernel32.dll winmm.dll msvcrt.dll"

# Fails unless every DLL that OBJDUMP lists for EXE is an allowed one.
check_imports() {
    local objdump=$1 exe=$2 dll
    local dlls
    dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
    [ -n "$dlls" ] || fail "$exe imports nothing (objdump found no import table)"
    for dll in $dlls; do
        case " $allowed_dlls " in
        *" $dll "*) ;;
        *) fail "$exe imports $dll, which Windows does not ship" ;;
        esac
    done
    echo "imports: $(echo $dlls)"
}
