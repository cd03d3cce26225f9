# Shared by the probe tests: the probe from the first argument, a scratch
# folder removed at exit, and `fail`.
set -u
probe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
