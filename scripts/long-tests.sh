#!/usr/bin/env bash
# The tests too long for ./test (Zip64 with a 5 GiB file and 70,000 files): builds, then ctest -L long.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -L long "$@"
