#!/usr/bin/env bash
# Starts the desktop editor under a virtual display (Xvfb), drives it as a
# person would with xdotool (keys, clicks and drags), and writes a
# screenshot of each state to build/screenshots/: the main window with
# documents open, the element dialog (edit and insert), the sequence and
# destination dialogs, the About box, the pixel view of each sample image
# (the CT also after dragging its window), the Select Format dialog, and
# names in Greek, Arabic, Hebrew, Japanese, Korean and Chinese.
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

xvfb-run -a -s "-screen 0 1280x860x24" "$0" --inside-display
echo "screenshots in $out:"
ls "$out"
