#!/usr/bin/env bash
# Builds the fuzz targets of the readers of untrusted files with clang's
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs each
# over a corpus seeded with real files: the AVI repair (recordings finished,
# cut off, torn), the journal reader and cutter (journals as the recorder
# writes them), the motion mask reader (masks as MotionMask::save writes them).
# usage: scripts/fuzz.sh [RUNS] [BUILD_DIR] [TARGET...]
#   RUNS inputs per target; TARGET among avi_repair, journal, mask (all by default)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
out="${2:-build-fuzz}"
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(avi_repair journal mask)
mkdir -p "$out"

cxx=(clang++-14 -std=c++20 -O1 -g -I. -fPIC
     -DQT_NO_KEYWORDS -DQT_NO_CAST_FROM_ASCII -DQT_NO_CAST_TO_ASCII)
sanitize=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
read -r -a qt_core <<< "$(pkg-config --cflags --libs Qt6Core)"
read -r -a qt_gui <<< "$(pkg-config --cflags --libs Qt6Gui Qt6Core)"

build() {  # name sources... -- libraries...
  local name="$1"; shift
  local sources=() libs=()
  while [ "$1" != "--" ]; do sources+=("$1"); shift; done
  shift
  libs=("$@")
  "${cxx[@]}" -fsanitize=fuzzer "${sanitize[@]}" "${sources[@]}" "${libs[@]}" \
    -o "$out/${name}_fuzz"
}

seed_avi() {
  local name="$1" encoder="$2" corpus="$out/corpus/avi_repair"
  local path="$corpus/$name.avi"
  [ -s "$path" ] && return
  gst-launch-1.0 -q videotestsrc num-buffers=5 pattern=ball \
    ! video/x-raw,format=BGR,width=32,height=24,framerate=25/1 \
    ! videoconvert ! $encoder ! avimux ! filesink location="$path"
  local size
  size=$(stat -c %s "$path")
  head -c $((size * 2 / 3)) "$path" > "$corpus/$name-cut.avi"
  head -c 900 "$path" > "$corpus/$name-header.avi"
}

# Journals and masks made by the program's own writers.
seed_own() {
  local seeds="$out/seeds"
  if [ ! -s "$seeds/journal.csv" ]; then
    mkdir -p "$seeds"
    "${cxx[@]}" "${sanitize[@]}" fuzz/make_seeds.cpp record/journal.cpp \
      capture/motion_mask.cpp "${qt_gui[@]}" -o "$out/make_seeds"
    "$out/make_seeds" "$seeds"
  fi
  mkdir -p "$out/corpus/journal" "$out/corpus/mask"
  cp -n "$seeds"/*.csv "$out/corpus/journal/"
  cp -n "$seeds"/*.bmp "$out/corpus/mask/"
}

run() {  # name max_len
  local name="$1" max_len="$2"
  echo "-- $name: $runs inputs"
  ASAN_OPTIONS=detect_leaks=1 "$out/${name}_fuzz" -runs="$runs" -max_len="$max_len" \
    -artifact_prefix="$out/$name-" -print_final_stats=1 "$out/corpus/$name" 2>&1 | tail -40
}

for target in "${targets[@]}"; do
  mkdir -p "$out/corpus/$target"
  case "$target" in
    avi_repair)
      build avi_repair fuzz/avi_repair_fuzz.cpp fuzz/avi_repair_check.cpp \
        record/avi_repair.cpp --
      seed_avi mjpeg "jpegenc quality=10"
      seed_avi raw "identity"
      seed_avi h264 "x264enc key-int-max=2 tune=zerolatency"
      seed_avi mpeg4 "avenc_mpeg4 gop-size=2"
      run avi_repair 65536
      ;;
    journal)
      build journal fuzz/journal_fuzz.cpp fuzz/journal_check.cpp record/journal.cpp \
        -- "${qt_core[@]}"
      seed_own
      run journal 8192
      ;;
    mask)
      build mask fuzz/mask_fuzz.cpp capture/motion_mask.cpp -- "${qt_gui[@]}"
      seed_own
      run mask 32768
      ;;
    *)
      echo "unknown fuzz target: $target" >&2
      exit 2
      ;;
  esac
done
