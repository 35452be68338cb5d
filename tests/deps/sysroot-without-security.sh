#!/usr/bin/env bash
# A mirror caught mid-update, as Debian's often is: the security archive
# answers nothing but errors (a server on the loopback stands in for it).
# A cross build's sysroot is still made, from the release's own suites, and
# says in one line that it went without security; once no index at all can
# be had, the sysroot already unpacked serves as it stands, and where there
# is none the script fails rather than leave an empty one.
#
#   tests/deps/sysroot-without-security.sh SCRATCH
set -euo pipefail
source "$(dirname "$0")/../../tools/lib.sh"
[ $# -eq 1 ] || die "usage: sysroot-without-security.sh SCRATCH"
scratch=$1
rm -rf "$scratch"
mkdir -p "$scratch"

python3 - "$scratch/port" <<'PY' &
import http.server, os, sys
class Failing(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_error(503, "Mirror sync in progress")
    do_HEAD = do_GET
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Failing)
with open(sys.argv[1] + ".part", "w") as f:
    f.write(str(server.server_port))
os.rename(sys.argv[1] + ".part", sys.argv[1])
server.serve_forever()
PY
server=$!
trap 'kill $server' EXIT
for _ in $(seq 1 100); do [ -s "$scratch/port" ] && break; sleep 0.1; done
failing="http://127.0.0.1:$(cat "$scratch/port")"

sysroot() { # sysroot ARCH: the script's exit status; its output in $scratch/out and err
  "$ROOT/tools/deps/debian-sysroot.sh" "$scratch" "$1" bookworm > "$scratch/out" 2> "$scratch/err"
}
export ZEPHRIN_DEBIAN_SECURITY_MIRROR="$failing/debian-security" ZEPHRIN_APT_PAUSE=1

sysroot arm64 || { cat "$scratch/err" >&2; die "no sysroot without the security archive"; }
root=$(cat "$scratch/out")
grep -q "going on without bookworm-security" "$scratch/err" ||
  die "it did not say that it went without security: $(cat "$scratch/err")"
[ "$(wc -l < "$scratch/err")" -eq 1 ] || die "it said more than one line: $(cat "$scratch/err")"
[ "$(cut -d' ' -f1 "$root/suites.txt" | tr '\n' ' ')" = "bookworm bookworm-updates " ] ||
  die "suites.txt does not say it was made from bookworm and bookworm-updates: $(cat "$root/suites.txt")"
file -L "$root/usr/lib/aarch64-linux-gnu/libSDL2-2.0.so.0" | grep -q 'ARM aarch64' ||
  die "the sysroot has no arm64 SDL library"
[ -f "$root/usr/lib/aarch64-linux-gnu/cmake/SDL2_mixer/sdl2_mixer-config.cmake" ] ||
  die "the sysroot has no SDL2_mixer CMake package"

# Another version of the script, and no index at all: the same packages serve.
echo "another" > "$root/.zephrin-sysroot-key"
export ZEPHRIN_DEBIAN_MIRROR="$failing/debian" ZEPHRIN_APT_ATTEMPTS=1
sysroot arm64 || { cat "$scratch/err" >&2; die "the sysroot it had did not serve without an index"; }
[ "$(cat "$scratch/out")" = "$root" ] && grep -q "stays as it stands" "$scratch/err" ||
  die "it did not keep the sysroot it had: $(cat "$scratch/err")"
# ... but there is none to keep for another processor.
! sysroot armhf || die "it made an armhf sysroot without any index"
echo "a sysroot made without the security suite, and kept while no index can be had"
