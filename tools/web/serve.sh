#!/usr/bin/env bash
# Serves the web build on this machine only and prints the address to open.
#
#   tools/web/serve.sh [PORT]    (default 8000)
#
# Serves dist/zephrin-<version>-web.zip unpacked into build/web/site, after
# tools/web/build.sh has made it, as real hosts serve it: compressed, with
# the WebAssembly type (tools/web/server.mjs); Ctrl-C stops it.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
ZIP="$DIST/zephrin-$VERSION-web.zip"
SITE="$ROOT/build/web/site"
PORT="${1:-8000}"

[ -f "$ZIP" ] || { echo "no $ZIP yet: run tools/web/build.sh first" >&2; exit 1; }
command -v node >/dev/null && command -v unzip >/dev/null || need_packages serve
rm -rf "$SITE"
mkdir -p "$SITE"
unzip -q "$ZIP" -d "$SITE"
exec node "$ROOT/tools/web/server.mjs" "$SITE" "$PORT"
