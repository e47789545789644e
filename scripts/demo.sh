#!/usr/bin/env bash
# Starts Stowline on a fresh sample profile in ./demo: its own registry store, HOME, TMPDIR and
# Favorites, so the user's own data is never touched. Called by `./run --demo`.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf demo
environment=$(build/bin/stowline-sample-profile "$PWD/demo")
eval "$environment"
python3 scripts/demo-mail.py "$PWD/demo/home/Mail"
echo "Sample profile in $PWD/demo (registry store $STOWLINE_REGISTRY)"

# Scheduler: without a display the demo is one unattended scheduled backup (scripts/demo-scheduled.sh).
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
    exec scripts/demo-scheduled.sh
fi

exec build/bin/stowline "$@"
