#!/usr/bin/env bash
# Sets up the machine, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build_dir="${QUILLON_TEST_BUILD_DIR:-build/asan}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON
cmake --build "$build_dir"

# Tests never touch the user's own settings (the UID counter lives there).
settings_dir="$(mktemp -d)"
trap 'rm -rf "$settings_dir"' EXIT
export QUILLON_SETTINGS_FILE="$settings_dir/Quillon.ini"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

ctest --test-dir "$build_dir" --output-on-failure -j 2

# The Debian package builds, unpacks and runs.
scripts/package.sh

# A short fuzzing smoke run of every fuzz target (needs Clang; longer runs
# are done by hand with scripts/fuzz.sh). Its seed is fixed, so each run
# mutates the seeds much the same way (the frame decoders' runs alike; the
# file readers' differ a little, as the UIDs a saved file gets do) and a
# finding here is one a run by hand with that seed meets too. Exploring is
# the long runs' job.
if command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh "${QUILLON_FUZZ_SECONDS:-30}" -seed="${QUILLON_FUZZ_SEED:-1}"
fi
