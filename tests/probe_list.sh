#!/bin/sh
# vantrel-probe list on a real folder: rows, texts, patterns and exit statuses.
. "$(dirname "$0")/probe_lib.sh"
export LC_ALL=C LANG=C
head -c 1536 /dev/zero > "$dir/b.png"
: > "$dir/A.bmp"
: > "$dir/skip.txt"
mkfifo "$dir/fifo.gif"
mkdir "$dir/folder.gif"

out=$(timeout 20 "$probe" list "$dir") || fail "exit status on a readable folder"
[ "$(echo "$out" | head -n 1)" = "result=true rows=2" ] || fail "header: $out"
echo "$out" | sed -n 2p | grep -q "^A.bmp	0 KB	" || fail "first row: $out"
echo "$out" | sed -n 3p | grep -q "^b.png	2 KB	PNG image	" || fail "second row: $out"
echo "$out" | sed -n 3p | grep -Eq "	[^	]+ [0-9]{1,2}:[0-9]{2} (AM|PM)$" || fail "date text: $out"

out=$("$probe" list "$dir" '*.txt') || fail "pattern"
[ "$(echo "$out" | head -n 1)" = "result=true rows=1" ] || fail "pattern rows: $out"

out=$("$probe" list "$dir/missing"); status=$?
[ $status -eq 1 ] || fail "exit status $status for a missing folder"
[ "$out" = "result=false rows=0" ] || fail "missing folder: $out"
echo "probe list: ok"
