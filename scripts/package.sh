#!/usr/bin/env bash
# Builds the Debian package (optimised, in build/package) and checks it the
# way a user's machine would use it: unpacked into an empty root, its
# programs run from there (the command-line tool dumps the sample file, the
# editor starts headless and opens it), and its desktop entry is valid.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build_dir="${QUILLON_PACKAGE_BUILD_DIR:-build/package}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build_dir"
(cd "$build_dir" && cpack -G DEB >/dev/null)
package="$(ls "$build_dir"/quillon_*.deb)"
echo "package: $package"
dpkg-deb --info "$package" | sed -n 's/^ Depends:/depends:/p'

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$package" "$root"
for file in usr/bin/quillon usr/bin/quillon-cli usr/share/quillon/Dicom2XmlDict.txt \
  usr/share/applications/quillon.desktop usr/share/icons/hicolor/scalable/apps/quillon.svg \
  usr/share/mime/packages/quillon-dicom.xml; do
  [ -e "$root/$file" ] || { echo "package: $file is missing" >&2; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/quillon.desktop"
"$root/usr/bin/quillon-cli" dump samples/sample.dcm | grep -q 'patient_name' ||
  { echo "package: quillon-cli dump failed" >&2; exit 1; }
# The editor starts, opens the sample and is closed again: it must not fail
# to load a library or a platform plugin.
QT_QPA_PLATFORM=offscreen QUILLON_SETTINGS_FILE="$root/settings.ini" \
  timeout 5 "$root/usr/bin/quillon" samples/sample.dcm || [ $? -eq 124 ]
echo "package: installs and runs"
