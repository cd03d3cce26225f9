#!/bin/sh
# The commands on files by keyboard and by the context menus of the real
# program, on a virtual screen of its own with a window manager, for a person
# to look at: screenshots of each step are left in the output folder printed
# at the end, and the trash and the folder are listed.
#
# A check to run by hand, not a test: it is not registered with CTest. It
# needs Xvfb, openbox, xdotool and ImageMagick.
#
#   tests/xvfb_file_commands.sh BUILD_DIR
#
# Five 640 x 400 JPEGs (a white band on the left of a colour) are made in a
# temporary folder; the program starts there with a fresh home and a trash
# of its own (XDG_DATA_HOME). Steps: a click on the first row, Delete (the
# next row shows), the list's context menu (Undo enabled), Ctrl+Z (the file
# is back), Ctrl+R (the picture turned), F2 (the name's editor), Esc, the
# preview's context menu, Enter (the full view), Delete there (the next
# picture), Ctrl+R there, its context menu.
set -u
build=${1:?usage: xvfb_file_commands.sh BUILD_DIR}
build=$(cd "$build" && pwd) || exit 1
for tool in Xvfb openbox xdotool import; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
magick=/usr/bin/convert
[ -x "$magick" ] || magick=$(command -v convert) || { echo "missing: convert"; exit 1; }

tmp=$(mktemp -d)
out=$(mktemp -d /tmp/xvfb_file_commands.XXXXXX)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    sleep 0.5
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

mkdir -p "$tmp/home" "$tmp/pics" "$tmp/data"
i=0
for colour in red green blue orange purple; do
    "$magick" -size 640x400 "xc:$colour" -fill white -draw "rectangle 0,0 200,400" \
        "$tmp/pics/photo$i.jpg"
    i=$((i + 1))
done

display=:$((60 + $$ % 100))
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
pids="$! $pids"
sleep 1
export DISPLAY="$display"
openbox >/dev/null 2>&1 &
pids="$! $pids"
sleep 1
HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/home/.cache" \
    XDG_CONFIG_HOME="$tmp/home/.config" QT_QPA_PLATFORM=xcb \
    "$build/vantrel" "$tmp/pics" >"$out/log" 2>&1 &
vantrel=$!
pids="$vantrel $pids"
# The main window by its title (the splash comes and goes first).
win=$(xdotool search --sync --onlyvisible --name "Vantrel by" | head -1)
xdotool windowactivate --sync "$win"
sleep 3 # the folder listed
eval "$(xdotool getwindowgeometry --shell "$win")"
shot() { import -window root "$out/$1.png"; }
# At X, Y in the window (the list's first row is 259 below its top).
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click "${3:-1}"; }

click 60 259; sleep 1.5;                    shot 01-first-row-chosen
xdotool key Delete; sleep 1.5;              shot 02-deleted-next-row-shown
click 60 259 3; sleep 1;                    shot 03-list-menu-undo-enabled
xdotool key Escape; sleep 0.5
xdotool key ctrl+z; sleep 1.5;              shot 04-undone-file-back
xdotool key ctrl+r; sleep 1.5;              shot 05-turned-right
xdotool key F2; sleep 0.7;                  shot 06-name-editor
xdotool key Escape; sleep 0.5
click 450 150 3; sleep 1;                   shot 07-preview-menu
xdotool key Escape; sleep 0.5
xdotool key Return; sleep 1.5;              shot 08-full-view
xdotool key Delete; sleep 1.5;              shot 09-full-view-next-picture
xdotool key ctrl+r; sleep 1.5;              shot 10-full-view-turned
click 300 300 3; sleep 1;                   shot 11-full-view-menu
xdotool key Escape; sleep 0.3
xdotool key Escape; sleep 0.5

echo "trash:"; ls "$tmp/data/Trash/files" "$tmp/data/Trash/info"
echo "folder:"; ls "$tmp/pics"
echo "screenshots in $out"
