#!/usr/bin/env bash
# Builds the file-reading fuzzer with Clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build/fuzz and runs it for SECONDS (default
# 60) on one core. It mutates a scratch copy of the seed corpus, so the
# committed seeds never grow. Exits non-zero when the fuzzer finds a crash,
# leak, timeout or out-of-memory input; that input is left in
# build/fuzz/findings/ (move it to fuzz/crashes/ once it is confirmed as a
# bug, together with the fix's regression test).
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

build_dir="${QUILLON_FUZZ_BUILD_DIR:-build/fuzz}"
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLON_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target quillon-read-file-fuzzer

fuzzer="$build_dir/fuzz/quillon-read-file-fuzzer"
corpus="$build_dir/corpus/read_file"
findings="$build_dir/findings"
rm -rf "$corpus"
mkdir -p "$corpus" "$findings"
cp fuzz/corpus/read_file/* "$corpus/"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# libFuzzer exits 0 when the time is up with nothing found, and non-zero
# (and writes the input to artifact_prefix) on any finding.
status=0
"$fuzzer" "$corpus" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$findings/" || status=$?

if [ "$status" -ne 0 ]; then
  echo "fuzz: finding after $(date -u +%FT%TZ); input(s) in $findings:" >&2
  ls -l "$findings" >&2
  echo "reproduce with: $fuzzer <input>   minimize with: $fuzzer -minimize_crash=1 -runs=10000 <input>" >&2
fi
exit "$status"
