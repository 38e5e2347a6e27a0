#!/usr/bin/env bash
# Starts the desktop editor under a virtual display (Xvfb), drives it as a
# person would with xdotool (keys, clicks and drags), and writes a
# screenshot of each state to build/screenshots/: the main window with
# documents open, the element dialog (edit and insert), the sequence and
# destination dialogs, the About box, the pixel view of each sample image
# (the CT also after dragging its window), the Select Format dialog,
# names in Greek, Arabic, Hebrew, Japanese, Korean and Chinese, and the
# pixel view of each kind of image an archive holds (build/screenshots/
# kind-*.png: every compressed transfer syntax, deflated data sets, 1-, 32-
# bit and float samples, YBR 4:2:2, big endian), from files other toolkits
# wrote.
# Look at them after a change to the windows.
#
#   scripts/screenshots.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

# ---- Inside the virtual display: no window manager, so the main window
# sits at (0,0) and its menus at fixed places. ----

pid=""
start_editor() {
  # The display may still be coming up: a program started before it is
  # ready cannot connect and gives up.
  for _ in $(seq 1 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
  done
  "$editor" "$@" &
  pid=$!
  local window=""
  for _ in $(seq 1 100); do
    window="$(xdotool search --name '^Quillon' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the editor did not start" >&2; kill "$pid"; return 1; }
  xdotool windowsize "$window" 1200 800
  xdotool windowmove "$window" 0 0
  sleep 1.5
}
stop_editor() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
shot() { sleep 0.8; import -window root "$out/$1.png"; }
# Menu titles in the menu bar, as Qt lays them out with the default font.
menu() { xdotool mousemove "$1" 12 click 1; sleep 0.5; }
# Finds a row (Ctrl+F) and presses Return on it: edits it, or for the pixel
# data shows the pixel view.
open_row() {
  xdotool key ctrl+f; sleep 0.5
  xdotool type --delay 20 "$1"; xdotool key Return; sleep 0.5
  xdotool key Return
}

drive() {
  set -euo pipefail
  export QUILLON_SETTINGS_FILE="$work/settings.ini"

  start_editor "$work/another.dcm" "$work/sample.dcm" "$work/nested.dcm"
  shot main-window
  open_row "0010,0010"
  shot element-dialog-edit
  xdotool key Escape; sleep 0.5
  xdotool key Insert
  shot element-dialog-insert
  xdotool key Escape; sleep 0.5
  menu 233                        # Sequence
  xdotool key Down Return         # Insert New
  shot sequence-dialog
  xdotool key Escape; sleep 0.5
  menu 164                        # Element
  xdotool key Down Down Down Down Return   # Copy
  shot destination-dialog
  xdotool key Escape; sleep 0.5
  menu 437                        # Help
  xdotool key Down Return         # About Quillon...
  shot about-box
  xdotool key Escape; sleep 0.3
  menu 20                         # File
  shot file-menu
  xdotool key Escape
  stop_editor

  for sample in grey8 ct16 mono1 palette rgb-rle; do
    start_editor "$work/$sample.dcm"
    open_row "7fe0,0010"
    shot "pixel-view-$sample"
    if [ "$sample" = ct16 ]; then
      # A wider window, dragged to the right and up.
      xdotool mousemove 300 300 mousedown 1; sleep 0.2
      for step in $(seq 1 20); do xdotool mousemove $((300 + step * 8)) $((300 - step * 3)); sleep 0.02; done
      xdotool mouseup 1
      shot pixel-view-ct16-windowed
    fi
    if [ "$sample" = rgb-rle ]; then
      menu 332                    # Tools
      xdotool key Down Return     # Compress Pixel Data
      shot select-format-dialog
      xdotool key Escape
    fi
    stop_editor
  done

  # One image of each kind; Float Pixel Data has a tag of its own.
  for file in "$kinds"/*.dcm; do
    local name row="7fe0,0010"
    name="$(basename "$file" .dcm)"
    [ "$name" = float32 ] && row="7fe0,0008"
    start_editor "$file"
    open_row "$row"
    # The view's window filling the workspace (a double click on its
    # title), the image zoomed to fit it: a 10x10 dose grid can be seen.
    xdotool mousemove 150 87 click --repeat 2 --delay 80 1
    sleep 0.5
    xdotool key f
    shot "kind-$name"
    stop_editor
  done

  # Names in the character sets of pydicom's files, the row found and
  # selected: each script needs its font (scripts/install-deps.sh).
  for file in chrGreek chrArab chrHbrw chrH32 chrI2 chrX2; do
    [ -f "$charset_files/$file.dcm" ] || continue
    start_editor "$charset_files/$file.dcm"
    xdotool key ctrl+f; sleep 0.5
    xdotool type --delay 20 "0010,0010"; xdotool key Return; sleep 0.5
    xdotool key Escape
    shot "charset-$file"
    stop_editor
  done
}

if [ "${1:-}" = "--inside-display" ]; then
  drive
  exit 0
fi

# ---- Outside: build check, files to show, the virtual display. ----

build_dir="${1:-build/release}"
export editor="$build_dir/app/qt/quillon"
if [ ! -x "$editor" ]; then
  echo "no editor at $editor: build first (scripts/run.sh builds build/release)" >&2
  exit 1
fi
export out="build/screenshots"
export charset_files="/usr/lib/python3/dist-packages/pydicom/data/charset_files"
mkdir -p "$out"
work="$(mktemp -d)"
export work
trap 'rm -rf "$work"' EXIT

dump2dcm -e tests/data/nested_sequences.txt "$work/nested.dcm" 2>/dev/null
cp samples/*.dcm "$work/"
cp samples/sample.dcm "$work/another.dcm"

# The kinds of image: pydicom's own files, what DCMTK's coders make, and
# (no peer here writes them) HTJ2K coded by OpenJPH — a fuzz seed behind
# its three-byte prefix — and float samples, both wrapped by pydicom.
export kinds="$work/kinds"
mkdir -p "$kinds"
test_files="/usr/lib/python3/dist-packages/pydicom/data/test_files"
for pair in jpeg2000-lossless:MR_small_jp2klossless jpeg2000-lossy:JPEG2000 jpeg2000-ybr-rct:GDCMJ2K_TextGBR \
  jpeg-ls-lossless:MR_small_jpeg_ls_lossless jpeg-extended-12bit:JPGExtended rle-16bit:MR_small_RLE \
  rle-32bit-rgb:SC_rgb_rle_32bit rle-32bit-dose:rtdose_rle deflated:image_dfl native-1bit:liver_1frame \
  native-32bit-dose:rtdose native-ybr-full-422:SC_ybr_full_422_uncompressed \
  jpeg-rgb-no-transform:SC_jpeg_no_color_transform big-endian-16bit:MR_small_bigendian; do
  cp "$test_files/${pair#*:}.dcm" "$kinds/${pair%%:*}.dcm"
done
dcmcjpeg +e1 "$test_files/CT_small.dcm" "$kinds/jpeg-lossless-sv1.dcm"
dcmcjpeg +el +sv 4 "$test_files/CT_small.dcm" "$kinds/jpeg-lossless-predictor4.dcm"
dcmdjpeg "$test_files/JPGExtended.dcm" "$work/unsigned12.dcm"
dcmcjpls +en "$work/unsigned12.dcm" "$kinds/jpeg-ls-near.dcm"
/usr/bin/python3 - "$kinds" fuzz/corpus/htj2k_frame/grey16_signed <<'PYTHON'
import struct, sys
import pydicom
from pydicom.encaps import encapsulate
kinds, seed = sys.argv[1], sys.argv[2]
source = "/usr/lib/python3/dist-packages/pydicom/data/test_files/MR_small.dcm"
# MR_small is 64x64 signed 16-bit, as the seed is. This pydicom does not
# know the HTJ2K syntax: write as JPEG 2000, then put its UID in the meta.
ds = pydicom.dcmread(source)
ds.file_meta.TransferSyntaxUID = pydicom.uid.JPEG2000Lossless
ds.PixelData = encapsulate([open(seed, "rb").read()[3:]])
ds["PixelData"].VR = "OB"
ds.save_as(kinds + "/htj2k-lossless.dcm", write_like_original=False)
data = bytearray(open(kinds + "/htj2k-lossless.dcm", "rb").read())
old = b"\x02\x00\x10\x00UI\x16\x001.2.840.10008.1.2.4.90"
at = data.index(old)
data[at:at + len(old)] = b"\x02\x00\x10\x00UI\x18\x001.2.840.10008.1.2.4.201\x00"
group_length = data.index(b"\x02\x00\x00\x00UL\x04\x00") + 8
struct.pack_into("<I", data, group_length, struct.unpack_from("<I", data, group_length)[0] + 2)
open(kinds + "/htj2k-lossless.dcm", "wb").write(data)
# The same image as 32-bit floats, in Float Pixel Data.
ds = pydicom.dcmread(source)
values = struct.unpack("<%dh" % (len(ds.PixelData) // 2), ds.PixelData)
ds.FloatPixelData = struct.pack("<%df" % len(values), *[v / 10.0 - 50.0 for v in values])
del ds.PixelData
for keyword in ("BitsStored", "HighBit", "PixelRepresentation", "WindowCenter", "WindowWidth"):
    if keyword in ds:
        delattr(ds, keyword)
ds.BitsAllocated = 32
ds.save_as(kinds + "/float32.dcm", write_like_original=False)
PYTHON

# -noreset: by default the server resets when its last client leaves, and
# an editor started in that moment cannot connect.
xvfb-run -a -s "-screen 0 1280x860x24 -noreset" "$0" --inside-display
echo "screenshots in $out:"
ls "$out"
