# Debian packages Brindlec needs, and a helper that installs the missing ones.
# Sourced by run.sh, test.sh and the scripts in scripts/.

BUILD_PACKAGES="cmake g++ make pkg-config libsdl2-dev libfreetype-dev libfontconfig-dev
  libosmesa6-dev libglu1-mesa-dev libgl-dev libpng-dev libgtest-dev libbenchmark-dev
  fonts-dejavu-core liblzma-dev"
WEB_PACKAGES="cmake g++ make pkg-config libfreetype-dev libfontconfig-dev libgl-dev libglu1-mesa-dev fonts-dejavu-core
  emscripten nodejs python3"
# The release runs under Debian's 32-bit Wine, from the i386 architecture,
# with the i386 Mesa drivers for its OpenGL.
WINE_PACKAGES="wine32:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 libgl1:i386 libglu1-mesa:i386"
RELEASE_PACKAGES="g++-mingw-w64-i686 binutils-mingw-w64-i686 zip unzip"
TEST_PACKAGES="xvfb xdotool x11-utils xfonts-base imagemagick sox
  g++-mingw-w64-i686 binutils-mingw-w64-i686 $WINE_PACKAGES zip unzip
  clang libclang-rt-14-dev clang-format emscripten nodejs chromium firefox-esr webkit2gtk-driver pulseaudio"
# npm installs the browser tests' driver (puppeteer-core); Node.js from
# elsewhere than Debian brings its own npm, which Debian's would replace.
command -v npm >/dev/null 2>&1 || TEST_PACKAGES="$TEST_PACKAGES npm"

# ensure_packages PACKAGE...: installs what is missing when run as root
# (adding the i386 architecture first when an i386 package is asked for),
# otherwise prints the exact commands to run and fails.
ensure_packages() {
    local missing="" package add_i386=""
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || add_i386=yes ;;
    esac
    if [ "$(id -u)" = 0 ]; then
        echo "Installing:$missing"
        [ -z "$add_i386" ] || dpkg --add-architecture i386
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
    else
        echo "Missing Debian packages. Run:"
        [ -z "$add_i386" ] || echo "  sudo dpkg --add-architecture i386 && sudo apt-get update"
        echo "  sudo apt-get install -y$missing"
        return 1
    fi
}

# ensure_node_modules: the browser tests' Node packages, as
# tests/e2e/support/package-lock.json pins them, in
# tests/e2e/support/node_modules (from the npm registry, when that folder
# is missing or older than the lock).
ensure_node_modules() {
    local support=tests/e2e/support
    [ "$support/node_modules/.package-lock.json" -nt "$support/package-lock.json" ] && return 0
    npm ci --prefix "$support" --no-audit --no-fund --loglevel=error
}
