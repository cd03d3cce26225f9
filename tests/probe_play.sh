#!/bin/sh
# Runs vantrel-probe play on a hand-made two-frame GIF (3 x 1: frame 1 black,
# frame 2 white, as in gif/README.md) and on files that do not load; checks
# the step lines, the loop back to frame 1 and the PPM files written.
. "$(dirname "$0")/probe_lib.sh"

printf 'GIF89a\003\000\001\000\200\000\000\000\000\000\377\377\377\054\000\000\000\000\003\000\001\000\000\002\002\004\120\000\054\000\000\000\000\003\000\001\000\000\002\002\214\013\000\073' > "$dir/two.gif"
mkdir "$dir/out"
out=$("$probe" play "$dir/two.gif" 3 "$dir/out") || fail "exit status on a good file"
# The hashes are FNV-1a of the display's RGB bytes: nine zero bytes, nine 0xFF bytes.
expected='step 1 frame=1 interval=100 display=e604823a249029bf
step 2 frame=2 interval=100 display=2804ddde49e161a6
step 3 frame=1 interval=100 display=e604823a249029bf'
[ "$out" = "$expected" ] || fail "unexpected output: $out"
[ "$(od -An -tx1 "$dir/out/step2.ppm" | tr -d ' \n')" = "50360a3320310a3235350affffffffffffffffff" ] ||
    fail "step2.ppm"
[ -f "$dir/out/step3.ppm" ] || fail "step3.ppm missing"

printf 'not a gif' > "$dir/text.gif"
for f in "$dir/text.gif" "$dir/missing.gif" "$dir"; do
    out=$(timeout 10 "$probe" play "$f" 2); status=$?
    [ $status -eq 1 ] || fail "exit status $status for $f"
    [ "$out" = "play ok=0" ] || fail "output for $f: $out"
done
"$probe" play "$dir/two.gif" 0 2>/dev/null && fail "zero steps accepted"
echo "probe play: ok"
