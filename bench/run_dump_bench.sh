#!/usr/bin/env bash
# Times `quillon-cli dump` against DCMTK's dcmdump and GDCM's gdcmdump on a
# synthetic corpus, and a full read of a large multi-frame file against the
# cost of just reading the file into memory. Prints one table with the best
# wall time of 5 warm runs and the peak resident memory of each command,
# then the ratios we hold ourselves to:
#
#   nested.dcm  quillon dump at least 3x faster than the faster peer,
#               at most 150 bytes of peak memory per element
#   frames.dcm  full read at most 1.3x the read-file floor,
#               peak memory at most 1.2x the file size
#
# Builds the optimised tree in build/release (with QUILLON_BUILD_BENCH) and
# the corpus in build/bench-corpus/ when they are missing or out of date.
# Times and peak memory come from a loop of /usr/bin/time runs
# (bench/bench_common.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
corpus="build/bench-corpus"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target quillon-cli make-bench-corpus read-file-floor quillon-bench

cli="$build_dir/cli/quillon-cli"
generator="$build_dir/bench/make-bench-corpus"
floor="$build_dir/bench/read-file-floor"

mkdir -p "$corpus"
if [ ! -s "$corpus/nested.dcm" ] || [ ! -s "$corpus/frames.dcm" ] || [ ! -s "$corpus/nested.elements" ] ||
  [ "$generator" -nt "$corpus/nested.dcm" ]; then
  "$generator" "$corpus" | tee "$corpus/generator.log"
  sed -n 's/^.*nested\.dcm: \([0-9]*\) elements$/\1/p' "$corpus/generator.log" >"$corpus/nested.elements"
fi
elements=$(cat "$corpus/nested.elements")

source bench/bench_common.sh
require dcmdump gdcmdump /usr/bin/time

nested="$corpus/nested.dcm"
frames="$corpus/frames.dcm"

# nested.dcm: every element dumped. dcmdump and gdcmdump print every
# element by default.
measure "quillon-cli dump nested.dcm" "$cli" dump "$nested"
measure "dcmdump nested.dcm" dcmdump "$nested"
measure "gdcmdump nested.dcm" gdcmdump "$nested"
# frames.dcm: the pixel data read in full. quillon-cli dump reads it unless
# --no-pixel-data is given; dcmdump +M loads long values (the default,
# spelled out); gdcmdump reads the whole data set.
measure "quillon-cli dump frames.dcm" "$cli" dump "$frames"
measure "dcmdump +M frames.dcm" dcmdump +M "$frames"
measure "gdcmdump frames.dcm" gdcmdump "$frames"
measure "read-file-floor frames.dcm" "$floor" "$frames"

frames_bytes=$(stat -c %s "$frames")
nested_bytes=$(stat -c %s "$nested")
echo
printf 'nested.dcm: %d elements, %.1f MB   frames.dcm: %.1f MB   best of %d warm runs\n' \
  "$elements" "$(awk -v b="$nested_bytes" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$frames_bytes" 'BEGIN { print b / 1e6 }')" "$runs"
print_measurements

faster_peer=$(smaller "${best_wall[dcmdump nested.dcm]}" "${best_wall[gdcmdump nested.dcm]}")
faster_peer_cpu=$(smaller "${best_cpu[dcmdump nested.dcm]}" "${best_cpu[gdcmdump nested.dcm]}")
speedup=$(ratio "$faster_peer" "${best_wall[quillon-cli dump nested.dcm]}")
speedup_cpu=$(ratio "$faster_peer_cpu" "${best_cpu[quillon-cli dump nested.dcm]}")
read_vs_floor=$(ratio "${best_wall[quillon-cli dump frames.dcm]}" "${best_wall[read-file-floor frames.dcm]}")
read_vs_floor_cpu=$(ratio "${best_cpu[quillon-cli dump frames.dcm]}" "${best_cpu[read-file-floor frames.dcm]}")
rss_vs_file=$(awk -v m="${peak_rss[quillon-cli dump frames.dcm]}" -v b="$frames_bytes" \
  'BEGIN { printf "%.2f", m * 1048576 / b }')
bytes_per_element=$(awk -v m="${peak_rss[quillon-cli dump nested.dcm]}" -v n="$elements" \
  'BEGIN { printf "%.0f", m * 1048576 / n }')

echo
printf '%-60s %8s %10s\n' "ratio" "value" "target"
print_ratio "nested: faster peer time / quillon dump time" "${speedup}x" ">= 3x" 3 min
print_ratio "  (the same in CPU time)" "${speedup_cpu}x" ">= 3x" 3 min
print_ratio "nested: quillon dump peak RSS / element (bytes)" "$bytes_per_element" "<= 150" 150 max
print_ratio "frames: quillon full read time / read-file floor" "${read_vs_floor}x" "<= 1.3x" 1.3 max
print_ratio "  (the same in CPU time)" "${read_vs_floor_cpu}x" "<= 1.3x" 1.3 max
print_ratio "frames: quillon full read peak RSS / file size" "${rss_vs_file}x" "<= 1.2x" 1.2 max
