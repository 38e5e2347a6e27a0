#!/usr/bin/env bash
# Builds the fuzzers with Clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build/fuzz and runs it for SECONDS (default
# 60) on one core. It mutates a scratch copy of the seed corpus, so the
# committed seeds never grow. Exits non-zero when the fuzzer finds a crash,
# leak, timeout or out-of-memory input; that input is left in
# build/fuzz/findings/ (move it to fuzz/crashes/ once it is confirmed as a
# bug, together with the fix's regression test).
#
#   scripts/fuzz.sh [SECONDS [LIBFUZZER_FLAG...]]
#
# Extra flags go to libFuzzer as given. To keep a long run going past a bug
# that is already known, run it in fork mode and collect every finding:
#   scripts/fuzz.sh 1800 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS [LIBFUZZER_FLAG...]]" >&2
  exit 2
fi
shift $(($# > 0 ? 1 : 0))

build_dir="${QUILLON_FUZZ_BUILD_DIR:-build/fuzz}"
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLON_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF >/dev/null
# FUZZ_TARGETS picks fuzzers by short name; all of them by default, each
# for SECONDS. Each starts from its seed folder under fuzz/corpus (if any).
# htj2k-frame runs OpenJPH in the helper program for each input that
# passes the HTJ2K header walk: fewer runs a second than the others, and the
# coverage of what runs there does not reach libFuzzer. So does
# jpeg2000-frame for a frame of HT code blocks only. The helper is built
# too: without it the library forks the fuzzer instead, and a child that
# dies in OpenJPH under the fuzzer's sanitizers leaves a crash file behind
# although the fuzzer itself handled the input well.
targets="${FUZZ_TARGETS:-read-file frame-read rle-decode jpeg-decode jpeg-lossless-frame jpeg-extended-frame jpeg-ls-frame htj2k-frame jpeg2000-frame rle-native-frame inflate}"
cmake --build "$build_dir" --target quillon-htj2k-decoder
for target in $targets; do
  cmake --build "$build_dir" --target "quillon-$target-fuzzer"
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

overall=0
for target in $targets; do
  fuzzer="$build_dir/fuzz/quillon-$target-fuzzer"
  seeds="fuzz/corpus/${target//-/_}"
  [ "$target" = frame-read ] && seeds="fuzz/corpus/read_file"
  corpus="$build_dir/corpus/$target"
  findings="$build_dir/findings/$target"
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings"
  if [ -d "$seeds" ]; then cp "$seeds"/* "$corpus/" 2>/dev/null || true; fi

  # libFuzzer exits non-zero and writes the input under artifact_prefix on
  # a finding; in fork mode with findings ignored it exits 0, so the
  # findings folder is what decides.
  echo "fuzz: $target for ${seconds}s"
  status=0
  "$fuzzer" "$corpus" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$@" || status=$?
  if [ "$status" -eq 0 ] && [ -n "$(ls -A "$findings")" ]; then status=1; fi
  if [ "$status" -ne 0 ]; then
    echo "fuzz: findings of $target in $findings:" >&2
    ls -l "$findings" >&2
    echo "reproduce with: $fuzzer <input>   minimize with: $fuzzer -minimize_crash=1 -runs=10000 <input>" >&2
    overall=1
  fi
done
exit "$overall"
