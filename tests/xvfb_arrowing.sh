#!/bin/sh
# How quickly a new picture appears when arrowing through six 6000 x 4000 JPEG
# photos, read from the screen as a person would see it, and whether the window
# answers a click while a picture decodes.
#
# A measurement to run by hand, not a test: it is not registered with CTest and
# CI does not run it (timings on a shared machine would make a flaky test). It
# needs Xvfb, openbox, xdotool, ImageMagick, a C compiler, libx11-dev and
# libxtst-dev.
#
#   tests/xvfb_arrowing.sh BUILD_DIR [PHOTO_DIR]
#
# BUILD_DIR holds vantrel and vantrel-decoder. The photos p1.jpg .. p6.jpg, each
# a solid colour with photo-like grain, are made in PHOTO_DIR (kept, and used
# again when they are already there) or in a temporary folder.
#
# On a virtual screen of its own with a window manager, the program starts at
# the photos' folder with a fresh home (so its settings land there), and
# tests/xkeypixel.c sends each key through XTest and polls one pixel of the
# preview until it takes the colour of the photo that row holds:
#   first     the click on the first row, the helper's first decode
#   ahead     Down x5, Up x5, 1.5 s apart, so that the next and the previous
#             rows are read ahead before each key
#   not-ahead the same, with the file touched just before its key, so that
#             what was read ahead no longer matches it
#   twice     Down twice 0.1 s apart while the first decodes: the second row's
#             picture must show and stay
#   click     End to a row not read ahead and, 50 ms later, a click on another
#             row: time until that row's selection shows (and, at rest, the same
#             click for comparison); the clicked row's picture must show and stay
# Screenshots of the start and the end are left in the output folder printed
# at the end, for a person to look at. The figures move with the machine's
# load, printed at the start and the end. VANTREL_POLL_US sets the reader's
# pause between two reads of the pixel (default 1000; 0 reads without pause).
set -u
build=${1:?usage: xvfb_arrowing.sh BUILD_DIR [PHOTO_DIR]}
build=$(cd "$build" && pwd) || exit 1
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb openbox xdotool xwininfo import cc; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
# ImageMagick's own convert (a wrapper elsewhere on PATH may stand in for it).
magick=/usr/bin/convert
[ -x "$magick" ] || magick=$(command -v convert) || { echo "missing: convert"; exit 1; }

tmp=$(mktemp -d)
out=$(mktemp -d /tmp/xvfb_arrowing.XXXXXX)
pids=""
cleanup() {
    # Only what this script started, newest first.
    for p in $pids; do kill "$p" 2>/dev/null; done
    sleep 0.5
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "FAIL: $*"; exit 1; }

# Per-channel tolerance when telling the photos apart: the tints differ by at
# least 120 in some channel, the grain moves a fitted pixel by under 25.
tolerance=48
row_tolerance=24
pause=1.5        # between keys, as a person arrowing would
click_gap_ms=50  # from the key that starts a decode to the click
hold_ms=1500     # a picture must stay this long after it shows
# A reader polling without pause keeps a core and the X server busy, which on a
# machine of two cores slowed the decodes it timed (median 240-400 ms against
# 210-235 ms with a 1 ms pause); 1 ms costs the figures at most 1 ms.
poll_us=${VANTREL_POLL_US:-1000}

# The photos' tints, p1 .. p6.
colours="c83228 32b432 3246c8 dcc832 b432c8 32bebe"
colour_of() { echo "$colours" | cut -d' ' -f"$1"; }

# --- The photos -------------------------------------------------------------
photos=${2:-$tmp/photos}
mkdir -p "$photos"
photos=$(cd "$photos" && pwd)
n=1
for c in $colours; do
    if [ ! -s "$photos/p$n.jpg" ]; then
        echo "making $photos/p$n.jpg"
        r=$(printf '%d' "0x$(echo "$c" | cut -c1-2)")
        g=$(printf '%d' "0x$(echo "$c" | cut -c3-4)")
        b=$(printf '%d' "0x$(echo "$c" | cut -c5-6)")
        # Soft plasma for light and shade, Gaussian grain, squeezed to +-32
        # levels around the tint: about 7 MB at quality 90, as a camera's.
        nice "$magick" -seed "$n" -size 1500x1000 plasma:grey50-grey50 -colorspace gray \
            -blur 0x1 -resize '6000x4000!' -attenuate 1.5 +noise Gaussian \
            -level -150%,250% \( -size 6000x4000 "xc:rgb($r,$g,$b)" \) +swap \
            -compose Mathematics -define compose:args=0,1,1,-0.5 -composite \
            -quality 90 "$photos/p$n.jpg" || fail "could not make p$n.jpg"
    fi
    n=$((n + 1))
done

# --- The pixel reader -------------------------------------------------------
cc -O2 -std=c11 -D_POSIX_C_SOURCE=200809L -Wall -Wextra -o "$tmp/xkeypixel" \
    "$here/xkeypixel.c" -lX11 -lXtst || fail "xkeypixel did not build (libx11-dev, libxtst-dev?)"
kp="$tmp/xkeypixel"

# --- The screen, the window manager, the program ----------------------------
: >"$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
pids="$! $pids"
i=0
while [ ! -s "$tmp/display" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
[ -s "$tmp/display" ] || fail "Xvfb did not start"
DISPLAY=:$(head -n 1 "$tmp/display")
export DISPLAY
openbox >"$tmp/openbox.log" 2>&1 &
pids="$! $pids"
sleep 1

mkdir -p "$tmp/app" "$tmp/home" "$tmp/runtime"
chmod 700 "$tmp/runtime"
cp "$build/vantrel" "$build/vantrel-decoder" "$tmp/app/" || fail "no program in $build"
HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="" \
    "$tmp/app/vantrel" "$photos" >"$tmp/vantrel.log" 2>&1 &
app=$!
pids="$app $pids"
win=""
i=0
while [ -z "$win" ] && [ $i -lt 100 ]; do
    sleep 0.2
    win=$(xdotool search --onlyvisible --name 'Vantrel by Corvane' 2>/dev/null | head -n 1)
    i=$((i + 1))
done
[ -n "$win" ] || fail "the main window did not appear"
sleep 1
import -window root "$out/start.png"

# Places in the window at its first-run size: the centre of the preview pane,
# the first row of the file list (in the name column, right of the names) and
# the rows' height. VANTREL_PANE="X Y" and VANTREL_ROW1="X Y H" override them.
set -- ${VANTREL_PANE:-448 227}
pane_x=$1 pane_y=$2
set -- ${VANTREL_ROW1:-131 279 18}
row_x=$1 row1_y=$2 row_h=$3
row_y() { echo $((row1_y + ($1 - 1) * row_h)); }

results="$tmp/results"
: >"$results"
# note KIND KEY ROW MS [REMARK]
note() {
    printf '%-10s %-6s %3s %9s  %s\n' "$1" "$2" "$3" "$4" "${5:-}" | tee -a "$results"
}
# picture_after KIND KEY ROW ACTION...: sends the actions ($gap ms apart) and
# waits for row ROW's photo in the pane; notes it as KIND. A remark says when
# the decoder helper was started anew meanwhile (the first decode, or one that
# nobody wanted any more was stopped).
gap=100
helper() {
    ps -o pid=,stat=,comm= --ppid "$app" | awk '$2 !~ /Z/ && $3 ~ /decoder/ {print $1}'
}
picture_after() {
    kind=$1 key=$2 row=$3
    shift 3
    helper_before=$(helper)
    answer=$("$kp" -i "$poll_us" -w "$win" -c "$(colour_of "$row")" -t $tolerance \
        -H $hold_ms -g $gap "$pane_x" "$pane_y" "$@")
    first=$(echo "$answer" | head -n 1)
    last=$(echo "$answer" | tail -n 1)
    ms=${first%% *}
    remark=""
    [ "$ms" = timeout ] && remark="pane shows ${first#* }"
    # shellcheck disable=SC2086 # split on purpose: changed MS RRGGBB
    case $last in changed*) set -- $last && remark="then $3 at $2 ms" ;; esac
    [ "$(helper)" != "$helper_before" ] && remark="$remark helper started anew"
    note "$kind" "$key" "$row" "$ms" "$remark"
}

echo "display $DISPLAY, window $win, photos in $photos, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %-6s %3s %9s  %s\n' kind key row ms remark

# The first row, clicked: the first picture.
picture_after first click 1 "click:$row_x,$(row_y 1)"
# The pane's picture, found by its colour (opened, so that a toolbar icon of
# the same colour does not count): poll its centre from now on.
import -window root "$tmp/first.png"
box=$("$magick" "$tmp/first.png" -fuzz 12% -fill black +opaque "#$(colour_of 1)" \
    -fill white -opaque "#$(colour_of 1)" -morphology Open Square:6 -format '%@' info: 2>/dev/null)
origin=$(xwininfo -id "$win" |
    awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}')
# shellcheck disable=SC2046 # split on purpose: W H X Y of the box, then the origin
set -- $(echo "$box" | tr 'x+' '  ') $origin
if [ $# -eq 6 ] && [ "$1" -gt 20 ] && [ "$2" -gt 20 ]; then
    pane_x=$(($3 + $1 / 2 - $5))
    pane_y=$(($4 + $2 / 2 - $6))
else
    fail "the first photo is not in the pane (see $out/start.png; set VANTREL_PANE, VANTREL_ROW1)"
fi
highlight=$("$kp" -p -w "$win" "$row_x" "$(row_y 1)")
echo "pane picture $box, polled at $pane_x,$pane_y; selection colour $highlight"

# Arrowing with the neighbours read ahead, then with each file touched first.
for kind in ahead not-ahead; do
    for step in "Down 2" "Down 3" "Down 4" "Down 5" "Down 6" "Up 5" "Up 4" "Up 3" "Up 2" "Up 1"; do
        set -- $step
        sleep $pause
        [ "$kind" = not-ahead ] && touch "$photos/p$2.jpg"
        picture_after "$kind" "$1" "$2" "$1"
    done
done

# Down twice while the first decodes: the last row's picture shows and stays.
sleep $pause
touch "$photos/p2.jpg" "$photos/p3.jpg"
picture_after twice 2xDown 3 Down Down

# A click at rest, then clicks while a row not read ahead decodes.
sleep $pause
answer=$("$kp" -i "$poll_us" -w "$win" -c "$highlight" -t $row_tolerance "$row_x" "$(row_y 1)" \
    "click:$row_x,$(row_y 1)")
note click-rest click 1 "$(echo "$answer" | cut -d' ' -f1)"
for trial in "End 6 2" "Home 1 5" "End 6 3"; do
    set -- $trial
    key=$1 target=$2 clicked=$3
    sleep $pause
    touch "$photos/p$target.jpg"
    answer=$("$kp" -i "$poll_us" -w "$win" -c "$highlight" -t $row_tolerance -g $click_gap_ms \
        "$row_x" "$(row_y "$clicked")" "$key" "click:$row_x,$(row_y "$clicked")")
    note click-busy "$key" "$clicked" "$(echo "$answer" | cut -d' ' -f1)" "row selected"
    # From the row's selection showing to its picture; it must stay.
    picture_after clicked "$key" "$clicked" none
done

sleep 1
import -window root "$out/end.png"
kill -0 "$app" 2>/dev/null || fail "the program ended by itself"

# --- Summary ----------------------------------------------------------------
# median KIND [FILE]
median() {
    awk -v k="$1" '$1 == k && $4 ~ /^[0-9.]+$/ {print $4}' "${2:-$results}" | sort -n |
        awk '{v[NR] = $1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
             else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
echo
grep -v 'helper started' "$results" >"$tmp/kept"
echo "medians (ms): ahead $(median ahead), not-ahead $(median not-ahead)" \
    "(helper kept: $(median not-ahead "$tmp/kept")),"
echo "  click while decoding $(median click-busy), click at rest $(median click-rest)"
bad=$(grep -e timeout -e ' then ' "$results" || true)
[ -n "$bad" ] && echo "wrong or late pictures:" && echo "$bad"
echo "load at the end $(cut -d' ' -f1-3 /proc/loadavg); screenshots: $out/start.png $out/end.png"
