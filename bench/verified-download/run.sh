#!/usr/bin/env bash
# A verified update against curl: one component of SIZE bytes (1 GiB by
# default) with its SHA-256 in the catalogue, served by nginx on 127.0.0.1.
#   - the updater's own path (bench_verified_download: detection, then the
#     Update handler: download with the length and digest checked as the
#     body streams, flush, stage, install), timed from Update to "Finished. ";
#   - `curl -o FILE` of the same file from the same server, and curl
#     followed by `sync FILE`, which waits for the data to reach the disk
#     as the updater must before it stages a file;
# side by side, alternating, ROUNDS times each; the best time of each counts.
# Each comparison runs twice: with the files on the disk (the updater's
# flush then waits for the disk) and in /dev/shm (the transfer and the
# digest alone).
# Then `quorvin-publish sign` of a server tree holding the file against
# `openssl dgst -sha256` of the file alone.
#   bench/verified-download/run.sh [BUILD_DIR] [SIZE_BYTES] [ROUNDS]
set -euo pipefail
build=${1:-build/release}
size=${2:-$((1024 * 1024 * 1024))}
rounds=${3:-3}
bench_bin="$build/bench/verified-download/bench_verified_download"
publish_bin="$build/tools/quorvin-publish/quorvin-publish"
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
for tool in "$bench_bin" "$publish_bin" "$nginx_bin" /usr/bin/time curl openssl; do
  command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
nginx_pid=""
trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2> /dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/server/download"
echo "writing $size random bytes ..." >&2
head -c "$size" /dev/urandom > "$work/server/download/big.bin"
digest=$(openssl dgst -sha256 -r "$work/server/download/big.bin" | cut -d' ' -f1)
printf '[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,big.bin,sha256=%s\r\n' "$digest" \
  > "$work/server/download/allfiles.ini"

# nginx in the foreground with every path of its own, on a free port.
. "$(dirname "$0")/../nginx.sh"
bench_nginx_start "$work/nginx" "$work/server" || exit 1
nginx_pid=$bench_nginx_pid
port=$bench_nginx_port
url="http://127.0.0.1:$port/"

# Seconds of one command from GNU time; everything written before is
# flushed outside the timing, so no run pays for another's writes.
timed() {
  sync
  /usr/bin/time -f "%e" -o "$work/time" "$@" > "$work/out" 2> "$work/err" ||
    { echo "failed: $* $(cat "$work/err")" >&2; exit 1; }
  cat "$work/time"
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }

# Runs the update, curl -o FILE and curl -o FILE followed by sync FILE
# (which waits for the file's data to reach the disk, as the updater must
# before it stages a file), alternating, with every file in FOLDER.  Sets
# update_s, curl_s and synced_s to the best times.
compare_in() {
  local folder=$1 s installed
  update_s="" curl_s="" synced_s=""
  mkdir -p "$folder"
  for round in $(seq 1 "$rounds"); do
    sync
    "$bench_bin" "$url" "$folder" > "$work/out" || { echo "update failed" >&2; exit 1; }
    read -r s installed < "$work/out"
    [ "$installed" = "$size" ] || { echo "the update installed $installed bytes" >&2; exit 1; }
    update_s=$(best "$s" "$update_s")
    s=$(timed curl -sS -o "$folder/curl.bin" "${url}download/big.bin")
    [ "$(stat -c %s "$folder/curl.bin")" = "$size" ] || { echo "curl wrote a short file" >&2; exit 1; }
    curl_s=$(best "$s" "$curl_s")
    rm -f "$folder/curl.bin"
    s=$(timed sh -c 'curl -sS -o "$1" "$2" && sync "$1"' - "$folder/curl.bin" "${url}download/big.bin")
    synced_s=$(best "$s" "$synced_s")
    rm -f "$folder/curl.bin"
    echo "round $round in $folder: update ${update_s}s, curl ${curl_s}s, curl+sync ${synced_s}s (best so far)" >&2
  done
}
report() {
  awk -v what="$1" -v size="$size" -v us="$update_s" -v cs="$curl_s" -v ys="$synced_s" 'BEGIN {
    mib = size / 1048576
    printf "%s\n", what
    printf "  update (verified)  %.2f s  %4.0f MiB/s   Update pressed to \"Finished. \"\n", us, mib / us
    printf "  curl -o FILE       %.2f s  %4.0f MiB/s   ratio update/curl %.2f (goal at most 1.25)\n", cs, mib / cs, us / cs
    printf "  curl, then sync    %.2f s  %4.0f MiB/s   ratio update/(curl+sync) %.2f\n", ys, mib / ys, us / ys
  }'
}

compare_in "$work/disk"
disk_report=$(report "files on the disk of $work ($(df --output=fstype "$work" | tail -1))")
memory_report="(no /dev/shm: the in-memory comparison is left out)"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  shm=$(mktemp -d /dev/shm/quorvin-bench-XXXXXX)
  trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2> /dev/null; rm -rf "$work" "$shm"' EXIT
  compare_in "$shm"
  memory_report=$(report "files in memory (/dev/shm, where a flush costs nothing): the transfer and the digest alone")
fi

# The vendor's side: signing hashes every component file of the tree.
"$publish_bin" keygen "$work/vendor.key" > /dev/null
sign_s="" dgst_s=""
for round in $(seq 1 "$rounds"); do
  s=$(timed "$publish_bin" sign "$work/vendor.key" "$work/server")
  sign_s=$(best "$s" "$sign_s")
  s=$(timed openssl dgst -sha256 "$work/server/download/big.bin")
  dgst_s=$(best "$s" "$dgst_s")
done

echo "size $((size / 1048576)) MiB, nginx on 127.0.0.1, best of $rounds rounds, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$disk_report"
echo "$memory_report"
awk -v size="$size" -v ss="$sign_s" -v ds="$dgst_s" 'BEGIN {
  mib = size / 1048576
  printf "signing a tree that holds the file\n"
  printf "  quorvin-publish sign  %.2f s  %4.0f MiB/s\n", ss, mib / ss
  printf "  openssl dgst -sha256  %.2f s  %4.0f MiB/s   ratio sign/openssl %.2f\n", ds, mib / ds, ss / ds
}'
