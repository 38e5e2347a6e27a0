#!/usr/bin/env bash
# What the pixel view costs when it opens on an open document: a pixel image
# set up on the document and frame 0 shown, on build/bench-corpus/frames.dcm
# (300 frames of 512x512 16-bit, 157 MB), by copying the document
# (OpenObject) and by sharing it (OpenDocument, with the pixel value in
# memory or left in the file). Each benchmark runs in its own process so
# that its peak resident size is its own.
#
#   targets: sharing shows frame 0 in under 50 ms and adds under 10 % to the
#            resident size of the open document
#
# Builds the optimised tree in build/release and the corpus when missing.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
corpus="build/bench-corpus"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target quillon-pixel-view-bench make-bench-corpus
mkdir -p "$corpus"
if [ ! -s "$corpus/frames.dcm" ] || [ "$build_dir/bench/make-bench-corpus" -nt "$corpus/frames.dcm" ]; then
  "$build_dir/bench/make-bench-corpus" "$corpus"
fi

for benchmark in CopyingDocument SharingDocument DocumentWithoutPixelValue; do
  QUILLON_BENCH_FRAMES="$corpus/frames.dcm" "$build_dir/bench/quillon-pixel-view-bench" \
    --benchmark_filter="BM_ShowFrameZero_$benchmark\$" --benchmark_counters_tabular=true 2>/dev/null |
    grep -E "^(Benchmark|BM_)"
done
