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
# Then a step to the next frame of the view, in each transfer syntax an
# archive holds: 50 frames of a synthetic 512x512 CT (12 bits stored)
# compressed by the peers (dcmcjpeg lossless SV1 and 12-bit extended,
# dcmcjpls lossless and near-lossless, gdcmconv --j2k, dcmcrle, and
# deflated by dcmconv).
#
#   target: each step at most 30 ms
#
# Builds the optimised tree in build/release and the corpus when missing.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
corpus="build/bench-corpus"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target quillon-pixel-view-bench make-bench-corpus jpeg-decode-bench
mkdir -p "$corpus"
if [ ! -s "$corpus/frames.dcm" ] || [ "$build_dir/bench/make-bench-corpus" -nt "$corpus/frames.dcm" ]; then
  "$build_dir/bench/make-bench-corpus" "$corpus"
fi

for benchmark in CopyingDocument SharingDocument DocumentWithoutPixelValue; do
  QUILLON_BENCH_FRAMES="$corpus/frames.dcm" "$build_dir/bench/quillon-pixel-view-bench" \
    --benchmark_filter="BM_ShowFrameZero_$benchmark\$" --benchmark_counters_tabular=true 2>/dev/null |
    grep -E "^(Benchmark|BM_)"
done

source bench/bench_common.sh
require gdcmconv dcmcjpls dcmcjpeg dcmcrle dcmconv dump2dcm
series="$(mktemp -d)"
trap 'rm -rf "$series"' EXIT
make_ct_series "$build_dir/bench/jpeg-decode-bench" 50 "$series" 1.3.6.1.4.1.58231.1.903.2
dcmcjpeg +e1 "$series/ct.dcm" "$series/jpeg-lossless-sv1.dcm"
dcmcjpeg +ee "$series/ct.dcm" "$series/jpeg-extended-12bit.dcm"
dcmcjpls "$series/ct.dcm" "$series/jpeg-ls.dcm"
dcmcjpls +en "$series/ct.dcm" "$series/jpeg-ls-near.dcm"
gdcmconv --j2k "$series/ct.dcm" "$series/jpeg2000.dcm"
dcmcrle "$series/ct.dcm" "$series/rle.dcm"
dcmconv +td "$series/ct.dcm" "$series/deflated.dcm"
files=""
for name in ct jpeg-lossless-sv1 jpeg-extended-12bit jpeg-ls jpeg-ls-near jpeg2000 rle deflated; do
  files="$files:$series/$name.dcm"
done
QUILLON_BENCH_SYNTAX_FILES="$files" "$build_dir/bench/quillon-pixel-view-bench" \
  --benchmark_filter='BM_StepFrames' 2>/dev/null | grep -E "^(Benchmark|BM_)"
