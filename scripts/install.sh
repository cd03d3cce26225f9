#!/usr/bin/env bash
# Installs what is missing, builds what the install copies (the program, its
# decoder helper, the desktop entry and the icons; no test, fuzzer or
# benchmark), and installs it under a prefix (default /usr/local).
#   bash scripts/install.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh installed
sudo=""
prefix=${1:-/usr/local}
if [ "$(id -u)" -ne 0 ] && ! [ -w "$(dirname "$prefix")" ] && ! [ -w "$prefix" ]; then sudo="sudo"; fi
$sudo cmake --install build --prefix "$prefix"
# Let the desktop see the new entry and icons at once, where the tools exist.
command -v update-desktop-database >/dev/null && $sudo update-desktop-database -q "$prefix/share/applications" || true
command -v gtk-update-icon-cache >/dev/null && $sudo gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" || true
