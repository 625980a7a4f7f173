#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Quick when everything is there: it only asks apt when a package is missing.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-qpa-plugins
  libsqlite3-dev sqlite3
  libhivex-dev libhivex-bin libwin-hivex-perl chntpw
  zlib1g-dev libdeflate-dev pigz
  libcurl4-openssl-dev curl
  libicu-dev
  clang libclang-rt-14-dev clang-format
  python3 xdg-utils hyperfine
  # Make ISO writes images with xorriso; the tests read them back with isoinfo
  xorriso genisoimage
  # manual pages, icons and the Debian package, and the checks of all three
  pandoc librsvg2-bin dpkg-dev file man-db lintian
  desktop-file-utils appstream shared-mime-info libglib2.0-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q >&2
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
fi
