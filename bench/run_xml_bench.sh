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

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
corpus="build/bench-corpus"

source bench/bench_common.sh
require dcm2xml dcmdump xmllint /usr/bin/time

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

wall_ratio=$(ratio "${best_wall[dcm2xml]}" "${best_wall[quillon-cli xml]}")
cpu_ratio=$(ratio "${best_cpu[dcm2xml]}" "${best_cpu[quillon-cli xml]}")
echo
printf '%-60s %8s %10s\n' "ratio" "value" "target"
print_ratio "dcm2xml wall time / quillon-cli xml" "${wall_ratio}x" ">= 2x" 2 min
print_ratio "dcm2xml CPU time / quillon-cli xml" "${cpu_ratio}x" ">= 2x" 2 min
