#!/usr/bin/env bash
# Runs every benchmark program of a build and prints its figures.
# usage: scripts/run-bench.sh BUILD_DIR
set -uo pipefail
build="${1:-build}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

benches=(
  kv_bench_motion
  kv_bench_capture_cpu
  kv_bench_frame_loop
  kv_bench_record
  kv_bench_repair
  kv_bench_playback
  kv_bench_session_stall
)

failed=()
for bench in "${benches[@]}"; do
  program="$build/bench/$bench"
  echo "== $bench"
  if [ ! -x "$program" ]; then
    echo "not built: $program"
    failed+=("$bench")
    continue
  fi
  if ! "$program"; then
    failed+=("$bench")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
