#!/usr/bin/env bash
# The archive browser's first matches of a search typed as it opens, on an archive whose index is not
# built yet: RUNS runs (default 5), each from an emptied index cache and with the load average before
# it. WORK_DIR is one made by bench/search-bench.sh (its env.sh keeps the cache private; CACHE_HOME
# puts it elsewhere, for a WORK_DIR another session uses); ARCHIVE a backup of that profile. Runs on
# the display in DISPLAY, or offscreen without one.
#   bench/browser-bench.sh BIN_DIR WORK_DIR ARCHIVE [WORDS]
set -euo pipefail
bin=$(realpath "$1")
work=$(realpath "$2")
archive=$(realpath "$3")
words=${4:-quokka}
. "$work/env.sh"
export XDG_CACHE_HOME=${CACHE_HOME:-$XDG_CACHE_HOME}
[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
for run in $(seq "${RUNS:-5}"); do
    echo "== run $run, $(uptime)"
    "$bin/stowline-browser-bench" "$archive" "$words"
done
