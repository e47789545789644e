#!/usr/bin/env bash
# Builds a MIME database from our package XML alone and checks that *.stw names the archive type.
# Usage: mime_glob.sh update-mime-database stowline-mime.xml
set -euo pipefail
db=$(mktemp -d)
trap 'rm -rf "$db"' EXIT
mkdir "$db/packages"
cp "$2" "$db/packages/stowline.xml"
# Any complaint about the XML is a failure; the note about the search path is not.
"$1" "$db" 2>&1 | grep -v -e "search path" -e "XDG_DATA" -e "environment variables" -e "be able to find" \
    -e "directories currently searched" -e "^- " -e "^$" && exit 1
grep -qx "50:application/x-stowline-archive:\*.stw" "$db/globs2" || { echo "no *.stw glob"; cat "$db/globs2"; exit 1; }
grep -qx "application/x-stowline-archive application/zip" "$db/subclasses" || { echo "not a kind of zip"; exit 1; }
