#!/bin/sh
# Every Debian package the build used is installed by scripts/setup.sh: each
# header a compiler read (its dependency files in the build tree) and each
# library, program or CMake package file that CMake found (CMakeCache.txt)
# belongs to a package that setup.sh names, or that one of those pulls in
# (build-essential's toolchain included). A package missing from the list
# works on the machine where it was installed by hand and fails on a new one.
# Files of the source and build trees are the project's own and not looked at.
#   setup_packages.sh SOURCE_DIR BUILD_DIR
set -u
src=$(cd "$1" && pwd -P) || exit 1
build=$(cd "$2" && pwd -P) || exit 1
fail() { echo "FAIL: $*"; exit 1; }
command -v dpkg-query >/dev/null && command -v apt-cache >/dev/null ||
    { echo "SKIP: not a Debian system"; exit 77; }
[ -f "$build/CMakeCache.txt" ] || fail "no CMakeCache.txt in $build"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

listed=$(bash "$src/scripts/setup.sh" --packages) || fail "setup.sh --packages"
[ -n "$listed" ] || fail "setup.sh lists no package"

# What setup.sh installs and everything those packages pull in, as installed here.
# Reading the depends of some 350 packages takes seconds: the set is kept in
# the build tree until the list or the installed packages change.
cache_dir="$build/test-tmp"
mkdir -p "$cache_dir"
key=$(printf '%s\n' "$listed" build-essential "$(stat -c %Y /var/lib/dpkg/status)" | md5sum)
cache="$cache_dir/setup-packages-closure.txt"
if [ "$(head -n 1 "$cache" 2>/dev/null)" != "$key" ]; then
    # shellcheck disable=SC2086
    apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances build-essential $listed > "$dir/depends" ||
        fail "apt-cache depends"
    # Lines are "pkg", " |Depends: pkg", "  PreDepends: <virtual>", "    provider".
    { echo "$key"
      sed -e 's/^ *|\{0,1\}\(Pre\)\{0,1\}Depends: *//' -e 's/^ *//' -e 's/[<>]//g' \
          -e 's/:.*//' "$dir/depends" | sort -u; } > "$cache.new" && mv "$cache.new" "$cache"
fi
tail -n +2 "$cache" > "$dir/closure"

# The files the build used from outside its two trees.
find "$build" \( -name '*.o.d' -o -name compiler_depend.make \) -exec cat {} + |
    tr ' \t' '\n\n' | sed -n 's/:$//; /^\//p' > "$dir/used"
[ -s "$dir/used" ] || fail "no compiler dependency files in $build (is it built?)"
# The libraries and tools every target was linked with (link.txt of each), and
# what our own CMake files asked CMake to find: find_library, find_program and
# pkg-config results, and the config file of each find_package. (Qt's config
# files look for more, such as EGL and GLU, which nothing links.)
find "$build" -name link.txt -exec cat {} + | tr ' ' '\n' | grep '^/' >> "$dir/used"
find "$src" -path "$build" -prune -o \( -name CMakeLists.txt -o -name '*.cmake' \) -print |
    grep -v "^$src/build" | xargs cat > "$dir/ours.cmake"
awk 'FILENAME != "-" { for (i = 1; i <= NF; i++) word[$i] = 1; next }
     { split($0, kv, "="); split(kv[1], nt, ":"); name = nt[1]; value = substr($0, length(kv[1]) + 2) }
     nt[2] == "FILEPATH" && value ~ /^\// && (name in word || name ~ /^pkgcfg_lib_/) { print value }
     nt[2] == "PATH" && name ~ /_DIR$/ && value ~ /^\// {
         stem = substr(name, 1, length(name) - 4)
         if (("find_package(" stem) in word) print value "/" stem "Config.cmake" }' \
    FS='[^A-Za-z0-9_(]+' "$dir/ours.cmake" FS=' ' - < "$build/CMakeCache.txt" |
    while read -r f; do [ -f "$f" ] && echo "$f"; done >> "$dir/used"
# "a/b/../c" is "a/c"; the two trees are ours.
awk -v src="$src/" -v build="$build/" '
    { n = split($0, part, "/"); k = 0
      for (i = 2; i <= n; i++) {
          if (part[i] == "" || part[i] == ".") continue
          if (part[i] == "..") { if (k > 0) k--; continue }
          keep[++k] = part[i] }
      p = ""; for (i = 1; i <= k; i++) p = p "/" keep[i]
      if (index(p "/", src) != 1 && index(p "/", build) != 1) print p }' "$dir/used" |
    sort -u > "$dir/files"

# Each file's package, from dpkg's file lists. A file may be named through a
# link (/lib is /usr/lib, /usr/bin/c++ leads to g++-12): its name and its /usr
# or non-/usr twin are tried first, then the same for the file the links lead to.
owners() { # lines "FILE NAME" -> lines "FILE PACKAGE"
    awk '{ print; p = $2
           if (p ~ /^\/usr\/(lib|bin|sbin)\//) print $1, substr(p, 5)
           else if (p ~ /^\/(lib|bin|sbin)\//) print $1, "/usr" p }' |
        awk 'FNR == NR { want[$2] = want[$2] " " $1; next }
             ($0 in want) { pkg = FILENAME; sub(/.*\//, "", pkg); sub(/\.list$/, "", pkg)
                            sub(/:.*/, "", pkg); n = split(want[$0], fs, " ")
                            for (i = 1; i <= n; i++) print fs[i], pkg }' \
            - /var/lib/dpkg/info/*.list
}
awk '{ print $1, $1 }' "$dir/files" | owners > "$dir/owners"
cut -d ' ' -f 1 "$dir/owners" | sort -u | comm -23 "$dir/files" - |
    while read -r f; do echo "$f $(readlink -f "$f")"; done | owners >> "$dir/owners"
sort -u -o "$dir/owners" "$dir/owners"

# A file is covered when one of its packages is in the set.
awk -v closure="$dir/closure" -v owners="$dir/owners" '
    FILENAME == closure { have[$1] = 1; next }
    FILENAME == owners { pkgs[$1] = pkgs[$1] " " $2; if ($2 in have) ok[$1] = 1; next }
    !($1 in pkgs) { print "FAIL: " $1 " belongs to no Debian package (installed by hand?)"; next }
    !($1 in ok) { print "FAIL: " $1 " is used by the build; its package" pkgs[$1] \
                  " is neither in scripts/setup.sh nor pulled in by a package there" }
' "$dir/closure" "$dir/owners" "$dir/files" > "$dir/report"
if [ -s "$dir/report" ]; then
    cat "$dir/report"
    exit 1
fi
echo "setup packages: $(wc -l < "$dir/files") files used, from" \
     "$(cut -d ' ' -f 2 "$dir/owners" | sort -u | wc -l) packages, all installed by setup.sh"
