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
# Wall times come from hyperfine when it is installed, otherwise from a loop
# of /usr/bin/time runs, which also gives CPU time and peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
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

for tool in dcmdump gdcmdump /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "run_dump_bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# measure LABEL COMMAND...: one warm-up run, then $runs runs with standard
# output discarded under /usr/bin/time, which gives the best CPU time
# (user + system: the figure to trust on a busy machine, where wall time
# also counts waiting for a core), the largest peak RSS seen and, without
# hyperfine, the best wall time. With hyperfine the best wall time is its
# minimum over another $runs runs after its own warm-up.
declare -A best_time best_cpu peak_rss
labels=()
measure() {
  local label="$1"
  shift
  "$@" >/dev/null
  local best="" cpu="" rss=0 start end elapsed stats kib used
  stats="$(mktemp)"
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    /usr/bin/time -f "%M %U %S" -o "$stats" "$@" >/dev/null
    end=$(date +%s%N)
    elapsed=$((end - start))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
    read -r kib used < <(tail -1 "$stats" | awk '{ print $1, $2 + $3 }')
    if [ "$kib" -gt "$rss" ]; then rss=$kib; fi
    cpu=$(awk -v a="$used" -v b="${cpu:-$used}" 'BEGIN { print (a < b ? a : b) }')
  done
  best_time[$label]=$(awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }')
  if [ "$use_hyperfine" = 1 ]; then
    hyperfine --warmup 1 --runs "$runs" --style none --output=null --export-json "$stats" \
      "$(printf '%q ' "$@")" >/dev/null
    best_time[$label]=$(python3 -c 'import json, sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][0]["min"])' "$stats")
  fi
  rm -f "$stats"
  labels+=("$label")
  best_cpu[$label]=$(awk -v s="$cpu" 'BEGIN { printf "%.2f", s }')
  peak_rss[$label]=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
}

use_hyperfine=0
timer="/usr/bin/time loop"
if command -v hyperfine >/dev/null; then
  use_hyperfine=1
  timer="hyperfine"
fi

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
printf 'nested.dcm: %d elements, %.1f MB   frames.dcm: %.1f MB   best of %d warm runs (wall: %s)\n' \
  "$elements" "$(awk -v b="$nested_bytes" 'BEGIN { print b / 1e6 }')" \
  "$(awk -v b="$frames_bytes" 'BEGIN { print b / 1e6 }')" "$runs" "$timer"
printf '%-32s %10s %13s %14s\n' "command" "best (s)" "best CPU (s)" "peak RSS (MB)"
for label in "${labels[@]}"; do
  printf '%-32s %10s %13s %14s\n' "$label" "${best_time[$label]}" "${best_cpu[$label]}" "${peak_rss[$label]}"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
verdict() { awk -v v="$1" -v t="$2" -v dir="$3" 'BEGIN { ok = dir == "min" ? v >= t : v <= t; print ok ? "met" : "MISSED" }'; }

faster_peer=$(awk -v d="${best_time[dcmdump nested.dcm]}" -v g="${best_time[gdcmdump nested.dcm]}" \
  'BEGIN { print (d < g ? d : g) }')
speedup=$(ratio "$faster_peer" "${best_time[quillon-cli dump nested.dcm]}")
faster_peer_cpu=$(awk -v d="${best_cpu[dcmdump nested.dcm]}" -v g="${best_cpu[gdcmdump nested.dcm]}" \
  'BEGIN { print (d < g ? d : g) }')
speedup_cpu=$(ratio "$faster_peer_cpu" "${best_cpu[quillon-cli dump nested.dcm]}")
read_vs_floor=$(ratio "${best_time[quillon-cli dump frames.dcm]}" "${best_time[read-file-floor frames.dcm]}")
read_vs_floor_cpu=$(ratio "${best_cpu[quillon-cli dump frames.dcm]}" "${best_cpu[read-file-floor frames.dcm]}")
rss_vs_file=$(awk -v m="${peak_rss[quillon-cli dump frames.dcm]}" -v b="$frames_bytes" \
  'BEGIN { printf "%.2f", m * 1048576 / b }')
bytes_per_element=$(awk -v m="${peak_rss[quillon-cli dump nested.dcm]}" -v n="$elements" \
  'BEGIN { printf "%.0f", m * 1048576 / n }')

echo
printf '%-52s %8s %10s %s\n' "ratio" "value" "target" ""
printf '%-52s %8s %10s %s\n' "nested: faster peer time / quillon dump time" "${speedup}x" ">= 3x" \
  "$(verdict "$speedup" 3 min)"
printf '%-52s %8s %10s %s\n' "  (the same in CPU time)" "${speedup_cpu}x" ">= 3x" \
  "$(verdict "$speedup_cpu" 3 min)"
printf '%-52s %8s %10s %s\n' "nested: quillon dump peak RSS / element (bytes)" "$bytes_per_element" "<= 150" \
  "$(verdict "$bytes_per_element" 150 max)"
printf '%-52s %8s %10s %s\n' "frames: quillon full read time / read-file floor" "${read_vs_floor}x" "<= 1.3x" \
  "$(verdict "$read_vs_floor" 1.3 max)"
printf '%-52s %8s %10s %s\n' "  (the same in CPU time)" "${read_vs_floor_cpu}x" "<= 1.3x" \
  "$(verdict "$read_vs_floor_cpu" 1.3 max)"
printf '%-52s %8s %10s %s\n' "frames: quillon full read peak RSS / file size" "${rss_vs_file}x" "<= 1.2x" \
  "$(verdict "$rss_vs_file" 1.2 max)"
