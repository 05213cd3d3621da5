#!/usr/bin/env bash
# Builds the AVI repair's fuzz target with clang's libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs it over a corpus seeded with real
# recordings (finished, cut off, torn).
# usage: scripts/fuzz.sh [RUNS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
out="${2:-build-fuzz}"
mkdir -p "$out/corpus"

clang++-14 -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined \
  fuzz/avi_repair_fuzz.cpp fuzz/avi_repair_check.cpp record/avi_repair.cpp \
  -o "$out/avi_repair_fuzz"

# Seeds: small recordings of each kind the recorder writes, and cut-off copies.
seed() {
  local name="$1" encoder="$2"
  local path="$out/corpus/$name.avi"
  [ -s "$path" ] && return
  gst-launch-1.0 -q videotestsrc num-buffers=5 pattern=ball \
    ! video/x-raw,format=BGR,width=32,height=24,framerate=25/1 \
    ! videoconvert ! $encoder ! avimux ! filesink location="$path"
  local size
  size=$(stat -c %s "$path")
  head -c $((size * 2 / 3)) "$path" > "$out/corpus/$name-cut.avi"
  head -c 900 "$path" > "$out/corpus/$name-header.avi"
}
seed mjpeg "jpegenc quality=10"
seed raw "identity"
seed h264 "x264enc key-int-max=2 tune=zerolatency"
seed mpeg4 "avenc_mpeg4 gop-size=2"

ASAN_OPTIONS=detect_leaks=1 "$out/avi_repair_fuzz" -runs="$runs" -max_len=65536 \
  -artifact_prefix="$out/" -print_final_stats=1 "$out/corpus" 2>&1 | tail -40
