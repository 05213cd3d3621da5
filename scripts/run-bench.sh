#!/usr/bin/env bash
# Builds every benchmark in bench/, runs each and prints its figures.
# usage: scripts/run-bench.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
targets=(
  kv_bench_motion kv_bench_frame_loop kv_bench_playback kv_bench_record
  kv_bench_repair kv_bench_capture_cpu kv_bench_session_stall kv_bench_headless_cpu
)
cmake --build "$build" --target "${targets[@]}"
# The window benches need a Qt platform but no display.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
failed=()
for target in "${targets[@]}"; do
  echo
  echo "== $target"
  (cd "$build/bench" && "./$target") || failed+=("$target")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
