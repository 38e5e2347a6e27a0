#!/usr/bin/env bash
# Line coverage of the library (base, dicom, jpeg, pixel, xml; the generated
# tables left out) and of all the code, from one run of every test in a
# build instrumented with gcov. Guards the test suite: a test removed or
# merged must not leave code it alone ran unexercised.
# Usage: scripts/coverage.sh [BUILD_DIR]   (default build/coverage)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
command -v gcovr >/dev/null || { echo "coverage: gcovr is not installed" >&2; exit 1; }

build_dir="${1:-build/coverage}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build_dir"
find "$build_dir" -name '*.gcda' -delete

settings_dir="$(mktemp -d)"
trap 'rm -rf "$settings_dir"' EXIT
QUILLON_SETTINGS_FILE="$settings_dir/Quillon.ini" ctest --test-dir "$build_dir" -j 2 >/dev/null

generated='.*(DataDictionaryTable|TagNameTableData)\.cpp'
# gcovr deletes its output file after trying it, so it never gets /dev/null.
report="$settings_dir/coverage.txt"
summary() {
  gcovr -r . --object-directory "$build_dir" --filter "$1" --exclude "$generated" -j 2 -s -o "$report" 2>"$report.log" |
    sed -n 's/^lines: /  lines: /p'
}
echo "library (base dicom jpeg pixel xml):"
summary '(base|dicom|jpeg|pixel|xml)/'
echo "all code (also cli, app):"
summary '(base|dicom|jpeg|pixel|xml|cli|app)/'
