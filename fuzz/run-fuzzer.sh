#!/usr/bin/env bash
# Builds a fuzz target with ASan, UBSan and coverage instrumentation and fuzzes it, new
# inputs going to <build>/corpus-work-<target> (the committed seeds stay as they are).
#   fuzz/run-fuzzer.sh [seconds] [build folder] [target]
# defaults: 3600, build-fuzz, jpeg_open_fuzzer (the JPEG open path); picture_open_fuzzer
# fuzzes every picture format and the scaler, saved_open_fuzzer project files and saved
# pictures read back.
# With LIBJPEG_SOURCE set to a libjpeg-turbo source tree of the system's version (for
# example from `apt-get source libjpeg-turbo`), libjpeg is built instrumented too, so the
# fuzzer sees its branches as well as ours. Crashes land in <build>/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
build=${2:-build-fuzz}
target=${3:-jpeg_open_fuzzer}
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fsanitize=fuzzer-no-link"

jpeg=()
if [ -n "${LIBJPEG_SOURCE:-}" ]; then
  CC=clang cmake -S "$LIBJPEG_SOURCE" -B "$build/libjpeg" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF "-DCMAKE_C_FLAGS=$flags" >/dev/null
  cmake --build "$build/libjpeg" --target jpeg-static
  mkdir -p "$build/libjpeg-include"
  cp "$LIBJPEG_SOURCE"/{jpeglib.h,jmorecfg.h,jerror.h} "$build/libjpeg/jconfig.h" "$build/libjpeg-include/"
  jpeg=("-DJPEG_INCLUDE_DIR=$PWD/$build/libjpeg-include" "-DJPEG_LIBRARY=$PWD/$build/libjpeg/libjpeg.a")
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_BUILD_APP=OFF -DBUILD_TESTING=OFF -DVANTREL_FUZZ=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON "${jpeg[@]}" \
  "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target "$target"

max_len=32768
case "$target" in
  picture_open_fuzzer) seeds=(fuzz/corpus-picture fuzz/corpus) dict=fuzz/picture.dict ;;
  # A disk image is the largest saved picture.
  saved_open_fuzzer) seeds=(fuzz/corpus-saved) dict=fuzz/project.dict max_len=174848 ;;
  *) seeds=(fuzz/corpus) dict=fuzz/jpeg.dict ;;
esac
work="$build/corpus-work-$target"
mkdir -p "$work" "$build/artifacts"
# 2^20-pixel pictures stay well inside the memory limit; larger headers are skipped or
# refused by the decoder before it allocates (see fuzz_input.h and the picture target).
# Leaks inside the codec libraries that no call of ours can free are listed in lsan.supp.
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec "$build/fuzz/$target" "$work" "${seeds[@]}" -dict="$dict" \
  -max_len="$max_len" -rss_limit_mb=4096 -timeout=30 -max_total_time="$seconds" \
  -print_final_stats=1 -artifact_prefix="$build/artifacts/"
