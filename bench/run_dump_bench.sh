#!/usr/bin/env bash
# Times `quillon-cli dump` against DCMTK's dcmdump and GDCM's gdcmdump on a
# synthetic corpus, and a full read of a large multi-frame file against the
# cost of just reading the file into memory. Prints one table with the best
# wall time of 5 warm runs and the peak resident memory of each command,
# then the ratios we hold ourselves to:
#
#   nested.dcm  quillon dump at least 3x faster than the faster peer,
#               at most 150 bytes of peak memory per element; its text is
#               ASCII, so decoding it to UTF-8 may cost no more than 3 %
#               over printing the stored bytes (--raw)
#   latin1.dcm  the same elements in ISO_IR 100, decoded to UTF-8: quillon
#               dump at least 5x faster than gdcmdump
#   frames.dcm  full read at most 1.3x the read-file floor,
#               peak memory at most 1.2x the file size
#
# With QUILLON_BASELINE_CLI set to another build's quillon-cli (main's, say),
# its dumps of the same files are timed beside ours.
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
  [ ! -s "$corpus/latin1.dcm" ] ||
  [ "$generator" -nt "$corpus/nested.dcm" ]; then
  "$generator" "$corpus" | tee "$corpus/generator.log"
  sed -n 's/^.*nested\.dcm: \([0-9]*\) elements$/\1/p' "$corpus/generator.log" >"$corpus/nested.elements"
fi
elements=$(cat "$corpus/nested.elements")

source bench/bench_common.sh
require dcmdump gdcmdump /usr/bin/time

nested="$corpus/nested.dcm"
latin1="$corpus/latin1.dcm"
frames="$corpus/frames.dcm"
baseline="${QUILLON_BASELINE_CLI:-}"

# nested.dcm: every element dumped. dcmdump and gdcmdump print every
# element by default.
measure "quillon-cli dump nested.dcm" "$cli" dump "$nested"
measure "dcmdump nested.dcm" dcmdump "$nested"
measure "gdcmdump nested.dcm" gdcmdump "$nested"
measure "quillon-cli dump --raw nested.dcm" "$cli" dump --raw "$nested"
measure "quillon-cli dump latin1.dcm" "$cli" dump "$latin1"
measure "dcmdump latin1.dcm" dcmdump "$latin1"
measure "gdcmdump latin1.dcm" gdcmdump "$latin1"
if [ -n "$baseline" ]; then
  measure "baseline dump nested.dcm" "$baseline" dump "$nested"
  measure "baseline dump latin1.dcm" "$baseline" dump "$latin1"
fi
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
latin1_speedup=$(ratio "${best_wall[gdcmdump latin1.dcm]}" "${best_wall[quillon-cli dump latin1.dcm]}")
latin1_speedup_cpu=$(ratio "${best_cpu[gdcmdump latin1.dcm]}" "${best_cpu[quillon-cli dump latin1.dcm]}")
ascii_decoding=$(ratio "${best_cpu[quillon-cli dump nested.dcm]}" "${best_cpu[quillon-cli dump --raw nested.dcm]}")
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
print_ratio "nested: UTF-8 dump CPU time / --raw dump CPU time" "${ascii_decoding}x" "<= 1.03x" 1.03 max
print_ratio "latin1: gdcmdump time / quillon dump time" "${latin1_speedup}x" ">= 5x" 5 min
print_ratio "  (the same in CPU time)" "${latin1_speedup_cpu}x" ">= 5x" 5 min
print_ratio "frames: quillon full read time / read-file floor" "${read_vs_floor}x" "<= 1.3x" 1.3 max
print_ratio "  (the same in CPU time)" "${read_vs_floor_cpu}x" "<= 1.3x" 1.3 max
print_ratio "frames: quillon full read peak RSS / file size" "${rss_vs_file}x" "<= 1.2x" 1.2 max
if [ -n "$baseline" ]; then
  print_ratio "nested: quillon dump CPU time / baseline's" \
    "$(ratio "${best_cpu[quillon-cli dump nested.dcm]}" "${best_cpu[baseline dump nested.dcm]}")x" "<= 1.03x" 1.03 max
  print_ratio "latin1: quillon dump CPU time / baseline's (which prints bytes)" \
    "$(ratio "${best_cpu[quillon-cli dump latin1.dcm]}" "${best_cpu[baseline dump latin1.dcm]}")x" "(info)" 1000 max
fi
