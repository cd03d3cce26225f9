#!/bin/sh
# The program's command line with no window system at all (no DISPLAY, no
# WAYLAND_DISPLAY, no QT_QPA_PLATFORM): --help and --version answer, and a bad
# option is refused with the usage and status 2, as it is with a display.
#   command_line.sh PROGRAM
set -u
program=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" "$@" >"$dir/out" 2>"$dir/err"; }

run --help || fail "--help: status $?: $(cat "$dir/err")"
grep -q '^Usage: vantrel' "$dir/out" || fail "--help printed: $(cat "$dir/out")"
run --version || fail "--version: status $?: $(cat "$dir/err")"
grep -Eq '^vantrel [0-9]+\.[0-9]+\.[0-9]+$' "$dir/out" || fail "--version printed: $(cat "$dir/out")"
for bad in --bogus -x "-platform offscreen --bogus"; do
    # (word splitting wanted: one case may be several arguments)
    # shellcheck disable=SC2086
    run $bad
    status=$?
    [ $status -eq 2 ] || fail "$bad: status $status, not 2: $(cat "$dir/err")"
    grep -q "unknown option" "$dir/err" || fail "$bad: the option was not named: $(cat "$dir/err")"
    grep -q '^Usage: vantrel' "$dir/err" || fail "$bad: no usage on stderr: $(cat "$dir/err")"
    [ ! -s "$dir/out" ] || fail "$bad: printed on stdout: $(cat "$dir/out")"
done
echo "command line without a display: ok"
