#!/usr/bin/env bash
# Times whole pixel commands against whole peer commands, side by side in
# one run, on two synthetic 8-bit images (bench/MakePixelBenchCorpus.cpp):
#
#   rgb.dcm   640x480 RGB, 100 frames      grey.dcm  512x512 MONOCHROME2, 200 frames
#
# For each image: RLE encode (dcmcrle, gdcmconv -R), RLE decode (dcmdrle,
# gdcmconv -w), JPEG baseline encode at quality 90 (dcmcjpeg +eb,
# gdcmconv -J) and JPEG decode (dcmdjpeg, gdcmconv -w). The decoders all
# read the same input, made by DCMTK, so no one decodes its own output.
# Then `quillon-cli compare` of two uncompressed 300-frame 512x512 16-bit
# files against `cmp` of the same two files (byte-identical copies, so cmp
# reads both to the end instead of stopping at a first difference).
#
#   targets: each of our commands at least 2x faster than the faster peer
#            (decoding 3x); compare at most 2x the time of cmp
#
# Builds the optimised tree in build/release and the corpus in
# build/bench-corpus/ when they are missing or out of date.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
corpus="build/bench-corpus"

source bench/bench_common.sh
require dcmcrle dcmdrle dcmcjpeg dcmdjpeg gdcmconv cmp /usr/bin/time

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target quillon-cli make-bench-corpus make-pixel-bench-corpus

cli="$build_dir/cli/quillon-cli"
mkdir -p "$corpus"
if [ ! -s "$corpus/rgb.dcm" ] || [ ! -s "$corpus/grey.dcm" ] ||
  [ "$build_dir/bench/make-pixel-bench-corpus" -nt "$corpus/rgb.dcm" ]; then
  "$build_dir/bench/make-pixel-bench-corpus" "$corpus"
fi
if [ ! -s "$corpus/frames.dcm" ] || [ "$build_dir/bench/make-bench-corpus" -nt "$corpus/frames.dcm" ]; then
  "$build_dir/bench/make-bench-corpus" "$corpus"
fi

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

quality=90
# operation KEY: the three commands measured last are ours and the two
# peers doing the same thing.
declare -A ours peers
operation() {
  local n=${#labels[@]}
  ours[$1]="${labels[n - 3]}"
  peers[$1]="${labels[n - 2]}|${labels[n - 1]}"
}

# identical A B: stop unless our compare finds the two images equal (a
# benchmark of wrong output would mean nothing).
identical() {
  local result
  result="$("$cli" compare "$1" "$2")"
  [[ "$result" == "RMS = 0.00000 (0 different pixel(s))"* ]] || { echo "bench: $1 and $2 differ: $result" >&2; exit 1; }
}

for image in rgb grey; do
  source_file="$corpus/$image.dcm"
  # The decoders' common inputs.
  dcmcrle "$source_file" "$out/$image-rle.dcm"
  dcmcjpeg +eb +q "$quality" "$source_file" "$out/$image-jpeg.dcm"

  measure "quillon rle encode $image" "$cli" convert "$source_file" "$out/q.dcm" --mode rle
  measure "dcmcrle $image" dcmcrle "$source_file" "$out/d.dcm"
  measure "gdcmconv -R $image" gdcmconv -R "$source_file" "$out/g.dcm"
  operation "rle encode $image"
  identical "$source_file" "$out/q.dcm"

  measure "quillon rle decode $image" "$cli" convert "$out/$image-rle.dcm" "$out/q.dcm" --mode uncompressed
  measure "dcmdrle $image" dcmdrle "$out/$image-rle.dcm" "$out/d.dcm"
  measure "gdcmconv -w (rle) $image" gdcmconv -w "$out/$image-rle.dcm" "$out/g.dcm"
  operation "rle decode $image"
  identical "$source_file" "$out/q.dcm"

  measure "quillon jpeg encode $image" "$cli" convert "$source_file" "$out/q.dcm" --mode jpeg --quality "$quality"
  measure "dcmcjpeg +eb $image" dcmcjpeg +eb +q "$quality" "$source_file" "$out/d.dcm"
  measure "gdcmconv -J $image" gdcmconv -J -q "$quality" "$source_file" "$out/g.dcm"
  operation "jpeg encode $image"
  dcmdjpeg "$out/q.dcm" "$out/check.dcm"  # our JPEG output decodes with DCMTK

  measure "quillon jpeg decode $image" "$cli" convert "$out/$image-jpeg.dcm" "$out/q.dcm" --mode uncompressed
  measure "dcmdjpeg $image" dcmdjpeg "$out/$image-jpeg.dcm" "$out/d.dcm"
  measure "gdcmconv -w (jpeg) $image" gdcmconv -w "$out/$image-jpeg.dcm" "$out/g.dcm"
  operation "jpeg decode $image"
done

cp "$corpus/frames.dcm" "$out/frames-copy.dcm"
measure "quillon compare frames" "$cli" compare "$corpus/frames.dcm" "$out/frames-copy.dcm"
measure "cmp frames" cmp "$corpus/frames.dcm" "$out/frames-copy.dcm"

echo
printf 'rgb.dcm: %.1f MB   grey.dcm: %.1f MB   frames.dcm: %.1f MB   best of %d warm runs\n' \
  "$(awk -v b="$(stat -c %s "$corpus/rgb.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$corpus/grey.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$corpus/frames.dcm")" 'BEGIN { print b / 1e6 }')" "$runs"
print_measurements

echo
printf '%-60s %8s %10s\n' "ratio (wall; CPU in brackets)" "value" "target"
for operation in "rle encode" "rle decode" "jpeg encode" "jpeg decode"; do
  # Decoding 8-bit images has the higher aim: three times the faster peer.
  aim=2
  [[ "$operation" == *decode ]] && aim=3
  for image in rgb grey; do
    key="$operation $image"
    IFS='|' read -r first second <<<"${peers[$key]}"
    peer_wall=$(smaller "${best_wall[$first]}" "${best_wall[$second]}")
    peer_cpu=$(smaller "${best_cpu[$first]}" "${best_cpu[$second]}")
    speedup=$(ratio "$peer_wall" "${best_wall[${ours[$key]}]}")
    speedup_cpu=$(ratio "$peer_cpu" "${best_cpu[${ours[$key]}]}")
    print_ratio "$key: faster peer / quillon (CPU ${speedup_cpu}x)" "${speedup}x" ">= ${aim}x" "$aim" min
  done
done
compare_ratio=$(ratio "${best_wall[quillon compare frames]}" "${best_wall[cmp frames]}")
compare_ratio_cpu=$(ratio "${best_cpu[quillon compare frames]}" "${best_cpu[cmp frames]}")
print_ratio "compare frames: quillon / cmp (CPU ${compare_ratio_cpu}x)" "${compare_ratio}x" "<= 2x" 2 max
