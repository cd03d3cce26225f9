#!/bin/sh
# Runs vantrel-probe gif on a hand-made GIF (gif/README.md walks through it)
# and on files that are not GIFs; checks its lines and exit statuses.
. "$(dirname "$0")/probe_lib.sh"

printf 'GIF89a\003\000\001\000\200\000\000\000\000\000\377\377\377\054\000\000\000\000\003\000\001\000\000\002\002\214\013\000\073' > "$dir/three.gif"
out=$("$probe" gif "$dir/three.gif") || fail "exit status on a good file"
expected='gif ok=1 version=89a screen=3x1 bg=0 aspect=0 loops=0 global=2 frames=1
frame 1 rect=0,0,3x1 interlaced=0 delay=0 disposal=0 transparent=- userinput=0 local=0 indices=d0a6fc18672a1282'
[ "$out" = "$expected" ] || fail "unexpected output: $out"

printf 'not a gif' > "$dir/text.gif"
: > "$dir/empty.gif"
mkfifo "$dir/fifo.gif"
for f in "$dir/text.gif" "$dir/empty.gif" "$dir/missing.gif" "$dir" "$dir/fifo.gif" /dev/zero; do
    out=$(timeout 10 "$probe" gif "$f"); status=$?
    [ $status -eq 1 ] || fail "exit status $status for $f"
    [ "$out" = "gif ok=0" ] || fail "output for $f: $out"
done
head -c 20 "$dir/three.gif" > "$dir/cut.gif"
out=$("$probe" gif "$dir/cut.gif") || fail "a cut file with a good header loads"
# resave: loaded and written again, the same document; an unwritable target fails.
"$probe" resave "$dir/three.gif" "$dir/again.gif" || fail "resave exit status"
out=$("$probe" gif "$dir/again.gif") || fail "the resaved file loads"
[ "$out" = "$expected" ] || fail "resaved: $out"
"$probe" resave "$dir/three.gif" "$dir/no-folder/x.gif" && fail "resave into a missing folder"
"$probe" resave "$dir/text.gif" "$dir/x.gif" && fail "resave of a file that is not a GIF"
echo "probe gif: ok"
