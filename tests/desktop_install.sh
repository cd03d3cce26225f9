#!/bin/sh
# The program as installed: the desktop entry validates; an install into a
# scratch prefix holds the program, the entry and the icons; the installed
# program, run by a user who cannot write the prefix, keeps its settings in
# $XDG_CONFIG_HOME/vantrel/ and reads them back; a folder or a file on the
# command line is where it starts; a path it cannot use is reported.
#   desktop_install.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$src/app/desktop/vantrel.desktop" || fail "desktop entry"
else
    echo "desktop-file-validate is not installed: entry not validated"
fi

prefix="$dir/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "install"
for f in bin/vantrel share/applications/vantrel.desktop share/icons/hicolor/scalable/apps/vantrel.svg \
         share/icons/hicolor/16x16/apps/vantrel.png share/icons/hicolor/48x48/apps/vantrel.png \
         share/icons/hicolor/256x256/apps/vantrel.png; do
    [ -f "$prefix/$f" ] || fail "missing after install: $f"
done
"$prefix/bin/vantrel" --version | grep -q '^vantrel 1\.0\.0$' || fail "--version"
"$prefix/bin/vantrel" --help | grep -q '^Usage: vantrel' || fail "--help"

# The user: nobody when the tests run as root, else the user running them
# with the prefix made read-only.
mkdir -p "$dir/pics" "$dir/config"
printf 'BM' > "$dir/pics/b.bmp"
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || { echo "SKIP: setpriv is not installed"; exit 77; }
    chown -R 65534:65534 "$dir/config"
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
else
    chmod -R a-w "$prefix"
    as_user=""
fi

settings="$dir/config/vantrel/ipsetup.dat"
last_path() { tail -c +21 "$settings"; }

$as_user true || { echo "SKIP: cannot run as an unprivileged user here"; exit 77; }

# Runs the installed program with the arguments given until its window has
# shown, then ends it the way a log-out would: SIGTERM saves and ends.
as_user_run() {
    # (no shell function in between: the signal must reach the program itself)
    $as_user env HOME="$dir/config" XDG_CONFIG_HOME="$dir/config" QT_QPA_PLATFORM=offscreen \
        "$prefix/bin/vantrel" "$@" > "$dir/out" 2> "$dir/err" &
    pid=$!
    sleep 3.5
    kill -TERM "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null; do
        [ $i -lt 50 ] || { kill -KILL "$pid"; fail "the program did not end on SIGTERM"; }
        sleep 0.2; i=$((i + 1))
    done
}
# First start, with a folder: the settings land in the configuration folder.
as_user_run "$dir/pics"
[ -f "$settings" ] || fail "no settings in the configuration folder: $(cat "$dir/err")"
[ ! -e "$prefix/bin/ipsetup.dat" ] || fail "settings written into the prefix"
[ "$(last_path)" = "$dir/pics" ] || fail "LastPath after a folder argument: $(last_path)"

# Second start, no argument: the stored folder comes back (else "/" would be stored).
as_user_run
[ "$(last_path)" = "$dir/pics" ] || fail "the stored folder was not read back: $(last_path)"

# A file: its folder. A missing path: reported, and the stored folder again.
as_user_run "$dir/pics/b.bmp"
[ "$(last_path)" = "$dir/pics" ] || fail "LastPath after a file argument: $(last_path)"
as_user_run "$dir/no-such-thing"
grep -q "no-such-thing" "$dir/err" || fail "a missing path was not reported"
[ "$(last_path)" = "$dir/pics" ] || fail "LastPath after a missing path: $(last_path)"
echo "desktop install: ok"
