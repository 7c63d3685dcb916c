#!/usr/bin/env bash
# Builds the browser version and serves it on 127.0.0.1: open the address
# it prints. PORT=8080 scripts/web.sh picks the port (default 8000).
# brindlec-single.html in build-web also opens straight from the disk.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages $WEB_PACKAGES
cmake --preset web >/dev/null
cmake --build --preset web
port=${PORT:-8000}
echo "Brindlec: http://127.0.0.1:$port/brindlec.html  (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web
