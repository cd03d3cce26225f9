#!/bin/sh
# vantrel-probe thumbnail on a hand-made 2 x 1 bitmap whose name has a space
# and a byte that is not UTF-8: the path printed is the MD5 of the URI worked
# out here, the file private, found again while the picture is unchanged and
# made again once it changes; a file that is not a picture leaves a fail
# entry and exit status 1; the cache's own files are never thumbnailed; the
# pictures' folder is left as it was. GLib's own check (gio) takes the
# thumbnail as valid for the file, under a path far longer than Qt's writer
# would keep as plain text.
. "$(dirname "$0")/probe_lib.sh"
export XDG_CACHE_HOME="$dir/cache"
pics="$dir/pictures-in-a-folder-with-a-name-long-enough-for-any-writer-to-compress"
mkdir "$pics"
file="$pics/$(printf 'two \351.bmp')"
# BITMAPFILEHEADER (14) + BITMAPINFOHEADER (40) + one row of 2 pixels (6 bytes + 2 padding).
printf 'BM\076\000\000\000\000\000\000\000\066\000\000\000' > "$file"
printf '\050\000\000\000\002\000\000\000\001\000\000\000\001\000\030\000\000\000\000\000\010\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' >> "$file"
printf '\000\000\377\377\000\000\000\000' >> "$file"
printf 'hello' > "$pics/notes.jpg"
listing() { ls -lA --time-style=+%s.%N "$pics"; stat -c %y "$pics"; }
md5() { printf '%s' "$1" | md5sum | cut -c1-32; }
uri="file://$pics/two%20%E9.bmp"

before=$(listing)
expected="$dir/cache/thumbnails/large/$(md5 "$uri").png"
out=$("$probe" thumbnail "$file" large) || fail "exit status on a good file"
[ "$out" = "$expected" ] || fail "path $out, expected $expected"
[ "$(stat -c %a "$out")" = 600 ] || fail "mode of the thumbnail"
[ "$(stat -c %a "$dir/cache/thumbnails/large")" = 700 ] || fail "mode of the folder"
inode=$(stat -c %i "$out")
valid() { GIO_USE_VFS=local gio info -a thumbnail::is-valid "$1" | grep -q 'thumbnail::is-valid: TRUE'; }
command -v gio >/dev/null || fail "gio (libglib2.0-bin) is not installed"
valid "$file" || fail "GLib takes the thumbnail as invalid"
out=$("$probe" thumbnail "$file" large) || fail "exit status when found"
[ "$(stat -c %i "$out")" = "$inode" ] || fail "a valid thumbnail was made again"
out=$("$probe" thumbnail "$file") || fail "exit status at the default size"
[ "$out" = "$dir/cache/thumbnails/normal/$(md5 "$uri").png" ] || fail "default size: $out"
out=$("$probe" thumbnail "$pics/notes.jpg" 2>/dev/null); status=$?
[ $status -eq 1 ] || fail "exit status $status for a file that does not decode"
[ -z "$out" ] || fail "output for a file that does not decode: $out"
entry="$dir/cache/thumbnails/fail/vantrel-1.0/$(md5 "file://$pics/notes.jpg").png"
[ -f "$entry" ] || fail "no fail entry at $entry"
[ "$(stat -c %a "$entry")" = 600 ] || fail "mode of the fail entry"
[ "$(listing)" = "$before" ] || fail "the pictures' folder changed"

touch -d '2001-02-03 04:05:06' "$file"
out=$("$probe" thumbnail "$file" large) || fail "exit status after a change"
[ "$(stat -c %i "$out")" != "$inode" ] || fail "a stale thumbnail was kept"

count=$(find "$dir/cache" -type f | wc -l)
for f in "$expected" "$pics" "$dir/missing.png"; do
    "$probe" thumbnail "$f" 2>/dev/null; status=$?
    [ $status -eq 1 ] || fail "exit status $status for $f"
done
[ "$(find "$dir/cache" -type f | wc -l)" = "$count" ] || fail "files written for non-pictures"
"$probe" thumbnail "$file" huge 2>/dev/null; status=$?
[ $status -eq 2 ] || fail "exit status $status for an unknown size"
"$probe" thumbnail 2>/dev/null; status=$?
[ $status -eq 2 ] || fail "exit status $status without a file"
echo "probe thumbnail: ok"
