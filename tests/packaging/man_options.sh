#!/bin/sh
# Every option that `stowline --help` prints, those named inside a description too, has an entry of its
# own in the man page (a tagged paragraph naming it).   man_options.sh STOWLINE MAN-PAGE
set -eu
options() { grep -oE -- '(^|[^A-Za-z0-9-])--?[A-Za-z][A-Za-z-]*' | sed 's/^[^-]*//' | sort -u; }
helped=$("$1" --help | options)
# The line after each .TP is its tag; groff's \- is a plain hyphen there.
tagged=$(awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' "$2" | sed 's/\\-/-/g; s/\\f[BIRP]//g' | options)
missing=$(printf '%s\n' "$helped" | grep -vxF -e "$tagged" || true)
[ -z "$missing" ] || { echo "the man page has no entry for:" $missing; exit 1; }
