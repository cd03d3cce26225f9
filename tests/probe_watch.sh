#!/bin/sh
# vantrel-probe watch on a real folder changed while it is watched: one line
# for each change the list makes, a burst gathered, and the exit statuses.
. "$(dirname "$0")/probe_lib.sh"
export LC_ALL=C LANG=C
mkdir "$dir/shown"
: > "$dir/shown/a.png"
: > "$dir/shown/b.png"
: > "$dir/shown/c.jpg"
out="$dir/out"
"$probe" watch "$dir/shown" 8 > "$out" &
watcher=$!
# Each step once the line before it is out, so that no two fall in one report.
wait_for() {
    for _ in $(seq 100); do grep -qxF "$1" "$out" && return 0; sleep 0.1; done
    fail "no line '$1' in: $(cat "$out")"
}
wait_for "result=true rows=3"
echo x > "$dir/shown/d.png";               wait_for "added d.png"
mv "$dir/shown/a.png" "$dir/shown/z.png";  wait_for "renamed a.png z.png"
echo longer > "$dir/shown/b.png";          wait_for "changed b.png"
rm "$dir/shown/c.jpg";                     wait_for "removed c.jpg"
echo y > "$dir/shown/notes.txt"            # not a picture: no line
mv "$dir/shown/d.png" "$dir/shown/d.txt";  wait_for "removed d.png"
i=0
while [ $i -lt 500 ]; do : > "$dir/shown/burst$i.gif"; i=$((i + 1)); done
wait_for "added burst499.gif"
wait "$watcher" || fail "exit status $? after watching"
[ "$(grep -c '^added burst' "$out")" -eq 500 ] || fail "burst lines: $(grep -c '^added burst' "$out")"
grep -q "notes.txt" "$out" && fail "a file the pattern leaves out: $(cat "$out")"
[ "$(grep -vc '^added burst' "$out")" -eq 6 ] || fail "lines: $(cat "$out")"

# The folder removed while watched: its rows go.
mkdir "$dir/doomed" && : > "$dir/doomed/p.png"
"$probe" watch "$dir/doomed" 3 > "$out" &
watcher=$!
wait_for "result=true rows=1"
rm -r "$dir/doomed"
wait_for "removed p.png"
wait "$watcher" || fail "exit status $? for a folder removed"

out2=$("$probe" watch "$dir/missing" 1); status=$?
[ $status -eq 1 ] || fail "exit status $status for a missing folder"
[ "$out2" = "result=false rows=0" ] || fail "missing folder: $out2"
for bad in "" "x" "-1" "2s"; do
    "$probe" watch "$dir" $bad > /dev/null 2>&1; status=$?
    [ $status -eq 2 ] || fail "exit status $status for watch '$bad'"
done
echo "probe watch: ok"
