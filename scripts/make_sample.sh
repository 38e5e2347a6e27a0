#!/usr/bin/env bash
# Regenerates the shipped samples: samples/sample.dcm, the small file the run
# script dumps (the nested-sequence test fixture, built by DCMTK's dump2dcm
# and saved again by our own writer, quillon-cli rewrite), and the sample
# images (make-sample-images, built with the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build/release/cli/quillon-cli}"
images="${2:-build/asan/tests/make-sample-images}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dump2dcm -e tests/data/nested_sequences.txt "$tmp/source.dcm"
"$cli" rewrite "$tmp/source.dcm" samples/sample.dcm
"$images" samples
