#!/usr/bin/env bash
# Serves the web build on this machine only and prints the address to open.
#
#   tools/web/serve.sh [PORT]    (default 8000)
#
# Serves dist/zephrin-<version>-web.zip unpacked into build/web/site, after
# tools/web/build.sh has made it; Ctrl-C stops it.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ZIP="$ROOT/dist/zephrin-$("$ROOT/tools/version.sh")-web.zip"
SITE="$ROOT/build/web/site"
PORT="${1:-8000}"

[ -f "$ZIP" ] || { echo "no $ZIP yet: run tools/web/build.sh first" >&2; exit 1; }
command -v python3 >/dev/null || "$ROOT/tools/install-packages.sh" python3
command -v unzip >/dev/null || "$ROOT/tools/install-packages.sh" unzip
rm -rf "$SITE"
mkdir -p "$SITE"
unzip -q "$ZIP" -d "$SITE"
echo "Zephrin: open http://127.0.0.1:$PORT/ in a browser (Ctrl-C stops the server)"
exec python3 -m http.server --bind 127.0.0.1 --directory "$SITE" "$PORT"
