#!/usr/bin/env bash
# Installs every Debian package Quillon needs to build, test and benchmark.
# Idempotent: packages already present are not fetched again, and apt is not
# touched at all when nothing is missing.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build python3 clang
  # libraries
  libgtest-dev libgmock-dev libbenchmark-dev libturbojpeg0-dev libpugixml-dev pkg-config
  qt6-base-dev libcli11-dev
  # peers for cross-checks in tests
  dcmtk libgdcm-tools dicom3tools libxml2-utils python3-pydicom
  # the desktop editor: Qt 6 widgets and printing (in qt6-base-dev), a
  # fixed-pitch font with Greek, Cyrillic, Hebrew and Arabic, and the
  # Chinese, Japanese and Korean letters text in those sets needs; headless
  # runs, driving it and screenshots
  fonts-dejavu-core fonts-noto-cjk xvfb xauth xdotool imagemagick openbox
  # packaging: dependencies of the Debian package, its desktop entry check,
  # and Debian's own checker of packages
  dpkg-dev desktop-file-utils lintian
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
