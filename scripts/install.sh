#!/usr/bin/env bash
# Installs what is missing, builds, and installs Vantrel under a prefix
# (default /usr/local): the program, its desktop entry and its icons.
#   bash scripts/install.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
sudo=""
prefix=${1:-/usr/local}
if [ "$(id -u)" -ne 0 ] && ! [ -w "$(dirname "$prefix")" ] && ! [ -w "$prefix" ]; then sudo="sudo"; fi
$sudo cmake --install build --prefix "$prefix"
# Let the desktop see the new entry and icons at once, where the tools exist.
command -v update-desktop-database >/dev/null && $sudo update-desktop-database -q "$prefix/share/applications" || true
command -v gtk-update-icon-cache >/dev/null && $sudo gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" || true
