#!/bin/sh
# Words the project's own text never uses: no code, comment, script, test or
# file name says "spe""c" or "spe""cification" (the word is spelled apart here
# so that this file passes its own check). The one exception is the wildcard
# matcher, whose argument keeps the name Windows gives it in PathMatchSpecW.
#   words_check.sh SOURCE_DIR
set -u
src=$1
cd "$src" || exit 1
word='spe[c](ification|ifications|s)?'
hits=$(grep -rniwE "$word" --exclude-dir=.git --exclude-dir='build*' . |
       grep -v '^\./browse/PathMatchSpec\.\(h\|cpp\):')
names=$(find . \( -name .git -o -name 'build*' \) -prune -o -print |
        grep -E "(^|[^a-zA-Z])[sS]pe[c]([^a-z]|$)|[sS]pe[c]ification")
if [ -n "$hits$names" ]; then
    echo "FAIL: the word is used:"
    printf '%s\n' "$hits" "$names" | grep -v '^$'
    exit 1
fi
echo "words: none found"
