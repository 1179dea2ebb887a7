#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the fuzz targets and the
# benchmarks use, skipping what is already present. Safe to run repeatedly.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang python3 libclang-rt-14-dev clang-format pkg-config
  libtiff-dev libjpeg62-turbo-dev libgtest-dev libbenchmark-dev libleptonica-dev libjbig2dec0-dev
  libtiff-tools netpbm ghostscript imagemagick libjpeg-turbo-progs jbig2dec poppler-utils
  qt6-base-dev xvfb xauth qpdf mupdf-tools fonts-dejavu-core lld
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
