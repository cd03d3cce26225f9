#!/bin/sh
# A whole session of the real program under a virtual screen, driven by keys
# as a person would: start from a settings file naming a folder of images,
# choose a file with the keyboard, open and close the full view, reach every
# toolbar command by its keys, close the window, answer Yes, and check the
# settings file the exit wrote.
#   e2e_session.sh BUILD_DIR
set -u
build=$1
for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ -z "${VANTREL_E2E_INNER:-}" ]; then
    # Once more, on a virtual screen of its own.
    VANTREL_E2E_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
dir=$(mktemp -d)
trap 'kill $(cat "$dir/pid" 2>/dev/null) 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The program keeps its settings next to itself: a copy runs from the scratch folder.
cp "$build/vantrel" "$build/vantrel-decoder" "$dir/"
mkdir "$dir/pics"
# Two GIF frames, 3 x 1 (black, then white), and a 2 x 2 24-bit BMP.
printf 'GIF89a\003\000\001\000\200\000\000\000\000\000\377\377\377\054\000\000\000\000\003\000\001\000\000\002\002\004\120\000\054\000\000\000\000\003\000\001\000\000\002\002\214\013\000\073' > "$dir/pics/a-anim.gif"
printf 'BM\106\000\000\000\000\000\000\000\066\000\000\000\050\000\000\000\002\000\000\000\002\000\000\000\001\000\030\000\000\000\000\000\020\000\000\000\023\013\000\000\023\013\000\000\000\000\000\000\000\000\000\000\000\000\377\000\000\000\377\000\000\000\377\000\000\377\377\377\000\000' > "$dir/pics/b-still.bmp"
# The settings record: 800 x 600 pixels (12000 x 9000 twips), LastPath the
# folder with two trailing spaces, which the start trims and the exit drops.
path="$dir/pics"
len=$(printf '%s' "$path" | wc -c)
stored=$((len + 2))
printf '\000\000\000\000\000\000\377\377\000\000\340\056\050\043\062\052\000\000' > "$dir/ipsetup.dat"
printf "\\$(printf '%03o' $((stored % 256)))\\$(printf '%03o' $((stored / 256)))" >> "$dir/ipsetup.dat"
printf '%s  ' "$path" >> "$dir/ipsetup.dat"

# Waits until a visible window whose name matches $1 exists (or, with "gone", until none).
wait_window() {
    i=0
    while [ $i -lt 50 ]; do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        if [ "${2:-}" = gone ]; then [ -z "$found" ] && return 0; else [ -n "$found" ] && return 0; fi
        sleep 0.2; i=$((i + 1))
    done
    return 1
}

# The desktop's opener, replaced by one that notes what it was handed.
mkdir "$dir/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/opened"\n' "$dir" > "$dir/bin/xdg-open"
chmod +x "$dir/bin/xdg-open"
PATH="$dir/bin:$PATH" "$dir/vantrel" > "$dir/log" 2>&1 &
echo $! > "$dir/pid"
wait_window 'Vantrel by Corvane' || fail "the main window did not appear"
main=$(xdotool search --onlyvisible --name 'Vantrel by Corvane' | head -n 1)
xdotool windowfocus --sync "$main"
sleep 0.5
# The folder tree holds the keys first: Tab, Tab reaches the file list.
xdotool key Tab; sleep 0.2; xdotool key Tab; sleep 0.2
xdotool key Down; sleep 0.5          # the second row: the bitmap
xdotool key Return                   # its full view
wait_window '^Vantrel$' || fail "Enter opened no full view"
xdotool key Escape
wait_window '^Vantrel$' gone || fail "Esc left the full view open"
xdotool windowfocus --sync "$main"   # without a window manager nobody gives it back
sleep 0.3

# Every toolbar command by its keys.
# Waits until the opener was handed a path ending in $1.
wait_opened() {
    i=0
    while [ $i -lt 50 ]; do
        tail -n 1 "$dir/opened" 2>/dev/null | grep -q "$1\$" && return 0
        sleep 0.2; i=$((i + 1))
    done
    return 1
}
xdotool key alt+e                    # Edit: the chosen bitmap to the desktop's opener
wait_opened 'pics/b-still.bmp' || fail "Alt+E opened nothing"
cp "$dir/pics/b-still.bmp" "$dir/pics/c-new.bmp"
xdotool key F5; sleep 0.5            # Refresh finds the file made since
xdotool key End; sleep 0.5
xdotool key alt+e
wait_opened 'pics/c-new.bmp' || fail "F5 did not list the new file"
rm "$dir/pics/c-new.bmp"
xdotool key alt+r; sleep 0.5         # Refresh by its Alt key: the file went
xdotool key End; sleep 0.5
xdotool key alt+e
wait_opened 'pics/b-still.bmp' || fail "Alt+R did not list the folder again"
xdotool key alt+v; sleep 0.3         # View: large icons, the keys still move the choice
xdotool key Home; sleep 0.5
xdotool key alt+e
wait_opened 'pics/a-anim.gif' || fail "the large-icon view lost the keys"
xdotool key alt+v; sleep 0.3         # and back
for keys in alt+o alt+h F1; do
    case $keys in alt+o) title='^Options$' ;; *) title='Vantrel Help' ;; esac
    xdotool key "$keys"
    wait_window "$title" || fail "$keys opened no window"
    sleep 0.3
    xdotool key Escape
    wait_window "$title" gone || fail "Esc left the window of $keys open"
    xdotool windowfocus --sync "$main"; sleep 0.3
done
xdotool key alt+x                    # Exit asks; Esc answers No
wait_window 'Confirm Exit' || fail "Alt+X asked nothing"
xdotool key Escape
wait_window 'Confirm Exit' gone || fail "the exit question stayed"
sleep 0.3
kill -0 "$(cat "$dir/pid")" 2>/dev/null || fail "No ended the program"
xdotool windowfocus --sync "$main"; sleep 0.3
xdotool key ctrl+q                   # Ctrl+Q asks too; Yes
wait_window 'Confirm Exit' || fail "Ctrl+Q asked nothing"
xdotool key Return
i=0
while kill -0 "$(cat "$dir/pid")" 2>/dev/null; do
    [ $i -lt 50 ] || fail "the program did not end after Yes"
    sleep 0.2; i=$((i + 1))
done

# The record the exit wrote: the size (12000 x 9000 twips) and LastPath.
written=$(od -An -v -tx1 "$dir/ipsetup.dat" | tr -d ' \n')
expected_head="000000000000ffff0000e02e2823322a0000$(printf '%02x%02x' $((len % 256)) $((len / 256)))"
case "$written" in
    "$expected_head"*) ;;
    *) fail "settings written: $written" ;;
esac
[ "$(tail -c "$len" "$dir/ipsetup.dat")" = "$path" ] || fail "LastPath: $(tail -c "$len" "$dir/ipsetup.dat")"
echo "e2e session: ok"
