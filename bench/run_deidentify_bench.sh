#!/usr/bin/env bash
# Times `quillon-cli deidentify` against GDCM's `gdcmanon -e` (which also
# applies the basic confidentiality profile, and encrypts what it removes
# into the file under a certificate) on the same folder: 1,000 CT images of
# about 40 KB in 10 study folders. Prints one table with the best wall
# time of the warm runs and the peak resident memory of each command, then
# the ratio we hold ourselves to:
#
#   gdcmanon -e time / quillon-cli deidentify time   at least 3x
#
# quillon-cli runs with its default --jobs (the number of cores) and, for
# comparison, with one thread; gdcmanon has no threads of its own. By
# default quillon-cli flushes its results to disk once at the end, which
# gdcmanon does not: the table also shows quillon-cli --no-sync, and
# gdcmanon followed by a flush of its output (sync -f), so that like can be
# compared with like. The ratio row is the default command against plain
# gdcmanon.
#
# The corpus is made once in build/bench-deidentify/ by pydicom (Debian's
# python3-pydicom) from its CT_small.dcm, each file with its own SOP
# Instance UID and each study folder with its own patient and Study
# Instance UID. The certificate gdcmanon needs is a throwaway one made
# there with openssl. Builds the optimised tree in build/release when it is
# missing or out of date.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${QUILLON_BENCH_BUILD_DIR:-build/release}"
work="build/bench-deidentify"
runs="${runs:-3}"
files=1000
studies=10

source bench/bench_common.sh
require gdcmanon openssl /usr/bin/time /usr/bin/python3

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target quillon-cli
cli="$build_dir/cli/quillon-cli"

mkdir -p "$work"
if [ "$(find "$work/in" -type f 2>/dev/null | wc -l)" -ne "$files" ]; then
  rm -rf "$work/in"
  /usr/bin/python3 - "$work/in" "$files" "$studies" <<'EOF'
import os
import sys

import pydicom
from pydicom.data import get_testdata_file

folder, files, studies = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
template = pydicom.dcmread(get_testdata_file("CT_small.dcm"))
root = "1.2.826.0.1.3680043.8.498.7"
for n in range(files):
    study = n % studies
    data = template.copy()
    data.PatientID = "BENCH-%02d" % study
    data.PatientName = "Bench^Patient%02d" % study
    data.StudyInstanceUID = "%s.1.%d" % (root, study)
    data.SeriesInstanceUID = "%s.2.%d" % (root, study)
    data.SOPInstanceUID = "%s.3.%d" % (root, n)
    data.file_meta.MediaStorageSOPInstanceUID = data.SOPInstanceUID
    data.InstanceNumber = n
    os.makedirs(os.path.join(folder, "study-%02d" % study), exist_ok=True)
    data.save_as(os.path.join(folder, "study-%02d" % study, "%04d.dcm" % n))
EOF
fi
if [ ! -s "$work/cert.pem" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=bench -keyout "$work/key.pem" -out "$work/cert.pem" \
    -days 2 2>/dev/null
fi
corpus_bytes=$(du -sb "$work/in" | cut -f1)

# Each run writes the whole output tree again (both tools replace what is
# there). The UID map makes ours do the work a shared map asks for.
rm -rf "$work/out-quillon" "$work/out-quillon-1" "$work/out-gdcm" "$work/run.map"
mkdir -p "$work/out-gdcm"
measure "quillon-cli deidentify (cores)" "$cli" deidentify "$work/in" --output "$work/out-quillon" \
  --uid-map "$work/run.map"
measure "quillon-cli deidentify --jobs 1" "$cli" deidentify "$work/in" --output "$work/out-quillon-1" \
  --uid-map "$work/run.map" --jobs 1
measure "quillon-cli deidentify --no-sync" "$cli" deidentify "$work/in" --output "$work/out-quillon" \
  --uid-map "$work/run.map" --no-sync
measure "gdcmanon -e" gdcmanon -e -r --continue -i "$work/in" -o "$work/out-gdcm" \
  -k "$work/key.pem" -c "$work/cert.pem"
measure "gdcmanon -e, then sync -f" bash -c 'gdcmanon -e -r --continue -i "$1/in" -o "$1/out-gdcm" \
  -k "$1/key.pem" -c "$1/cert.pem" && sync -f "$1/out-gdcm"' bench "$work"

echo
printf '%d files in %d study folders, %.1f MB, %s cores; best of %d warm runs\n' "$files" "$studies" \
  "$(awk -v b="$corpus_bytes" 'BEGIN { print b / 1e6 }')" "$(nproc)" "$runs"
print_measurements

speedup=$(ratio "${best_wall[gdcmanon -e]}" "${best_wall[quillon-cli deidentify (cores)]}")
speedup_one=$(ratio "${best_wall[gdcmanon -e]}" "${best_wall[quillon-cli deidentify --jobs 1]}")
speedup_cpu=$(ratio "${best_cpu[gdcmanon -e]}" "${best_cpu[quillon-cli deidentify (cores)]}")
speedup_no_sync=$(ratio "${best_wall[gdcmanon -e]}" "${best_wall[quillon-cli deidentify --no-sync]}")
speedup_synced=$(ratio "${best_wall[gdcmanon -e, then sync -f]}" "${best_wall[quillon-cli deidentify (cores)]}")
echo
printf '%-60s %8s %10s\n' "ratio" "value" "target"
print_ratio "gdcmanon -e time / quillon-cli deidentify time" "${speedup}x" ">= 3x" 3 min
print_ratio "  (quillon-cli on one thread)" "${speedup_one}x" ">= 3x" 3 min
print_ratio "  (the same in CPU time)" "${speedup_cpu}x" ">= 3x" 3 min
print_ratio "  (neither flushing: gdcmanon / quillon-cli --no-sync)" "${speedup_no_sync}x" ">= 3x" 3 min
print_ratio "  (both flushing: gdcmanon + sync / quillon-cli)" "${speedup_synced}x" ">= 3x" 3 min
