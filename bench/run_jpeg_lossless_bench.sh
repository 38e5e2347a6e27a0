#!/usr/bin/env bash
# Times our JPEG lossless and 12-bit extended decoders (jpeg/) against
# dcmdjpeg, side by side in one run, on 50 frames of a synthetic 512x512
# CT series (bench/JpegDecodeBench.cpp), compressed by dcmcjpeg:
#
#   ct-sv1.dcm  lossless, first-order prediction (1.2.840.10008.1.2.4.70)
#   ct-sv7.dcm  lossless, predictor 7 (1.2.840.10008.1.2.4.57)
#   ct-ext.dcm  extended sequential DCT, 12 bits (1.2.840.10008.1.2.4.51)
#
# Ours reads the file, decodes every frame and writes the samples
# (jpeg-decode-bench decode); dcmdjpeg reads the file, decodes it and
# writes an uncompressed DICOM file. Both outputs must hold the same
# samples, byte for byte, or the script stops: a benchmark of wrong output
# would mean nothing. The figure of our decoding alone is printed too.
#
#   target (issue 14): lossless decoding at least 2x faster than dcmdjpeg;
#   the 12-bit extended figure has no target and is shown for reference
#
# Builds the optimised tree in build/release when it is missing or out of
# date.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
frames=50

source bench/bench_common.sh
require dcmcjpeg dcmdjpeg dcmdump dump2dcm cmp /usr/bin/time

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target jpeg-decode-bench
bench_tool="$build_dir/bench/jpeg-decode-bench"

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

make_ct_series "$bench_tool" "$frames" "$out" 1.3.6.1.4.1.58231.1.902.1
dcmcjpeg +e1 "$out/ct.dcm" "$out/ct-sv1.dcm"
dcmcjpeg +el +sv 7 "$out/ct.dcm" "$out/ct-sv7.dcm"
dcmcjpeg +ee "$out/ct.dcm" "$out/ct-ext.dcm"

# same_samples NAME: our output and dcmdjpeg's pixel data must be equal.
same_samples() {
  local name="$1"
  mkdir -p "$out/raw-$name"
  dcmdump -q +W "$out/raw-$name" "$out/d-$name.dcm" >/dev/null
  cmp "$out/q-$name.raw" "$out/raw-$name/d-$name.dcm.0.raw" ||
    { echo "bench: our $name samples differ from dcmdjpeg's" >&2; exit 1; }
}

declare -A alone
for name in sv1 sv7 ext; do
  measure "quillon decode $name" "$bench_tool" decode "$out/ct-$name.dcm" "$out/q-$name.raw"
  measure "dcmdjpeg $name" dcmdjpeg "$out/ct-$name.dcm" "$out/d-$name.dcm"
  same_samples "$name"
  alone[$name]=$("$bench_tool" decode "$out/ct-$name.dcm" "$out/q-$name.raw" --timing | awk '{ print $3 }')
done

echo
printf '%d frames of 512x512, 12 bits stored: %.1f MB uncompressed; sv1 %.1f MB, sv7 %.1f MB, ext %.1f MB; best of %d warm runs\n' \
  "$frames" "$(awk -v b="$(stat -c %s "$out/ct.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-sv1.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-sv7.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-ext.dcm")" 'BEGIN { print b / 1e6 }')" "$runs"
print_measurements
echo
printf 'our decoding alone (no file read or write): sv1 %s s, sv7 %s s, ext %s s\n' \
  "${alone[sv1]}" "${alone[sv7]}" "${alone[ext]}"

echo
printf '%-60s %8s %10s\n' "ratio (wall; CPU in brackets)" "value" "target"
for name in sv1 sv7 ext; do
  speedup=$(ratio "${best_wall[dcmdjpeg $name]}" "${best_wall[quillon decode $name]}")
  speedup_cpu=$(ratio "${best_cpu[dcmdjpeg $name]}" "${best_cpu[quillon decode $name]}")
  if [ "$name" = ext ]; then
    printf '%-60s %8s %10s\n' "$name decode: dcmdjpeg / quillon (CPU ${speedup_cpu}x)" "${speedup}x" "-"
  else
    print_ratio "$name decode: dcmdjpeg / quillon (CPU ${speedup_cpu}x)" "${speedup}x" ">= 2x" 2 min
  fi
done
