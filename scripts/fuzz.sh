#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, ASan and UBSan in build-fuzz/ and runs each for a
# while on a copy of its seed corpus; a crash is written to tests/fuzz/crashes/<target>/, where
# ./test replays it from then on.
#   scripts/fuzz.sh [SECONDS-PER-TARGET (default 600)] [TARGET...]   targets: RegFile Archive CommandLine
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(RegFile Archive CommandLine)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTOWLINE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz-}"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1
for target in "${targets[@]}"; do
    work="build-fuzz/corpus/$target"
    mkdir -p "$work" "tests/fuzz/crashes/$target"
    cp -n tests/fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true
    echo "== $target for $seconds s"
    build-fuzz/bin/fuzz-"$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
        -artifact_prefix="tests/fuzz/crashes/$target/" -print_final_stats=1 "$work" 2>&1 | tail -n 25
done
