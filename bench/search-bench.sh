#!/usr/bin/env bash
# The full-text index against notmuch over the same messages: a generated store of MEGABYTES (default
# 500) as the only store of the sample profile, exported as a Maildir for notmuch. Times indexing
# (from nothing each run) against `notmuch new` and against `--export-mail --format eml`, queries
# from a warm cache against `notmuch search`, and prints the sizes of the mail and of both indexes.
# notmuch new takes minutes on 500 MB, so the indexing runs are counted INDEX_RUNS times (default 3);
# NOTMUCH_RUNS=0 leaves out the race with `notmuch new` and keeps its database from an earlier call.
# A WORK_DIR made by an earlier call is used again (KEEP=1). CACHE_HOME and OWN_DIR keep the index, the
# export and the lists of matches out of a WORK_DIR another session uses; BASELINE_BIN=DIR (another
# build's bin folder) also times indexing from nothing against that build's.
#   bench/search-bench.sh BIN_DIR WORK_DIR [MEGABYTES]
set -euo pipefail
bin=$(realpath "$1")
work=$2
megabytes=${3:-500}
runs=${INDEX_RUNS:-3}
notmuch_runs=${NOTMUCH_RUNS:-$runs}
here=$(dirname "$(realpath "$0")")
store_of() { echo "$1/sb/home/Mail/Main Identity/Inbox.dbx"; }
if [ "${KEEP:-0}" != 1 ]; then
    rm -rf "$work"
    mkdir -p "$work"
    work=$(realpath "$work")
    "$bin/stowline-sample-profile" "$work/sb" > "$work/env.sh"
    . "$work/env.sh"
    rm -f "$work"/sb/home/Mail/*/*.dbx
    python3 "$here/search_store.py" "$(store_of "$work")" "$megabytes"
    "$bin/stowline" --export-mail "$work/maildir" --format maildir > /dev/null
    rm -f "$work/maildir/bookmarks.html"
fi
work=$(realpath "$work")
. "$work/env.sh"
export XDG_CACHE_HOME=${CACHE_HOME:-$XDG_CACHE_HOME}
own=${OWN_DIR:-$work}
mkdir -p "$own"
eml=$own/eml
store=$(store_of "$work")
cat > "$own/notmuch-config" <<EOF
[database]
path=$work/maildir
[new]
tags=inbox;
[maildir]
synchronize_flags=false
EOF
export NOTMUCH_CONFIG="$own/notmuch-config"
cache="$XDG_CACHE_HOME/stowline"
uptime
if [ "$notmuch_runs" -gt 0 ]; then
    echo "== indexing: stowline (index built from nothing) vs notmuch new (from nothing)"
    "$here/pairs.py" -n "$notmuch_runs" --warmup 0 --timeout 3600 \
        --vs "sh -c 'rm -rf $work/maildir/.notmuch && exec notmuch new --quiet'" \
        -- sh -c "rm -rf '$cache' && exec '$bin/stowline' --find-mail quokka"
elif [ ! -d "$work/maildir/.notmuch" ]; then
    notmuch new --quiet
fi
echo "== indexing: stowline (index built from nothing) vs --export-mail --format eml"
"$here/pairs.py" -n "$runs" --warmup 0 --timeout 3600 --vs "sh -c 'rm -rf $eml && exec $bin/stowline --export-mail $eml --format eml'" \
    -- sh -c "rm -rf '$cache' && exec '$bin/stowline' --find-mail quokka"
uptime
if [ -n "${BASELINE_BIN:-}" ]; then
    echo "== indexing: this build vs $BASELINE_BIN (both from nothing)"
    "$here/pairs.py" -n "$runs" --warmup 0 --timeout 3600 \
        --vs "sh -c 'rm -rf $cache && exec $(realpath "$BASELINE_BIN")/stowline --find-mail quokka'" \
        -- sh -c "rm -rf '$cache' && exec '$bin/stowline' --find-mail quokka"
    uptime
fi
"$bin/stowline" --find-mail quokka > "$own/ours.txt"
notmuch search --output=files quokka > "$own/theirs.txt"
echo "matches: stowline $(wc -l < "$own/ours.txt"), notmuch $(wc -l < "$own/theirs.txt")"
for query in quokka '"quokka"' 'subject:quokka'; do
    echo "== query $query: stowline --find-mail vs notmuch search (warm)"
    "$here/pairs.py" -n 20 --vs "notmuch search $query" -- "$bin/stowline" --find-mail "$query"
done
echo "== a two-word query over frequent words"
first=$(sed -n 2p "$own/ours.txt" | cut -f5 | cut -d' ' -f1-2)
"$here/pairs.py" -n 20 --vs "notmuch search $first" -- "$bin/stowline" --find-mail "$first"
uptime
echo "sizes (bytes): store $(stat -c %s "$store"), stowline index $(du -cb "$cache" | tail -1 | cut -f1)," \
     "notmuch database $(du -sb "$work/maildir/.notmuch" | cut -f1)"
