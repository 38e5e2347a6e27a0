#!/usr/bin/env bash
# Regenerates the seed corpus of the file-reading fuzzer: small media files
# (each well under 2 KB) that take the reader through every path worth
# mutating from — the three transfer modes, sequences nested three deep,
# defined and undefined lengths, private sequences in implicit VR, and
# encapsulated pixel data with an offset table and two fragments. Made with
# DCMTK's dump2dcm so the seeds come from an independent writer.
# Deterministic: every UID is given, so rerunning changes no file.
set -euo pipefail
cd "$(dirname "$0")"

out="corpus/read_file"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# The plain image used for the three transfer modes: a few elements of the
# common VRs and a 4x4 native 16-bit frame.
cat > "$work/image.txt" <<'DUMP'
(0008,0005) CS [ISO_IR 100]
(0008,0016) UI =SecondaryCaptureImageStorage
(0008,0018) UI [1.2.826.0.1.3680043.10.1234.1]
(0008,0020) DA [20240102]
(0008,0030) TM [101112.5]
(0008,0060) CS [OT]
(0010,0010) PN [Doe^Jane]
(0010,0020) LO [SEED-1]
(0018,0050) DS [1.25]
(0020,0013) IS [7]
(0020,0032) DS [-12.5\4.0\100]
(0028,0002) US 1
(0028,0004) CS [MONOCHROME2]
(0028,0010) US 4
(0028,0011) US 4
(0028,0030) DS [0.5\0.5]
(0028,0100) US 16
(0028,0101) US 12
(0028,0102) US 11
(0028,0103) US 0
(0028,1050) DS [2048]
(0040,9225) FD 1.5
(0054,0081) US 3
(7fe0,0010) OW 0000\0001\0002\0003\0100\0101\0102\0103\0200\0201\0202\0203\0fff\0ffe\0ffd\0ffc
DUMP

# Sequences three deep, with text, binary and numeric values inside items,
# an empty item and an empty sequence.
cat > "$work/nested.txt" <<'DUMP'
(0008,0016) UI =BasicTextSRStorage
(0008,0018) UI [1.2.826.0.1.3680043.10.1234.2]
(0008,0060) CS [SR]
(0008,1115) SQ (Sequence with explicit length #=2)
  (fffe,e000) na (Item with explicit length #=3)
    (0008,1140) SQ (Sequence with explicit length #=2)
      (fffe,e000) na (Item with explicit length #=2)
        (0008,1150) UI =CTImageStorage
        (0008,1155) UI [1.2.826.0.1.3680043.10.1234.3]
      (fffe,e00d) na (ItemDelimitationItem for re-encoding)
      (fffe,e000) na (Item with explicit length #=0)
      (fffe,e00d) na (ItemDelimitationItem for re-encoding)
    (fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
    (0020,000e) UI [1.2.826.0.1.3680043.10.1234.4]
    (0040,a730) SQ (Sequence with explicit length #=1)
      (fffe,e000) na (Item with explicit length #=4)
        (0040,a010) CS [CONTAINS]
        (0040,a040) CS [NUM]
        (0040,a300) SQ (Sequence with explicit length #=1)
          (fffe,e000) na (Item with explicit length #=2)
            (0040,a30a) DS [3.5]
            (0040,08ea) SQ (Sequence with explicit length #=0)
            (fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
          (fffe,e00d) na (ItemDelimitationItem for re-encoding)
        (fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
        (0040,a160) UT [free text in a nested item]
      (fffe,e00d) na (ItemDelimitationItem for re-encoding)
    (fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
  (fffe,e00d) na (ItemDelimitationItem for re-encoding)
  (fffe,e000) na (Item with explicit length #=2)
    (0008,1150) UI =MRImageStorage
    (0008,1155) UI [1.2.826.0.1.3680043.10.1234.5]
  (fffe,e00d) na (ItemDelimitationItem for re-encoding)
(fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
(0010,0010) PN [Roe^Richard^^Dr]
(0040,a504) SQ (Sequence with explicit length #=0)
(fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
DUMP

# A private creator and a private sequence: in implicit VR the reader has to
# recognise the sequence without a dictionary entry.
cat > "$work/private.txt" <<'DUMP'
(0008,0016) UI =SecondaryCaptureImageStorage
(0008,0018) UI [1.2.826.0.1.3680043.10.1234.6]
(0009,0010) LO [QUILLON SEED]
(0009,1001) SQ (Sequence with undefined length #=2)
  (fffe,e000) na (Item with undefined length #=2)
    (0009,1002) LO [inside a private item]
    (0009,1003) UN 01\02\03\04
  (fffe,e00d) na (ItemDelimitationItem)
  (fffe,e000) na (Item with undefined length #=1)
    (0010,0020) LO [PRIVATE-2]
  (fffe,e00d) na (ItemDelimitationItem)
(fffe,e0dd) na (SequenceDelimitationItem)
(0010,0010) PN [Private^Seed]
(0029,0010) LO [SECOND CREATOR]
(0029,1010) OB 00\11\22\33\44\55
DUMP

# Encapsulated pixel data: empty offset table and one fragment per frame.
cat > "$work/encapsulated.txt" <<'DUMP'
(0002,0010) UI =JPEGBaseline
(0008,0016) UI =SecondaryCaptureImageStorage
(0008,0018) UI [1.2.826.0.1.3680043.10.1234.7]
(0028,0002) US 1
(0028,0004) CS [MONOCHROME2]
(0028,0008) IS [2]
(0028,0010) US 4
(0028,0011) US 4
(0028,0100) US 8
(0028,0101) US 8
(0028,0102) US 7
(7fe0,0010) OB (PixelSequence #=3)
(fffe,e000) pi (no value available)
(fffe,e000) pi ff\d8\ff\db\00\04\ff\d9
(fffe,e000) pi ff\d8\ff\c0\00\02\ff\d9
(fffe,e0dd) na (SequenceDelimitationItem)
DUMP

make() {  # NAME DUMP [dump2dcm options...]
  local name="$1" dump="$2"
  shift 2
  dump2dcm -q "$@" "$work/$dump" "$out/$name"
}

make explicit_little.dcm image.txt +te
make implicit_little.dcm image.txt +ti
make explicit_big.dcm image.txt +tb
make nested_defined_lengths.dcm nested.txt +te +e
make nested_undefined_lengths.dcm nested.txt +te -e
make nested_implicit_undefined.dcm nested.txt +ti -e
make private_implicit.dcm private.txt +ti -e
make private_big_defined.dcm private.txt +tb +e
make encapsulated_two_fragments.dcm encapsulated.txt
make group_lengths.dcm image.txt +te +g

for file in "$out"/*.dcm; do
  size=$(stat -c %s "$file")
  if [ "$size" -ge 2048 ]; then
    echo "$file is $size bytes; seeds must stay under 2 KB" >&2
    exit 1
  fi
done
ls -l "$out"

# The inflate fuzzer's seeds: the data sets of two of the files above (after
# their meta group), raw deflated as a deflated file stores them.
inflate_out="corpus/inflate"
mkdir -p "$inflate_out"
for name in explicit_little nested_undefined_lengths; do
  python3 - "$out/$name.dcm" "$inflate_out/$name.deflated" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
# (0002,0000) UL right after "DICM": the meta group's length.
meta_end = 132 + 12 + struct.unpack_from("<I", data, 140)[0]
packer = zlib.compressobj(9, zlib.DEFLATED, -15)
open(sys.argv[2], "wb").write(packer.compress(data[meta_end:]) + packer.flush())
PY
done
ls -l "$inflate_out"
