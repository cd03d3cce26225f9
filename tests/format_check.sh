#!/bin/sh
# Every C++ source file of the project matches .clang-format.
#   format_check.sh SOURCE_DIR
set -u
src=$1
command -v clang-format >/dev/null || { echo "SKIP: clang-format is not installed"; exit 77; }
cd "$src" || exit 1
files=$(find app browse bench controls fileops fuzz gif imaging platform tests tools viewers \
        -name '*.cpp' -o -name '*.h' | sort)
if ! clang-format --dry-run --Werror $files; then
    echo "FAIL: files above differ from .clang-format (run clang-format -i on them)"
    exit 1
fi
echo "format: $(echo "$files" | wc -l) files match"
