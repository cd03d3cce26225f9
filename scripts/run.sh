#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vantrel. Without a display it
# runs under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a build/vantrel
fi
exec build/vantrel
