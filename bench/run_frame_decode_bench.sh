#!/usr/bin/env bash
# Decompressing a 16-bit CT series to an uncompressed file: quillon-cli
# convert --mode uncompressed against the peer decoder of each syntax, side
# by side in one run, on 50 frames of a synthetic 512x512 CT (12 bits
# stored in 16; bench/JpegDecodeBench.cpp makes it):
#
#   JPEG 2000 lossless  compressed by gdcmconv --j2k,  decoded by gdcmconv --raw
#   JPEG-LS lossless    compressed by dcmcjpls,        decoded by dcmdjpls
#   JPEG lossless SV1   compressed by dcmcjpeg +e1,    decoded by dcmdjpeg
#   RLE                 compressed by dcmcrle,         decoded by dcmdrle
#
# Every output must hold the same pixel bytes as the peer's, or the script
# stops: a benchmark of wrong output would mean nothing.
#
#   target (issue 14): each decode at least 2x faster than its peer
#
# Builds the optimised tree in build/release when it is missing or out of
# date.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
frames=50

source bench/bench_common.sh
require gdcmconv dcmcjpls dcmdjpls dcmcjpeg dcmdjpeg dcmcrle dcmdrle dcmdump dump2dcm cmp /usr/bin/time

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target jpeg-decode-bench quillon-cli
cli="$build_dir/cli/quillon-cli"

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

make_ct_series "$build_dir/bench/jpeg-decode-bench" "$frames" "$out" 1.3.6.1.4.1.58231.1.903.1
gdcmconv --j2k "$out/ct.dcm" "$out/ct-j2k.dcm"
dcmcjpls "$out/ct.dcm" "$out/ct-jls.dcm"
dcmcjpeg +e1 "$out/ct.dcm" "$out/ct-sv1.dcm"
dcmcrle "$out/ct.dcm" "$out/ct-rle.dcm"

# same_samples NAME: our output's pixel data and the peer's must be equal.
same_samples() {
  local name="$1"
  mkdir -p "$out/raw-q-$name" "$out/raw-p-$name"
  dcmdump -q +W "$out/raw-q-$name" "$out/q-$name.dcm" >/dev/null
  dcmdump -q +W "$out/raw-p-$name" "$out/p-$name.dcm" >/dev/null
  cmp "$out/raw-q-$name/q-$name.dcm.0.raw" "$out/raw-p-$name/p-$name.dcm.0.raw" ||
    { echo "bench: our $name samples differ from the peer's" >&2; exit 1; }
}

declare -A peer=([j2k]="gdcmconv --raw" [jls]="dcmdjpls" [sv1]="dcmdjpeg" [rle]="dcmdrle")
for name in j2k jls sv1 rle; do
  measure "quillon convert $name" "$cli" convert "$out/ct-$name.dcm" "$out/q-$name.dcm" --mode uncompressed
  # shellcheck disable=SC2086 # the peer's command and its options
  measure "${peer[$name]} $name" ${peer[$name]} "$out/ct-$name.dcm" "$out/p-$name.dcm"
  same_samples "$name"
done

echo
printf '%d frames of 512x512, 12 bits stored: %.1f MB uncompressed; j2k %.1f MB, jls %.1f MB, sv1 %.1f MB, rle %.1f MB; best of %d warm runs\n' \
  "$frames" "$(awk -v b="$(stat -c %s "$out/ct.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-j2k.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-jls.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-sv1.dcm")" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$(stat -c %s "$out/ct-rle.dcm")" 'BEGIN { print b / 1e6 }')" "$runs"
print_measurements

echo
printf '%-60s %8s %10s\n' "ratio (wall; CPU in brackets)" "value" "target"
for name in j2k jls sv1 rle; do
  speedup=$(ratio "${best_wall[${peer[$name]} $name]}" "${best_wall[quillon convert $name]}")
  speedup_cpu=$(ratio "${best_cpu[${peer[$name]} $name]}" "${best_cpu[quillon convert $name]}")
  print_ratio "$name: ${peer[$name]} / quillon (CPU ${speedup_cpu}x)" "${speedup}x" ">= 2x" 2 min
done
