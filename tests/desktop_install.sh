#!/bin/sh
# The program as installed: the desktop entry validates; an install into a
# scratch prefix holds the program, the entry and the icons; the installed
# program keeps its settings in $XDG_CONFIG_HOME/vantrel/, never in the prefix,
# even for a user who could write there, and reads them back; a folder or a
# file on the command line is where it starts; a path it cannot use is
# reported; SIGTERM while the splash shows saves and ends; a save that fails
# is reported once and leaves the settings file there as it was.
#   desktop_install.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
chmod 755 "$dir"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$build/vantrel.desktop" || fail "desktop entry"
else
    echo "desktop-file-validate is not installed: entry not validated"
fi

prefix="$dir/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "install"
for f in bin/vantrel bin/vantrel-decoder share/applications/vantrel.desktop \
         share/icons/hicolor/scalable/apps/vantrel.svg \
         share/icons/hicolor/16x16/apps/vantrel.png share/icons/hicolor/48x48/apps/vantrel.png \
         share/icons/hicolor/256x256/apps/vantrel.png; do
    [ -f "$prefix/$f" ] || fail "missing after install: $f"
done
"$prefix/bin/vantrel" --version | grep -q '^vantrel 1\.0\.0$' || fail "--version"
"$prefix/bin/vantrel" --help | grep -q '^Usage: vantrel' || fail "--help"

mkdir -p "$dir/pics" "$dir/config" "$dir/own"
printf 'BM' > "$dir/pics/b.bmp"
settings="$dir/config/vantrel/ipsetup.dat"
last_path() { tail -c +21 "$settings"; }

# Runs the installed program with the arguments given for $wait seconds, then
# ends it the way a log-out would: SIGTERM saves and ends, with status 0.
# The settings folder is $config; the user is $as_user.
wait=3.5
config="$dir/config"
as_user=""
as_user_run() {
    # (no shell function in between: the signal must reach the program itself)
    $as_user env HOME="$config" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
        "$prefix/bin/vantrel" "$@" > "$dir/out" 2> "$dir/err" &
    pid=$!
    sleep "$wait"
    kill -TERM "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null; do
        [ $i -lt 50 ] || { kill -KILL "$pid"; fail "the program did not end on SIGTERM"; }
        sleep 0.2; i=$((i + 1))
    done
    wait "$pid" || fail "exit status $? after SIGTERM: $(cat "$dir/err")"
}

# Whoever runs the tests, with the prefix writable (as root after a local
# install): the settings still go to the configuration folder.
config="$dir/own"
as_user_run "$dir/pics"
[ -f "$dir/own/vantrel/ipsetup.dat" ] || fail "no settings in the own configuration folder"
[ ! -e "$prefix/bin/ipsetup.dat" ] || fail "settings written into a writable prefix"
config="$dir/config"

# The user: nobody when the tests run as root, else the user running them
# with the prefix made read-only.
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || { echo "SKIP: setpriv is not installed"; exit 77; }
    chown -R 65534:65534 "$dir/config"
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
else
    chmod -R a-w "$prefix"
    as_user=""
fi

$as_user true || { echo "SKIP: cannot run as an unprivileged user here"; exit 77; }

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

# A home the user cannot write: each save failure is reported once, the
# program ends normally, and a settings file already there stays as it was.
for case in no-file kept-file; do
    config="$dir/readonly-$case"
    mkdir -p "$config"
    if [ $case = kept-file ]; then
        mkdir -p "$config/vantrel"
        cp "$settings" "$config/vantrel/ipsetup.dat"
        chmod a-w "$config/vantrel/ipsetup.dat" "$config/vantrel"
    fi
    chmod a-w "$config"
    as_user_run "$dir" # a folder other than the kept one: a save would change the file
    [ "$(grep -c "settings could not be saved" "$dir/err")" = 1 ] ||
        fail "$case: the failed save was not reported once: $(cat "$dir/err")"
    if [ $case = kept-file ]; then
        cmp -s "$settings" "$config/vantrel/ipsetup.dat" || fail "$case: the settings file changed"
        [ "$(ls "$config/vantrel")" = ipsetup.dat ] || fail "$case: files left: $(ls "$config/vantrel")"
    else
        [ ! -e "$config/vantrel" ] || fail "$case: a folder was made in a read-only home"
    fi
done

# SIGTERM while the splash shows: the settings saved (here the defaults, as
# the file was removed) and the program ended at once, without a second signal.
config="$dir/config"
rm -f "$settings"
wait=1.2
as_user_run "$dir/pics"
[ "$(last_path)" = "/" ] || fail "no save after SIGTERM during the splash: $(cat "$dir/err")"
echo "desktop install: ok"
