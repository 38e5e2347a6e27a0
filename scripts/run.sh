#!/usr/bin/env bash
# Sets up the machine, builds Quillon (optimised) and runs the main job: the
# desktop editor on the shipped sample files when a display is available;
# otherwise (a headless machine) the command-line tool dumps the sample file,
# looks up tags and makes a UID.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build_dir="${QUILLON_BUILD_DIR:-build/release}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF
cmake --build "$build_dir"

cli="$build_dir/cli/quillon-cli"
editor="$build_dir/app/qt/quillon"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$editor" samples/*.dcm
fi
echo "No display: running the command-line tool instead of the desktop editor."
"$cli" dump samples/sample.dcm
"$cli" tag 0008,1050
"$cli" tag 0040,A124 --sop-class 1.2.840.10008.5.1.4.1.1.88.3
"$cli" tag 0040,A124
"$cli" uid
