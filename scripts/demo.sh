#!/usr/bin/env bash
# Starts Stowline on a fresh sample profile in ./demo: its own registry store, HOME, TMPDIR and
# Favorites, so the user's own data is never touched. Called by `./run --demo`.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf demo
eval "$(build/bin/stowline-sample-profile "$PWD/demo")"
echo "Sample profile in $PWD/demo (registry store $STOWLINE_REGISTRY)"
exec build/bin/stowline "$@"
