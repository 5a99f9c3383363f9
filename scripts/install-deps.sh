#!/usr/bin/env bash
# Installs the Debian packages that building and testing tarnwick needs.
# Packages already present are skipped; run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libfreeimage-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
  libarchive-dev zlib1g-dev libpng-dev libjpeg-dev
  libfontconfig-dev fontconfig fonts-liberation2 fonts-dejavu-core
  libgtest-dev googletest
  xvfb xauth imagemagick python3-pil
  desktop-file-utils
  clang-format valgrind python3
  groff-base appstream dpkg-dev
  lintian qt6-qpa-plugins
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "All build packages are present."
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
