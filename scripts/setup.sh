#!/usr/bin/env bash
# Installs what Vantrel needs from Debian 12 packages (as root or through sudo)
# when it is missing, then configures the Release tree in build/ and builds it.
#   bash scripts/setup.sh              everything: program, tests, benchmarks
#   bash scripts/setup.sh TARGET...    only these targets (and what they need)
#   bash scripts/setup.sh --packages   prints the package list, one a line
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(build-essential cmake qt6-base-dev libfreeimage-dev googletest libgtest-dev
          libbenchmark-dev libgif-dev clang clang-format libclang-rt-14-dev xvfb xauth xdotool
          qt6-image-formats-plugins desktop-file-utils libseccomp-dev libicu-dev
          pkg-config libheif-dev libjxl-dev liblcms2-dev libheif-examples libjxl-tools
          libimage-exiftool-perl imagemagick libraw-dev libglib2.0-bin libdeflate-dev
          libjpeg-turbo-progs libjpeg62-turbo-dev libturbojpeg0-dev)
if [ "${1:-}" = --packages ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
