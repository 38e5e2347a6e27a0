#!/usr/bin/env bash
# Compressing a 16-bit CT series: quillon-cli convert against the peer
# encoder of each syntax, side by side in one run, on 50 frames of a
# synthetic 512x512 CT (12 bits stored in 16; bench/JpegDecodeBench.cpp
# makes it):
#
#   RLE                 quillon --mode rle            vs dcmcrle
#   JPEG lossless SV1   quillon --mode jpeg-lossless  vs dcmcjpeg +e1
#   JPEG-LS lossless    quillon --mode jpeg-ls        vs dcmcjpls
#   JPEG 2000 lossless  quillon --mode jpeg2000       vs gdcmconv --j2k
#
# The last two rows run only when this build has the mode (a first
# conversion tells). Our output must decode, by the peer's decoder, to the
# source's samples, or the script stops: a benchmark of wrong output would
# mean nothing. Best of 3 warm runs; the machine may be shared, so the CPU
# time (user + system) is the figure to trust when the wall times are noisy.
#
#   target: each encode no slower than its peer
#
# Builds the optimised tree in build/release when it is missing or out of
# date.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
frames=50
runs="${runs:-3}"

source bench/bench_common.sh
require dcmcrle dcmdrle dcmcjpeg dcmdjpeg dcmdump dump2dcm cmp /usr/bin/time

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target jpeg-decode-bench quillon-cli
cli="$build_dir/cli/quillon-cli"

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

make_ct_series "$build_dir/bench/jpeg-decode-bench" "$frames" "$out" 1.3.6.1.4.1.58231.1.903.1
mkdir -p "$out/raw-source"
dcmdump -q +W "$out/raw-source" "$out/ct.dcm" >/dev/null

# decodes_to_source NAME DECODER...: our NAME output, decoded by the peer,
# holds the source's samples.
decodes_to_source() {
  local name="$1"
  shift
  "$@" "$out/q-$name.dcm" "$out/d-$name.dcm" >/dev/null
  mkdir -p "$out/raw-$name"
  dcmdump -q +W "$out/raw-$name" "$out/d-$name.dcm" >/dev/null
  cmp "$out/raw-source/ct.dcm.0.raw" "$out/raw-$name/d-$name.dcm.0.raw" ||
    { echo "bench: our $name output does not decode to the source's samples" >&2; exit 1; }
}

declare -A mode=([rle]=rle [sv1]=jpeg-lossless [jls]=jpeg-ls [j2k]=jpeg2000)
declare -A encoder=([rle]="dcmcrle" [sv1]="dcmcjpeg +e1" [jls]="dcmcjpls" [j2k]="gdcmconv --j2k")
declare -A decoder=([rle]="dcmdrle" [sv1]="dcmdjpeg" [jls]="dcmdjpls" [j2k]="gdcmconv --raw")
names=()
for name in rle sv1 jls j2k; do
  if ! "$cli" convert "$out/ct.dcm" "$out/q-$name.dcm" --mode "${mode[$name]}" 2>/dev/null; then
    echo "bench: quillon-cli has no ${mode[$name]} here; its row is left out"
    continue
  fi
  peer_tool="${encoder[$name]%% *}"
  if ! command -v "$peer_tool" >/dev/null || ! command -v "${decoder[$name]%% *}" >/dev/null; then
    echo "bench: $peer_tool is missing; the $name row is left out"
    continue
  fi
  names+=("$name")
  measure "quillon convert ${mode[$name]}" "$cli" convert "$out/ct.dcm" "$out/q-$name.dcm" --mode "${mode[$name]}"
  # shellcheck disable=SC2086 # the peer's command and its options
  measure "${encoder[$name]}" ${encoder[$name]} "$out/ct.dcm" "$out/p-$name.dcm"
  # shellcheck disable=SC2086
  decodes_to_source "$name" ${decoder[$name]}
done

echo
printf '%d frames of 512x512, 12 bits stored: %.1f MB uncompressed; best of %d warm runs\n' \
  "$frames" "$(awk -v b="$(stat -c %s "$out/ct.dcm")" 'BEGIN { print b / 1e6 }')" "$runs"
for name in "${names[@]}"; do
  printf '  %-4s ours %.2f MB, peer %.2f MB\n' "$name" \
    "$(awk -v b="$(stat -c %s "$out/q-$name.dcm")" 'BEGIN { print b / 1e6 }')" \
    "$(awk -v b="$(stat -c %s "$out/p-$name.dcm")" 'BEGIN { print b / 1e6 }')"
done
print_measurements

echo
printf '%-60s %8s %10s\n' "ratio (wall; CPU in brackets)" "value" "target"
for name in "${names[@]}"; do
  ours="quillon convert ${mode[$name]}"
  speedup=$(ratio "${best_wall[${encoder[$name]}]}" "${best_wall[$ours]}")
  speedup_cpu=$(ratio "${best_cpu[${encoder[$name]}]}" "${best_cpu[$ours]}")
  print_ratio "$name: ${encoder[$name]} / quillon (CPU ${speedup_cpu}x)" "${speedup}x" ">= 1x" 1 min
done
