#!/usr/bin/env bash
# Download benchmark: fetches the same file (512 MiB by default) from one fast
# local server with quorvin-get and with curl, and reports both times, their
# ratio and the peak memory of each.  Traffic stays on 127.0.0.1.
# Each tool runs ROUNDS times, alternating; the best time of each counts, so
# that a busy machine disturbs the comparison less.
#   bench/http-download/run.sh [BUILD_DIR] [SIZE_BYTES] [ROUNDS]
set -euo pipefail
build=${1:-build}
size=${2:-$((512 * 1024 * 1024))}
rounds=${3:-3}
server_bin="$build/bench/http-download/http-download-server"
get_bin="$build/tools/quorvin-get/quorvin-get"
for tool in "$server_bin" "$get_bin" /usr/bin/time curl; do
  command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'kill "$server" 2> /dev/null || true; rm -rf "$work"' EXIT
mkfifo "$work/port"
"$server_bin" "$size" $((3 * rounds)) 600 > "$work/port" &
server=$!
read -r port < "$work/port"  # the server prints its port once it listens
url="http://127.0.0.1:$port/file.bin"

# Seconds and peak resident kilobytes of one command, from GNU time.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > "$work/out" 2> /dev/null
  cat "$work/time"
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
get_s="" curl_s="" shm_s="" get_kb=0 curl_kb=0
# Control: curl writing into memory (tmpfs), which fills as much fresh memory
# as quorvin-get's in-memory body does.
shm_file=/dev/shm/quorvin-bench-$$
for round in $(seq 1 "$rounds"); do
  read -r s kb < <(measure "$get_bin" "$url")
  tail -n1 "$work/out" | grep -q "^ok 200 $size\$" || { echo "quorvin-get failed: $(tail -n1 "$work/out")" >&2; exit 1; }
  get_s=$(best "$s" "$get_s"); get_kb=$((kb > get_kb ? kb : get_kb))
  read -r s kb < <(measure curl -sS -o /dev/null "$url")
  curl_s=$(best "$s" "$curl_s"); curl_kb=$((kb > curl_kb ? kb : curl_kb))
  read -r s kb < <(measure curl -sS -o "$shm_file" "$url")
  rm -f "$shm_file"
  shm_s=$(best "$s" "$shm_s")
  echo "round $round: quorvin-get ${get_s}s best, curl ${curl_s}s best" >&2
done

awk -v load="$(cut -d' ' -f1-3 /proc/loadavg)" -v size="$size" -v gs="$get_s" -v gk="$get_kb" -v cs="$curl_s" -v ck="$curl_kb" -v ss="$shm_s" 'BEGIN {
  mib = size / 1048576
  printf "size            %d MiB (best of the rounds, load %s)\n", mib, load
  printf "quorvin-get     %.2f s  %.0f MiB/s  peak %.0f MiB\n", gs, (gs > 0 ? mib / gs : 0), gk / 1024
  printf "curl            %.2f s  %.0f MiB/s  peak %.0f MiB\n", cs, (cs > 0 ? mib / cs : 0), ck / 1024
  printf "ratio           %.2f (quorvin-get time / curl time)\n", (cs > 0 ? gs / cs : 0)
  printf "control         curl into tmpfs %.2f s, ratio %.2f\n", ss, (ss > 0 ? gs / ss : 0)
}'
