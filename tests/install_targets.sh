#!/bin/sh
# scripts/install.sh builds the target "installed": it builds every program
# the install copies, and nothing the install does not need (no test, fuzzer,
# benchmark or probe). Read from make's dry run of that target in the built
# tree: the programs it links are those the install puts in bin/ and the
# build-time tools it runs (icons, desktop entry); it compiles no source of
# tests/, bench/ or fuzz/.
#   install_targets.sh SOURCE_DIR BUILD_DIR
set -u
src=$(cd "$1" && pwd -P) || exit 1
build=$(cd "$2" && pwd -P) || exit 1
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$build/Makefile" ] || { echo "SKIP: the build tree is not made with Makefiles"; exit 77; }
grep -q 'bash scripts/setup.sh installed$' "$src/scripts/install.sh" ||
    fail "scripts/install.sh does not build the target 'installed'"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# -k: in a tree built only in part a generated source may be missing; the
# dry run still names every target it would build.
make -n -B -k -C "$build" installed > "$dir/dry" 2>&1
grep -q "No rule to make target 'installed'" "$dir/dry" && fail "there is no target 'installed'"
# Programs built: targets the dry run names whose link script has "-o"
# (static libraries are archived; custom targets have none).
grep -o 'CMakeFiles/[^/ ]*\.dir/' "$dir/dry" | sed 's|CMakeFiles/||; s|\.dir/||' | sort -u |
    while read -r t; do
        find "$build" -path "*/CMakeFiles/$t.dir/link.txt" -exec grep -q ' -o ' {} \; -print |
            grep -q . && echo "$t"
    done > "$dir/programs"
cmake --install "$build" --prefix "$dir/prefix" > /dev/null || fail "cmake --install"
ls "$dir/prefix/bin" | sort > "$dir/installed"
[ -s "$dir/installed" ] || fail "nothing installed in bin/"

for p in $(cat "$dir/installed"); do
    grep -qx "$p" "$dir/programs" || fail "bin/$p is installed but not built by 'installed'"
done
for p in $(comm -23 "$dir/programs" "$dir/installed"); do
    # Not installed: only a tool that the build runs to make an installed file.
    grep -Eq "(^|[ /])$p( |$)" "$dir/dry" ||
        fail "'installed' builds $p, which the install does not copy and the build does not run"
done
compiled=$(grep -oE "[^ ]*\.(cpp|c)( |$)" "$dir/dry" | grep -E "^$src/(tests|bench|fuzz)/" | sort -u)
[ -z "$compiled" ] || fail "'installed' compiles $compiled"
echo "installed target: builds $(tr '\n' ' ' < "$dir/programs")for $(tr '\n' ' ' < "$dir/installed")"
