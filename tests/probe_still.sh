#!/bin/sh
# vantrel-probe still on a hand-made 2 x 1 bitmap (red, then blue) and on files
# that are not images.
. "$(dirname "$0")/probe_lib.sh"
# BITMAPFILEHEADER (14) + BITMAPINFOHEADER (40) + one row of 2 pixels (6 bytes + 2 padding).
printf 'BM\076\000\000\000\000\000\000\000\066\000\000\000' > "$dir/two.bmp"
printf '\050\000\000\000\002\000\000\000\001\000\000\000\001\000\030\000\000\000\000\000\010\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' >> "$dir/two.bmp"
printf '\000\000\377\377\000\000\000\000' >> "$dir/two.bmp"
# FNV-1a of ff 00 00 00 00 ff.
out=$("$probe" still "$dir/two.bmp" 4 4) || fail "exit status on a good file"
expected='size=2x1 rgb=ce3a37fc658f3fc3
placed=1,2,2x1'
[ "$out" = "$expected" ] || fail "unexpected output: $out"
printf 'hello' > "$dir/notes.qqq"
for f in "$dir/notes.qqq" "$dir/missing.png" "$dir"; do
    out=$("$probe" still "$f"); status=$?
    [ $status -eq 1 ] || fail "exit status $status for $f"
    [ "$out" = "size=0x0 rgb=cbf29ce484222325" ] || fail "output for $f: $out"
done
echo "probe still: ok"
