#!/usr/bin/env bash
# Compressing a 16-bit CT series: our JPEG-LS and JPEG 2000 encoders
# (bench/JlsJ2kEncodeBench.cpp, every frame of the file through the
# encoder, output written as a DICOM file) against the peer encoder of each
# syntax, side by side in one run, on 50 frames of a synthetic 512x512 CT
# (12 bits stored in 16; bench/JpegDecodeBench.cpp makes it):
#
#   JPEG-LS lossless         dcmcjpls
#   JPEG-LS near-lossless 2  dcmcjpls +en +md 2
#   JPEG 2000 lossless       gdcmconv --j2k
#   JPEG 2000 lossy 1:10     gdcmconv --j2k --lossy --irreversible -r 10
#
# Every lossless output must decode (by the peer's decoder) to the source
# samples, every near-lossless one to samples within 2, or the script
# stops: a benchmark of wrong output would mean nothing.
#
#   target: each encoder no slower than its peer
#
# Builds the optimised tree in build/release when it is missing or out of
# date.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
frames=50

source bench/bench_common.sh
require gdcmconv dcmcjpls dcmdjpls dcmdump dump2dcm cmp python3 /usr/bin/time

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target jpeg-decode-bench jls-j2k-encode-bench
encoder="$build_dir/bench/jls-j2k-encode-bench"

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

make_ct_series "$build_dir/bench/jpeg-decode-bench" "$frames" "$out" 1.3.6.1.4.1.58231.1.904.1

# ours NAME CODEC PARAMETER: our encoder's command line.
ours() { echo "$encoder $2 $3 $out/ct.dcm $frames 512 512 16 12 0 $out/q-$1.dcm"; }

# decoded_within NAME FILE DECODER BOUND: FILE decoded by DECODER holds the
# source's samples, each within BOUND.
decoded_within() {
  local name="$1" file="$2" decoder="$3" bound="$4"
  # shellcheck disable=SC2086 # the decoder's command and its options
  $decoder "$file" "$out/d-$name.dcm"
  mkdir -p "$out/raw-$name"
  dcmdump -q +W "$out/raw-$name" "$out/d-$name.dcm" >/dev/null
  python3 - "$out/ct.raw" "$out/raw-$name/d-$name.dcm.0.raw" "$bound" "$name" <<'PY'
import array, sys
a, b = array.array("H"), array.array("H")
a.frombytes(open(sys.argv[1], "rb").read())
b.frombytes(open(sys.argv[2], "rb").read())
worst = max(abs(x - y) for x, y in zip(a, b)) if len(a) == len(b) else None
if worst is None or worst > int(sys.argv[3]):
    sys.exit(f"bench: {sys.argv[4]} decodes to other samples (largest error {worst})")
PY
}

declare -A codec=([jls]=jls [jls-near2]=jls [j2k]=j2k [j2k-ratio10]=j2k)
declare -A parameter=([jls]=0 [jls-near2]=2 [j2k]=0 [j2k-ratio10]=10)
declare -A peer=([jls]="dcmcjpls" [jls-near2]="dcmcjpls +en +md 2" [j2k]="gdcmconv --j2k"
  [j2k-ratio10]="gdcmconv --j2k --lossy --irreversible -r 10")
names=(jls jls-near2 j2k j2k-ratio10)
for name in "${names[@]}"; do
  # shellcheck disable=SC2046 # the command line ours prints
  measure "quillon $name" $(ours "$name" "${codec[$name]}" "${parameter[$name]}")
  # shellcheck disable=SC2086 # the peer's command and its options
  measure "${peer[$name]}" ${peer[$name]} "$out/ct.dcm" "$out/p-$name.dcm"
done
decoded_within jls "$out/q-jls.dcm" dcmdjpls 0
decoded_within jls-near2 "$out/q-jls-near2.dcm" dcmdjpls 2
decoded_within j2k "$out/q-j2k.dcm" "gdcmconv --raw" 0

echo
printf '%d frames of 512x512, 12 bits stored: %.1f MB uncompressed; best of %d warm runs\n' \
  "$frames" "$(awk -v b="$(stat -c %s "$out/ct.dcm")" 'BEGIN { print b / 1e6 }')" "$runs"
print_measurements
echo
printf '%-40s %14s %14s\n' "output size (MB)" "quillon" "peer"
for name in "${names[@]}"; do
  printf '%-40s %14.2f %14.2f\n' "$name" "$(awk -v b="$(stat -c %s "$out/q-$name.dcm")" 'BEGIN { print b / 1e6 }')" \
    "$(awk -v b="$(stat -c %s "$out/p-$name.dcm")" 'BEGIN { print b / 1e6 }')"
done

echo
printf '%-60s %8s %10s\n' "ratio (wall; CPU in brackets)" "value" "target"
for name in "${names[@]}"; do
  speedup=$(ratio "${best_wall[${peer[$name]}]}" "${best_wall[quillon $name]}")
  speedup_cpu=$(ratio "${best_cpu[${peer[$name]}]}" "${best_cpu[quillon $name]}")
  print_ratio "$name: peer / quillon (CPU ${speedup_cpu}x)" "${speedup}x" ">= 1x" 1 min
done
