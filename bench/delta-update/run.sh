#!/usr/bin/env bash
# Updates of real program binaries between two consecutive releases, by
# patch, by compressed copy and by the whole file: bytes on the wire and the
# time from the request to the rebuilt file flushed and its digest checked,
# on the loopback link and on one throttled to 10 MiB/s, both served by
# nginx on 127.0.0.1; then the patch applied from a local file.
#
# The releases come from the npm registry at run time (npm pack), into a
# cache outside the tree (QUORVIN_BENCH_CACHE, default ~/.cache/quorvin-bench-delta),
# together with the compressed copies and patches made from them, which
# take minutes at level 19 for the large pair; nothing is committed.
# Only the downloads of inputs reach the registry; every transfer measured
# goes over 127.0.0.1.
#   bench/delta-update/run.sh [BUILD_DIR] [ROUNDS] [PAIRS]
# PAIRS: "small", "large" or "all" (default): esbuild's Linux binary
# (10 MiB), Next.js's SWC module for Linux (125 MiB).
set -euo pipefail
build=${1:-build/release}
rounds=${2:-3}
pairs=${3:-all}
cache=${QUORVIN_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvin-bench-delta}
level=19
bench_bin="$build/bench/delta-update/bench_delta_update"
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
for tool in "$bench_bin" "$nginx_bin" npm curl sha256sum; do
  command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 2; }
done
mkdir -p "$cache"

work=$(mktemp -d)
nginx_pid=""
trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2> /dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/server" "$work/client"

# The file FILE_IN_PACKAGE of PACKAGE@VERSION, fetched once into the cache.
release_file() {
  local package=$1 version=$2 file=$3
  local folder="$cache/$(echo "$package" | tr -d @ | tr / -)-$version"
  if [ ! -f "$folder/$file" ]; then
    echo "fetching $package@$version from the npm registry ..." >&2
    mkdir -p "$folder"
    (cd "$folder" && npm pack --silent "$package@$version" > pack-name) >&2
    tar -xzf "$folder/$(cat "$folder/pack-name")" -C "$folder"
  fi
  echo "$folder/$file"
}

# nginx on two free ports: the loopback link as it is, and one whose every
# response is sent at 10 MiB/s.
. "$(dirname "$0")/../nginx.sh"
bench_nginx_start "$work/nginx" "$work/server" "limit_rate 10m;" || exit 1
nginx_pid=$bench_nginx_pid
fast=$bench_nginx_port
slow=$((fast + 1))

label() {
  case $1 in
    whole) echo "whole file" ;;
    zst) echo "compressed copy" ;;
    *) echo "$1" ;;
  esac
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
pct() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f %%", 100 * a / b }'; }

# One pair: NAME PACKAGE OLD NEW FILE_IN_PACKAGE
bench_pair() {
  local name=$1 package=$2 old_version=$3 new_version=$4 file=$5
  local old new size digest made line route port s body anon decoder
  old=$(release_file "$package" "$old_version" "$file")
  new=$(release_file "$package" "$new_version" "$file")
  size=$(stat -c %s "$new")
  digest=$(sha256sum "$new" | cut -d' ' -f1)
  made="$cache/made-$name-$old_version-$new_version-level$level"
  if [ ! -f "$made/times" ]; then
    echo "making the compressed copy and the patch of $name (level $level) ..." >&2
    mkdir -p "$made"
    "$bench_bin" make "$old" "$new" "$made" "$level" > "$made/times.new"
    mv "$made/times.new" "$made/times"
  fi
  rm -rf "$work/server/$name"
  mkdir -p "$work/server/$name"
  ln -s "$new" "$work/server/$name/whole"
  ln -s "$made/copy.zst" "$work/server/$name/zst"
  ln -s "$made/patch" "$work/server/$name/patch"

  declare -A seconds bytes peak dec
  for round in $(seq 1 "$rounds"); do
    for port in "$fast" "$slow"; do
      for route in whole zst patch; do
        rm -f "$work/client/out"
        sync
        read -r s body anon decoder < <("$bench_bin" fetch "$route" \
          "http://127.0.0.1:$port/$name/$route" "$work/client/out" "$size" "$digest" "$old")
        seconds[$port$route]=$(best "$s" "${seconds[$port$route]:-}")
        bytes[$route]=$body
        peak[$route]=$(( anon > ${peak[$route]:-0} ? anon : ${peak[$route]:-0} ))
        dec[$route]=$decoder
      done
    done
    echo "round $round of $name done" >&2
  done
  local apply_s="" decode_s=""
  for round in $(seq 1 "$rounds"); do
    rm -f "$work/client/out"
    sync
    read -r s line < <("$bench_bin" apply "$old" "$made/patch" "$work/client/out" "$size" "$digest")
    apply_s=$(best "$s" "$apply_s")
    decode_s=$(best "$line" "$decode_s")
  done

  echo "$name $old_version -> $new_version ($(basename "$file"), $size bytes = $(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1048576 }') MiB)"
  read -r _ copy_bytes copy_s < <(grep '^copy ' "$made/times")
  read -r _ patch_bytes patch_s < <(grep '^patch ' "$made/times")
  echo "  made at level $level: compressed copy $copy_bytes bytes ($(pct "$copy_bytes" "$size")) in ${copy_s} s,"
  echo "                   patch $patch_bytes bytes ($(pct "$patch_bytes" "$size")) in ${patch_s} s   (goal: at most 10 %)"
  printf "  %-16s %12s %9s %10s %12s %14s\n" "update by" "body bytes" "share" "loopback" "at 10 MiB/s" "peak anon"
  for route in whole zst patch; do
    printf "  %-16s %12s %9s %8.2f s %10.2f s %10.1f MiB\n" \
      "$(label "$route")" \
      "${bytes[$route]}" "$(pct "${bytes[$route]}" "$size")" "${seconds[$fast$route]}" \
      "${seconds[$slow$route]}" "$(awk -v k="${peak[$route]}" 'BEGIN { print k / 1024 }')"
  done
  awk -v p="${seconds[${slow}patch]}" -v w="${seconds[${slow}whole]}" 'BEGIN {
    printf "  at 10 MiB/s the patched update takes %.1f %% of the time of the whole file (goal: under 100 %%)\n", 100 * p / w }'
  echo "  the patch applied from a local file: ${apply_s} s rebuilt, hashed and flushed; ${decode_s} s decoding alone"
  echo "  (the patched update's time includes hashing the installed copy; zstd's decoder held $((${dec[patch]} / 1024)) MiB)"
  update_by_button "$name" "$file" "$old" "$new" "$made"
}

# The Update button's own run for each route (a window that shows nothing),
# against a server tree laid out as the publishing tool lays it out: the
# time from the click to the file installed, the bytes on the wire and the
# peak anonymous memory of the whole run.
update_by_button() {
  local name=$1 file=$2 old=$3 new=$4 made=$5
  local bare target base tree route port s body anon
  bare=$(basename "$file")
  target=$(sha256sum "$new" | cut -c1-16)
  base=$(sha256sum "$old" | cut -c1-16)
  tree="$work/server/$name-tree"
  mkdir -p "$tree/download/delta"
  ln -sf "$new" "$tree/download/$bare"
  ln -sf "$made/copy.zst" "$tree/download/delta/$bare.$target.zst"
  ln -sf "$made/patch" "$tree/download/delta/$bare.$base.$target.patch"
  declare -A seconds peak bytes
  for round in $(seq 1 "$rounds"); do
    for port in "$fast" "$slow"; do
      for route in whole zst patch; do
        read -r s body anon < <("$bench_bin" update "$route" "http://127.0.0.1:$port/$name-tree/" \
          "$bare" "$old" "$new")
        seconds[$port$route]=$(best "$s" "${seconds[$port$route]:-}")
        bytes[$route]=$body
        peak[$route]=$(( anon > ${peak[$route]:-0} ? anon : ${peak[$route]:-0} ))
      done
    done
  done
  echo "  the Update button's whole run, click to file installed:"
  printf "  %-16s %12s %10s %12s %14s\n" "update by" "body bytes" "loopback" "at 10 MiB/s" "peak anon"
  for route in whole zst patch; do
    printf "  %-16s %12s %8.2f s %10.2f s %10.1f MiB\n" "$(label "$route")" "${bytes[$route]}" \
      "${seconds[$fast$route]}" "${seconds[$slow$route]}" \
      "$(awk -v k="${peak[$route]}" 'BEGIN { print k / 1024 }')"
  done
}

echo "best of $rounds rounds, nginx on 127.0.0.1, load $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$pairs" = all ] || [ "$pairs" = small ]; then
  bench_pair esbuild @esbuild/linux-x64 0.25.11 0.25.12 package/bin/esbuild
fi
if [ "$pairs" = all ] || [ "$pairs" = large ]; then
  bench_pair next-swc @next/swc-linux-x64-gnu 14.2.32 14.2.33 package/next-swc.linux-x64-gnu.node
fi
