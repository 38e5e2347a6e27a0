# Shared by the bench/run_*_bench.sh scripts (sourced, not run).
#
# measure LABEL COMMAND...: one warm-up run, then $runs runs (default 5)
# with standard output discarded under /usr/bin/time. Keeps, per label, the
# best wall time (best_wall, seconds), the best CPU time (best_cpu, user +
# system: the figure to trust on a busy machine, where wall time also counts
# waiting for a core) and the largest peak resident size seen (peak_rss, MB).
# A command that fails stops the script: a benchmark of a failing command
# times its error path.

declare -A best_wall best_cpu peak_rss
labels=()
runs="${runs:-5}"

measure() {
  local label="$1"
  shift
  if ! "$@" >/dev/null; then
    echo "bench: \"$label\" failed: $*" >&2
    exit 1
  fi
  local wall="" cpu="" rss=0 start end elapsed stats kib used
  stats="$(mktemp)"
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    /usr/bin/time -f "%M %U %S" -o "$stats" "$@" >/dev/null
    end=$(date +%s%N)
    elapsed=$((end - start))
    if [ -z "$wall" ] || [ "$elapsed" -lt "$wall" ]; then wall=$elapsed; fi
    read -r kib used < <(tail -1 "$stats" | awk '{ print $1, $2 + $3 }')
    if [ "$kib" -gt "$rss" ]; then rss=$kib; fi
    cpu=$(awk -v a="$used" -v b="${cpu:-$used}" 'BEGIN { print (a < b ? a : b) }')
  done
  rm -f "$stats"
  labels+=("$label")
  best_wall[$label]=$(awk -v ns="$wall" 'BEGIN { printf "%.3f", ns / 1e9 }')
  best_cpu[$label]=$(awk -v s="$cpu" 'BEGIN { printf "%.2f", s }')
  peak_rss[$label]=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
}

# print_measurements: the table of every label measured so far.
print_measurements() {
  printf '%-40s %10s %13s %14s\n' "command" "best (s)" "best CPU (s)" "peak RSS (MB)"
  local label
  for label in "${labels[@]}"; do
    printf '%-40s %10s %13s %14s\n' "$label" "${best_wall[$label]}" "${best_cpu[$label]}" "${peak_rss[$label]}"
  done
}

# ratio A B: A / B with two decimals (0 when B is 0).
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
# verdict VALUE TARGET min|max: "met" when VALUE >= TARGET (min) or <= TARGET (max).
verdict() { awk -v v="$1" -v t="$2" -v dir="$3" 'BEGIN { ok = dir == "min" ? v >= t : v <= t; print ok ? "met" : "MISSED" }'; }
# smaller A B: the smaller of two numbers.
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
# print_ratio TEXT VALUE TARGET_TEXT TARGET min|max: one row of the ratio table.
print_ratio() { printf '%-60s %8s %10s %s\n' "$1" "$2" "$3" "$(verdict "${2%x}" "$4" "$5")"; }

# require TOOL...: stop with a hint when a peer or helper is not installed.
require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
  done
}

# make_ct_series TOOL FRAMES DIR UID: DIR/ct.dcm, an uncompressed series of
# FRAMES synthetic 512x512 CT frames (12 bits stored in 16) made by TOOL
# (jpeg-decode-bench make-ct) and written by dump2dcm, so no Quillon code
# writes the file the peers read.
make_ct_series() {
  local tool="$1" frames="$2" dir="$3" uid="$4"
  "$tool" make-ct "$frames" "$dir/ct.raw"
  cat >"$dir/ct.txt" <<DUMP
(0008,0016) UI [1.2.840.10008.5.1.4.1.1.7.3]
(0008,0018) UI [$uid]
(0008,0060) CS [CT]
(0028,0002) US 1
(0028,0004) CS [MONOCHROME2]
(0028,0008) IS [$frames]
(0028,0010) US 512
(0028,0011) US 512
(0028,0100) US 16
(0028,0101) US 12
(0028,0102) US 11
(0028,0103) US 0
(7fe0,0010) OW =$dir/ct.raw
DUMP
  dump2dcm -q "$dir/ct.txt" "$dir/ct.dcm"
}
