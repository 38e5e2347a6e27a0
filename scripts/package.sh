#!/usr/bin/env bash
# Builds the Debian package (optimised, in build/package) and checks it the
# way Debian and a user's machine would: lintian finds no error and no
# warning, the changelog names the package's version and maintainer, and,
# unpacked into an empty root, its programs run from there (the
# command-line tool dumps the sample file, the editor starts headless and
# opens it), its desktop entry is valid and its manual pages render cleanly.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build_dir="${QUILLON_PACKAGE_BUILD_DIR:-build/package}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build_dir"
# A package of an earlier version must not be taken for this one.
rm -f "$build_dir"/quillon_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
package="$(ls "$build_dir"/quillon_*.deb)"
echo "package: $package"
dpkg-deb --info "$package" | sed -n 's/^ Depends:/depends:/p'

# Debian's checker: errors and warnings fail the package, the rest (info
# and pedantic notes) is shown for the reader to judge. Any other failure
# of lintian itself fails it too.
lintian_status=0
lintian_output="$(lintian --display-info --pedantic --fail-on error,warning "$package" 2>&1)" ||
  lintian_status=$?
lintian_output="$(grep -v '^running with root privileges is not recommended!$' <<<"$lintian_output" || true)"
[ -z "$lintian_output" ] || sed 's/^/lintian: /' <<<"$lintian_output"
if grep -q -E '^[EW]: ' <<<"$lintian_output"; then
  echo "package: lintian reports errors or warnings:" >&2
  grep -E '^[EW]: ' <<<"$lintian_output" >&2
  exit 1
fi
[ "$lintian_status" -eq 0 ] || { echo "package: lintian failed ($lintian_status)" >&2; exit 1; }

# The changelog's latest entry is this package: its version and maintainer.
changelog=packaging/debian/changelog.Debian
for field in Version Maintainer; do
  in_changelog="$(dpkg-parsechangelog -l "$changelog" -S "$field")"
  in_package="$(dpkg-deb --field "$package" "$field")"
  [ "$in_changelog" = "$in_package" ] || {
    echo "package: $changelog says $field \"$in_changelog\", the package \"$in_package\"" >&2
    exit 1
  }
done

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$package" "$root"
for file in usr/bin/quillon usr/bin/quillon-cli usr/libexec/quillon/quillon-htj2k-decoder \
  usr/share/quillon/Dicom2XmlDict.txt \
  usr/share/applications/quillon.desktop usr/share/icons/hicolor/scalable/apps/quillon.svg \
  usr/share/mime/packages/quillon-dicom.xml usr/share/man/man1/quillon.1.gz \
  usr/share/man/man1/quillon-cli.1.gz usr/share/doc/quillon/copyright \
  usr/share/doc/quillon/changelog.Debian.gz; do
  [ -e "$root/$file" ] || { echo "package: $file is missing" >&2; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/quillon.desktop"
# The manual pages render without a warning and name this version.
upstream_version="$(dpkg-deb --field "$package" Version)"
upstream_version="${upstream_version%-*}"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "package: $(basename "$page"): $warnings" >&2; exit 1; }
  zcat "$page" | grep -q "^\.TH .*\"Quillon $upstream_version\"" ||
    { echo "package: $(basename "$page") does not name version $upstream_version" >&2; exit 1; }
done
"$root/usr/bin/quillon-cli" dump samples/sample.dcm | grep -q 'patient_name' ||
  { echo "package: quillon-cli dump failed" >&2; exit 1; }
# The HTJ2K helper loads its libraries: started by hand, it says what it is
# for (and exits 2).
{ "$root/usr/libexec/quillon/quillon-htj2k-decoder" 2>&1 || true; } | grep -q 'not meant to be run by hand' ||
  { echo "package: quillon-htj2k-decoder does not start" >&2; exit 1; }
# The editor starts, opens the sample and is closed again: it must not fail
# to load a library or a platform plugin.
QT_QPA_PLATFORM=offscreen QUILLON_SETTINGS_FILE="$root/settings.ini" \
  timeout 5 "$root/usr/bin/quillon" samples/sample.dcm || [ $? -eq 124 ]
echo "package: installs and runs"
