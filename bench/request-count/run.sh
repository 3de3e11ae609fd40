#!/usr/bin/env bash
# The requests of one Next and Update against a server that offers no
# compressed copies or patches: the catalogue as every release before
# smaller downloads wrote it (a digest and a size, nothing more), served by
# nginx on 127.0.0.1, with each request line logged.  Run it with the build
# of an earlier release and with this one: an updater that knows smaller
# downloads asks for exactly what the earlier one asked for.
#   bench/request-count/run.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/release}
bench_bin="$build/bench/verified-download/bench_verified_download"
for tool in "$bench_bin" nginx curl openssl; do
  command -v "$tool" > /dev/null || [ -x "$tool" ] || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
nginx_pid=""
trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2> /dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/server/download" "$work/trees"
head -c 1048576 /dev/urandom > "$work/server/download/big.bin"
digest=$(openssl dgst -sha256 -r "$work/server/download/big.bin" | cut -d' ' -f1)
printf '[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,big.bin,sha256=%s,size=1048576\r\n' \
  "$digest" > "$work/server/download/allfiles.ini"

. "$(dirname "$0")/../nginx.sh"
BENCH_NGINX_ACCESS_LOG=$work/requests.log bench_nginx_start "$work/nginx" "$work/server" || exit 1
nginx_pid=$bench_nginx_pid
: > "$work/requests.log" # the start-up probe is not the updater's

"$bench_bin" "http://127.0.0.1:$bench_nginx_port/" "$work/trees" > /dev/null
kill "$nginx_pid" && wait "$nginx_pid" 2> /dev/null || true
nginx_pid=""
echo "Next and Update of one file, no compressed copy or patch offered ($build):"
echo "  $(wc -l < "$work/requests.log") requests"
sed 's/^/    /' "$work/requests.log"
