#!/bin/sh
# vantrel-probe trash, move, copy and rotate on real files whose names hold
# spaces and newlines, with the trash and the thumbnail cache inside the
# test's own folder (never the user's): one line per file, its name's
# newline written "\n"; the trash's files and .trashinfo; a name the folder
# holds already skipped, never replaced; a picture's thumbnail following its
# move and going with its trash; a JPEG turned; exit status 1 on a failure
# and 2 for a command the probe does not take.
. "$(dirname "$0")/probe_lib.sh"
export XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache"
nl='
'
pics="$dir/my pictures"
to="$dir/to folder"
mkdir "$pics" "$to"
md5() { printf '%s' "$1" | md5sum | cut -c1-32; }
thumb() { echo "$dir/cache/thumbnails/normal/$(md5 "file://$1").png"; }
# A 2 x 1 bitmap: BITMAPFILEHEADER, BITMAPINFOHEADER, one row of 2 pixels.
bitmap() {
    printf 'BM\076\000\000\000\000\000\000\000\066\000\000\000' > "$1"
    printf '\050\000\000\000\002\000\000\000\001\000\000\000\001\000\030\000\000\000\000\000\010\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' >> "$1"
    printf '\000\000\377\377\000\000\000\000' >> "$1"
}

# To the trash: each file with its .trashinfo, its thumbnail gone.
a="$pics/a b.bmp"
b="$pics/two${nl}lines.jpg"
bitmap "$a"
printf 'bytes of b' > "$b"
thumbA=$("$probe" thumbnail "$a") || fail "no thumbnail made of $a"
[ "$thumbA" = "$(thumb "$dir/my%20pictures/a%20b.bmp")" ] || fail "the thumbnail is at $thumbA"
out=$("$probe" trash "$a" "$b") || fail "trash: exit status; $out"
[ "$(printf '%s\n' "$out" | wc -l)" = 2 ] || fail "trash: not one line a file: $out"
printf '%s\n' "$out" | head -n 1 | grep -qxF "done: $a -> $dir/data/Trash/files/a b.bmp" ||
    fail "trash, first line: $out"
printf '%s\n' "$out" | tail -n 1 | grep -qxF "done: $pics/two\\nlines.jpg -> $dir/data/Trash/files/two\\nlines.jpg" ||
    fail "trash, second line: $out"
[ ! -e "$a" ] && [ ! -e "$b" ] || fail "trash: a file stayed"
[ "$(cat "$dir/data/Trash/files/two${nl}lines.jpg")" = "bytes of b" ] || fail "trash: the file's bytes"
for name in "a b.bmp" "two${nl}lines.jpg"; do
    [ -f "$dir/data/Trash/info/$name.trashinfo" ] || fail "trash: no .trashinfo for $name"
done
[ ! -e "$thumbA" ] || fail "trash: the thumbnail stayed"

# Copied, then copied again: the second is skipped and replaces nothing.
c="$pics/c${nl}d.jpg"
printf 'bytes of c' > "$c"
out=$("$probe" copy "$c" "$to") || fail "copy: exit status; $out"
[ "$out" = "done: $pics/c\\nd.jpg -> $to/c\\nd.jpg" ] || fail "copy: $out"
[ "$(cat "$to/c${nl}d.jpg")" = "bytes of c" ] && [ -f "$c" ] || fail "copy: the files"
printf 'changed c' > "$c"
out=$("$probe" copy "$c" "$to") || fail "copy over a name: exit status; $out"
printf '%s\n' "$out" | grep -q "^skipped: $pics/c\\\\nd.jpg: ." || fail "copy over a name: $out"
[ "$(cat "$to/c${nl}d.jpg")" = "bytes of c" ] || fail "copy over a name replaced the file"

# Moved, its thumbnail with it; a name taken skipped, the others moved.
e="$pics/e.bmp"
bitmap "$e"
thumbE=$("$probe" thumbnail "$e" large) || fail "no thumbnail made of $e"
out=$("$probe" move "$e" "$c" "$to") || fail "move: exit status; $out"
printf '%s\n' "$out" | head -n 1 | grep -qxF "done: $e -> $to/e.bmp" || fail "move, first line: $out"
printf '%s\n' "$out" | tail -n 1 | grep -q "^skipped: " || fail "move, second line: $out"
[ ! -e "$e" ] && [ -f "$to/e.bmp" ] && [ "$(cat "$c")" = "changed c" ] || fail "move: the files"
[ ! -e "$thumbE" ] || fail "move: the old thumbnail stayed"
large="$dir/cache/thumbnails/large/$(md5 "file://$dir/to%20folder/e.bmp").png"
[ -f "$large" ] || fail "move: the thumbnail did not follow"
# GLib's own check takes the moved thumbnail, its URI rewritten, as valid.
GIO_USE_VFS=local gio info -a thumbnail::is-valid "$to/e.bmp" |
    grep -q 'thumbnail::is-valid: TRUE' || fail "move: GLib takes the moved thumbnail as invalid"

# A JPEG of whole blocks turned right: 32 x 16 becomes 16 x 32.
jpeg="$pics/turn me.jpg"
printf 'P6\n32 16\n255\n' > "$dir/in.ppm"
head -c 1536 /dev/urandom >> "$dir/in.ppm"
cjpeg -quality 90 "$dir/in.ppm" > "$jpeg" || fail "cjpeg (libjpeg-turbo-progs) is not installed"
out=$("$probe" rotate "$jpeg" right) || fail "rotate: exit status; $out"
case "$out" in "done: $jpeg"*) ;; *) fail "rotate: $out" ;; esac
[ "$(djpeg -pnm "$jpeg" | head -n 2 | tail -n 1)" = "16 32" ] || fail "rotate: not turned"

# Failures: a missing file, a file that is no JPEG, a folder that is not there.
out=$("$probe" trash "$dir/missing.jpg" "$c"); status=$?
[ $status -eq 1 ] || fail "trash of a missing file: exit status $status"
printf '%s\n' "$out" | head -n 1 | grep -q "^failed: $dir/missing.jpg: ." || fail "trash of a missing file: $out"
printf '%s\n' "$out" | tail -n 1 | grep -q "^done: " || fail "the other file was not trashed: $out"
printf 'text' > "$pics/text.jpg"
out=$("$probe" rotate "$pics/text.jpg" left); status=$?
[ $status -eq 1 ] || fail "rotate of a text file: exit status $status"
printf '%s\n' "$out" | grep -q "^failed: $pics/text.jpg: ." || fail "rotate of a text file: $out"
[ "$(cat "$pics/text.jpg")" = text ] || fail "rotate changed a text file"
"$probe" move "$pics/text.jpg" "$dir/nowhere" >/dev/null; status=$?
[ $status -eq 1 ] || fail "move to a missing folder: exit status $status"
[ -f "$pics/text.jpg" ] || fail "move to a missing folder lost the file"

for args in "trash" "move $dir/x" "copy $dir/x" "rotate $dir/x" "rotate $dir/x up"; do
    "$probe" $args 2>/dev/null; status=$?
    [ $status -eq 2 ] || fail "exit status $status for: $args"
done
echo "probe files: ok"
