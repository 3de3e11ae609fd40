#!/usr/bin/env bash
# Checks quorvin-get's command line and output against the benchmark's local
# server: two URLs on one kept connection, saved bodies, an abort, and the
# error line and exit status for a refused https URL.
#   check-quorvin-get.sh QUORVIN_GET SERVER
set -euo pipefail
get=$1
server_bin=$2
work=$(mktemp -d)
trap 'kill "$server" 2> /dev/null || true; rm -rf "$work"' EXIT
mkfifo "$work/port"
"$server_bin" 100000 3 60 > "$work/port" &
server=$!
read -r port < "$work/port"
url="http://127.0.0.1:$port/f"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$get" --out-dir "$work" "$url" "$url" > "$work/out" || fail "exit status $?"
[ "$(grep -c '^begin 100000$' "$work/out")" = 2 ] || fail "begin lines: $(cat "$work/out")"
[ "$(grep -c '^ok 200 100000$' "$work/out")" = 2 ] || fail "ok lines"
[ "$(grep -c '^end$' "$work/out")" = 2 ] || fail "end lines"
[ "$(stat -c %s "$work/body-1")" = 100000 ] && [ "$(stat -c %s "$work/body-2")" = 100000 ] ||
  fail "saved bodies"

status=0
"$get" --abort-at 1 "$url" "https://127.0.0.1/x" > "$work/out" || status=$?
[ "$status" = 1 ] || fail "exit status $status for a failed URL"
grep -q '^ok 200 ' "$work/out" || fail "aborted transfer: $(cat "$work/out")"
! grep -q '^ok 200 100000$' "$work/out" || fail "abort did not cut the body"
grep -qx 'error ETransportInvalid Transport value is not valid' "$work/out" || fail "error line"
echo "1 passed, 0 failed"
