#!/usr/bin/env bash
# Serves the web build on this machine only and prints the address to open.
#
#   tools/web/serve.sh [PORT]    (default 8000)
#
# Serves build/web/zephrin-<version>-web.zip, which the web preset builds
# (./test.sh web, or cmake --workflow --preset web), unpacked into
# build/web/site, as real hosts serve it: compressed, with the WebAssembly
# type (tools/web/server.mjs); Ctrl-C stops it.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
ZIP="$ROOT/build/web/zephrin-$VERSION-web.zip"
SITE="$ROOT/build/web/site"
PORT="${1:-8000}"

[ -f "$ZIP" ] || die "no $ZIP yet: build it first with ./test.sh web"
command -v node >/dev/null && command -v unzip >/dev/null || need_packages serve
rm -rf "$SITE"
mkdir -p "$SITE"
unzip -q "$ZIP" -d "$SITE"
exec node "$ROOT/tools/web/server.mjs" "$SITE" "$PORT"
