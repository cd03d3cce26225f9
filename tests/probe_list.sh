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
# Sorted: the rows in the list's order for each column, either way round.
mkdir "$dir/sort"
for file in "IMG_9.jpg 3000 2024-01-03" "IMG_10.jpg 1000 2024-01-02" "a.png 2000 2024-01-04" \
            "B.gif 500 2024-01-01"; do
    set -- $file # name, size in bytes, date
    head -c "$2" /dev/zero > "$dir/sort/$1"
    touch -d "$3" "$dir/sort/$1"
done
names() { "$probe" list "$dir/sort" "$@" | tail -n +2 | cut -f 1 | tr '\n' ' '; }
expect() {
    want=$1; shift
    got=$(names "$@") || fail "exit status for $*"
    [ "$got" = "$want" ] || fail "list $*: '$got', not '$want'"
}
expect "a.png B.gif IMG_10.jpg IMG_9.jpg "               # as listed: no natural order
expect "a.png B.gif IMG_9.jpg IMG_10.jpg " --sort name
expect "IMG_10.jpg IMG_9.jpg B.gif a.png " --sort name --reverse
expect "B.gif IMG_10.jpg a.png IMG_9.jpg " --sort size
expect "IMG_9.jpg a.png IMG_10.jpg B.gif " --reverse --sort size
expect "B.gif IMG_10.jpg IMG_9.jpg a.png " --sort date
expect "a.png IMG_9.jpg IMG_10.jpg B.gif " --sort date --reverse
expect "B.gif IMG_9.jpg IMG_10.jpg a.png " --sort type   # GIF, JPEG, PNG image
expect "IMG_9.jpg IMG_10.jpg " '*.jpg' --sort size --reverse
for bad in "--sort" "--sort colour" "--reverse" "--sort name --sort size" "a b"; do
    "$probe" list "$dir/sort" $bad > /dev/null 2>&1; status=$?
    [ $status -eq 2 ] || fail "exit status $status for list $bad"
done
echo "probe list: ok"
