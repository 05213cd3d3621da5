#!/usr/bin/env bash
# Builds every benchmark in bench/ in a Release build of its own, runs each with
# a private HOME and GStreamer registry, and prints one summary table of the
# headline figures (figure, value, goal, met or not) after their details.
#
# usage: scripts/run-bench.sh [BUILD_DIR=build-bench] [BENCH...]
#   BENCH: run only these (e.g. kv_bench_record); all by default.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-bench}"
shift || true
targets=(
  kv_bench_motion kv_bench_frame_loop kv_bench_playback kv_bench_record
  kv_bench_repair kv_bench_capture_cpu kv_bench_session_stall kv_bench_headless_cpu
  kv_bench_film kv_bench_mqtt kv_bench_day kv_bench_day_view kv_bench_startup kv_bench_web
  kv_bench_bytes_at_psnr kv_bench_recorder_cpu kv_bench_recorder_memory
)
if [ $# -gt 0 ]; then
  targets=("$@")
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON > /dev/null
cmake --build "$build" --target "${targets[@]}"

# A private home and registry: the user's settings, recordings and plugin
# cache are neither read nor touched, and every run starts alike.
scratch="$(mktemp -d /tmp/kv-bench.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$scratch/run"
export GST_REGISTRY="$scratch/gst-registry.bin"
unset GST_DEBUG GST_PLUGIN_PATH
# The window benches need a Qt platform but no display.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
# Builds the registry once, so that no bench pays for it.
gst-inspect-1.0 > /dev/null 2>&1 || true

log="$scratch/bench.log"
failed=()
for target in "${targets[@]}"; do
  echo
  echo "== $target"
  start=$(date +%s)
  if ! (cd "$build/bench" && "./$target") 2>&1 | tee -a "$log"; then
    failed+=("$target")
  fi
  echo "   ($target: $(($(date +%s) - start)) s)"
done

echo
echo "== Summary ($(nproc) cores, $(date -u '+%Y-%m-%d %H:%M UTC'), $(git rev-parse --short HEAD 2>/dev/null || echo '?'))"
grep -o '@summary .*' "$log" | sed 's/^@summary //' | awk -F' [|] ' '
  BEGIN { n = 0; w1 = length("figure"); w2 = length("value"); w3 = length("goal") }
  { f[n] = $1; v[n] = $2; g[n] = $3; m[n] = $4; n++
    if (length($1) > w1) w1 = length($1); if (length($2) > w2) w2 = length($2)
    if (length($3) > w3) w3 = length($3) }
  END {
    fmt = "%-" w1 "s  %-" w2 "s  %-" w3 "s  %s\n"
    printf fmt, "figure", "value", "goal", "met"
    for (i = 0; i < n; i++) printf fmt, f[i], v[i], g[i], m[i]
  }'
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
