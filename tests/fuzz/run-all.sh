#!/usr/bin/env bash
# Runs each fuzz target of the "fuzz" preset on a scratch copy of its corpus
# (tests/fuzz/corpus/<target>), so nothing is written into the repository.
# A crash, a leak, a sanitizer report or a time-out fails the run and prints
# the reproducer's path; replay it with build/fuzz/tests/fuzz/fuzz_<target> <file>.
#
#   tests/fuzz/run-all.sh [target...]     (default: every target)
#
# QUORVIN_FUZZ_SECONDS: run time per target (60); QUORVIN_FUZZ_JOBS: targets
# run at once (2).  Needs a built preset: cmake --build --preset fuzz.
set -uo pipefail
cd "$(dirname "$0")/../.."

seconds=${QUORVIN_FUZZ_SECONDS:-60}
jobs=${QUORVIN_FUZZ_JOBS:-2}
bin=build/fuzz/tests/fuzz
corpus=tests/fuzz/corpus
# One input must finish within this many seconds; a slower one is a finding.
per_input_timeout=10
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ini_profile http_response cookie uri catalogue signed_catalogue look_package install_journal trust_root rebuild_stream)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvin-fuzz-run-XXXXXX")
# The files the targets write each iteration go to memory when it can be had:
# the writes flush to disk, and a disk flush per iteration would cost most of
# the run.
files_root=/dev/shm
[ -d "$files_root" ] && [ -w "$files_root" ] || files_root=$scratch
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_target() {
  local target=$1 dir=$scratch/$1
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp "$corpus/$target"/* "$dir/corpus/"
  # Each target has a folder of its own for the files it writes.
  local files
  files=$(mktemp -d "$files_root/quorvin-fuzz-$target-XXXXXX")
  (cd "$dir" && TMPDIR="$files" "$OLDPWD/$bin/fuzz_$target" -max_total_time="$seconds" \
     -timeout="$per_input_timeout" -rss_limit_mb=2048 -print_final_stats=1 \
     -artifact_prefix="$dir/artifacts/" corpus >"$dir/log" 2>&1)
  echo $? >"$dir/status"
  rm -rf "$files"
}

for target in "${targets[@]}"; do
  if [ ! -x "$bin/fuzz_$target" ]; then
    echo "fuzz: no $bin/fuzz_$target; build the fuzz preset first" >&2
    exit 1
  fi
done

for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  echo "fuzz: running $target for ${seconds}s"
  run_target "$target" &
done
wait

failed=0
printf '%-16s %-7s %10s %9s %7s %7s\n' target result execs exec/s cov ft
for target in "${targets[@]}"; do
  dir=$scratch/$target
  log=$dir/log
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")
  result=ok
  if [ "$(cat "$dir/status" 2>/dev/null)" != 0 ]; then
    result=FAILED
    failed=1
  fi
  printf '%-16s %-7s %10s %9s %7s %7s\n' "$target" "$result" "${execs:--}" "${rate:--}" \
    "${cov:--}" "${ft:--}"
done

if [ $failed -ne 0 ]; then
  for target in "${targets[@]}"; do
    dir=$scratch/$target
    [ "$(cat "$dir/status" 2>/dev/null)" = 0 ] && continue
    echo "---- fuzz_$target failed; the end of its log ($dir/log):"
    tail -n 60 "$dir/log"
    for artifact in "$dir"/artifacts/*; do
      [ -e "$artifact" ] && echo "fuzz: reproducer: $artifact  (replay: $bin/fuzz_$target $artifact)"
    done
  done
  exit 1
fi
rm -rf "$scratch"
