#!/usr/bin/env bash
# Sets up the machine, builds Quillon (optimised) and runs the main job:
# the command-line tool dumps the sample file, looks up tags and makes a UID.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build_dir="${QUILLON_BUILD_DIR:-build/release}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF
cmake --build "$build_dir"

cli="$build_dir/cli/quillon-cli"
"$cli" dump samples/sample.dcm
"$cli" tag 0008,1050
"$cli" tag 0040,A124 --sop-class 1.2.840.10008.5.1.4.1.1.88.3
"$cli" tag 0040,A124
"$cli" uid
