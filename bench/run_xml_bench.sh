#!/usr/bin/env bash
# Times `quillon-cli xml` against DCMTK's dcm2xml on the nested corpus file
# (about 200,000 elements, nearly all inside sequences), with an XML
# dictionary that names every tag of the file, so our export writes every
# text element and every sequence just as dcm2xml writes every element.
# Both read the same file and write their document to a file.
#
#   target: quillon-cli xml at least 2x faster than dcm2xml
#
# Prints the best wall time and the best CPU time (user + system) of 5 warm
# runs for each, and the ratios. CPU time is the figure to trust on a busy
# machine, where wall time also counts waiting for a core.
#
# Uses the optimised tree in build/release and the corpus in
# build/bench-corpus/ that bench/run_dump_bench.sh uses, building them when
# they are missing (the generator writes both corpus files).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
corpus="build/bench-corpus"

for tool in dcm2xml dcmdump xmllint /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "run_xml_bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target quillon-cli make-bench-corpus

cli="$build_dir/cli/quillon-cli"
generator="$build_dir/bench/make-bench-corpus"
nested="$corpus/nested.dcm"

mkdir -p "$corpus"
if [ ! -s "$nested" ] || [ "$generator" -nt "$nested" ]; then
  "$generator" "$corpus"
fi

# The dictionary: the shipped one, plus a name for every tag of the file it
# does not name (items and delimiters are not elements).
dictionary="$corpus/xml-bench-dictionary.txt"
cp xml/Dicom2XmlDict.txt "$dictionary"
dcmdump -q "$nested" | sed -n 's/^ *(\([0-9a-f]\{4\}\),\([0-9a-f]\{4\}\)).*/\1\2/p' | grep -v '^fffe' | sort -u \
  >"$corpus/xml-bench-tags.txt"
while read -r tag; do
  grep -qi "($tag)" "$dictionary" || echo "tag_$tag ($tag)" >>"$dictionary"
done <"$corpus/xml-bench-tags.txt"
tag_count=$(wc -l <"$corpus/xml-bench-tags.txt")

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

# One checked run of each: our document must be well-formed and hold an
# element for every text element and sequence of the file.
"$cli" xml "$nested" --dictionary "$dictionary" --output "$out/ours.xml"
dcm2xml "$nested" "$out/dcm2xml.xml"
xmllint --noout "$out/ours.xml"
ours_elements=$(grep -c '<[a-z_][a-z0-9_]*>' "$out/ours.xml" || true)

# measure LABEL COMMAND...: one warm-up run, then $runs timed runs; keeps the
# best wall time and the best CPU time.
declare -A best_wall best_cpu
labels=()
measure() {
  local label="$1"
  shift
  "$@" >/dev/null
  local wall="" cpu="" start end elapsed stats used
  stats="$(mktemp)"
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    /usr/bin/time -f "%U %S" -o "$stats" "$@" >/dev/null
    end=$(date +%s%N)
    elapsed=$((end - start))
    if [ -z "$wall" ] || [ "$elapsed" -lt "$wall" ]; then wall=$elapsed; fi
    used=$(tail -1 "$stats" | awk '{ print $1 + $2 }')
    cpu=$(awk -v a="$used" -v b="${cpu:-$used}" 'BEGIN { print (a < b ? a : b) }')
  done
  rm -f "$stats"
  labels+=("$label")
  best_wall[$label]=$(awk -v ns="$wall" 'BEGIN { printf "%.3f", ns / 1e9 }')
  best_cpu[$label]=$(awk -v s="$cpu" 'BEGIN { printf "%.3f", s }')
}

measure "quillon-cli xml" "$cli" xml "$nested" --dictionary "$dictionary" --output "$out/ours.xml"
measure "dcm2xml" dcm2xml "$nested" "$out/dcm2xml.xml"

echo
printf 'nested.dcm: %s distinct tags, all named; %s named elements written; best of %d warm runs\n' \
  "$tag_count" "$ours_elements" "$runs"
printf '%-20s %10s %13s %12s\n' "command" "wall (s)" "CPU (s)" "output (MB)"
printf '%-20s %10s %13s %12s\n' "quillon-cli xml" "${best_wall[quillon-cli xml]}" "${best_cpu[quillon-cli xml]}" \
  "$(awk -v b="$(stat -c %s "$out/ours.xml")" 'BEGIN { printf "%.1f", b / 1e6 }')"
printf '%-20s %10s %13s %12s\n' "dcm2xml" "${best_wall[dcm2xml]}" "${best_cpu[dcm2xml]}" \
  "$(awk -v b="$(stat -c %s "$out/dcm2xml.xml")" 'BEGIN { printf "%.1f", b / 1e6 }')"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
verdict() { awk -v v="$1" 'BEGIN { print (v >= 2 ? "met" : "MISSED") }'; }
wall_ratio=$(ratio "${best_wall[dcm2xml]}" "${best_wall[quillon-cli xml]}")
cpu_ratio=$(ratio "${best_cpu[dcm2xml]}" "${best_cpu[quillon-cli xml]}")
echo
printf '%-44s %8s %8s %s\n' "ratio" "value" "target" ""
printf '%-44s %8s %8s %s\n' "dcm2xml wall time / quillon-cli xml" "${wall_ratio}x" ">= 2x" "$(verdict "$wall_ratio")"
printf '%-44s %8s %8s %s\n' "dcm2xml CPU time / quillon-cli xml" "${cpu_ratio}x" ">= 2x" "$(verdict "$cpu_ratio")"
