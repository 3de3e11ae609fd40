#!/usr/bin/env bash
# Download benchmark: fetches the same file (1 GiB by default) from one fast
# local server into a file, with `quorvin-get --out-dir` and with
# `curl -o FILE`, side by side, and reports both times, their ratio and the
# peak memory of each.  Traffic stays on 127.0.0.1.
# Each tool runs ROUNDS times, alternating; the best time of each counts, so
# that a busy machine disturbs the comparison less.  Before every run the
# previous file is removed and everything written is flushed (outside the
# timing), so neither tool pays for the other's writes.
#   bench/http-download/run.sh [BUILD_DIR] [SIZE_BYTES] [ROUNDS]
set -euo pipefail
build=${1:-build}
size=${2:-$((1024 * 1024 * 1024))}
rounds=${3:-3}
server_bin="$build/bench/http-download/http-download-server"
get_bin="$build/tools/quorvin-get/quorvin-get"
for tool in "$server_bin" "$get_bin" /usr/bin/time curl; do
  command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'kill "$server" 2> /dev/null || true; rm -rf "$work"' EXIT
mkfifo "$work/port"
"$server_bin" "$size" $((2 * rounds)) 1200 > "$work/port" &
server=$!
read -r port < "$work/port"  # the server prints its port once it listens
url="http://127.0.0.1:$port/file.bin"
mkdir "$work/get"

# Seconds and peak resident kilobytes of one command, from GNU time.
measure() {
  rm -f "$work/get/body-1" "$work/curl.bin"
  sync
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > "$work/out" 2> /dev/null
  cat "$work/time"
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
get_s="" curl_s="" get_kb=0 curl_kb=0
for round in $(seq 1 "$rounds"); do
  read -r s kb < <(measure "$get_bin" --out-dir "$work/get" "$url")
  tail -n1 "$work/out" | grep -q "^ok 200 $size\$" || { echo "quorvin-get failed: $(tail -n1 "$work/out")" >&2; exit 1; }
  [ "$(stat -c %s "$work/get/body-1")" = "$size" ] || { echo "quorvin-get wrote a short file" >&2; exit 1; }
  get_s=$(best "$s" "$get_s"); get_kb=$((kb > get_kb ? kb : get_kb))
  read -r s kb < <(measure curl -sS -o "$work/curl.bin" "$url")
  [ "$(stat -c %s "$work/curl.bin")" = "$size" ] || { echo "curl wrote a short file" >&2; exit 1; }
  curl_s=$(best "$s" "$curl_s"); curl_kb=$((kb > curl_kb ? kb : curl_kb))
  echo "round $round: quorvin-get ${get_s}s best, curl ${curl_s}s best" >&2
done

awk -v load="$(cut -d' ' -f1-3 /proc/loadavg)" -v size="$size" -v gs="$get_s" -v gk="$get_kb" -v cs="$curl_s" -v ck="$curl_kb" 'BEGIN {
  mib = size / 1048576
  printf "size            %d MiB into a file (best of the rounds, load %s)\n", mib, load
  printf "quorvin-get     %.2f s  %.0f MiB/s  peak %.1f MiB\n", gs, (gs > 0 ? mib / gs : 0), gk / 1024
  printf "curl            %.2f s  %.0f MiB/s  peak %.1f MiB\n", cs, (cs > 0 ? mib / cs : 0), ck / 1024
  printf "ratio           %.2f (quorvin-get time / curl time)\n", (cs > 0 ? gs / cs : 0)
}'
