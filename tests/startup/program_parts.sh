#!/usr/bin/env bash
# `stowline` hands every start with windows to `stowline-gui` and the unattended `/S` to
# `stowline-scheduled`: what `./run` builds must contain them, and `stowline` must find them both
# where the build puts them and where the package does.
#   program_parts.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
bin=$build_dir/bin
fail() { echo "error: $*"; exit 1; }

# The targets of `./run`, as scripts/setup.sh names them, must build both helper programs.
targets_line=$(grep -E '^demo_targets=\(' "$source_dir/scripts/setup.sh") || fail "setup.sh names no demo targets"
eval "$targets_line"
commands=$(ninja -C "$build_dir" -t commands "${demo_targets[@]}")
for program in stowline-gui stowline-scheduled stowline-regedit; do
    grep -qE -- "-o bin/$program( |$)" <<<"$commands" || fail "./run's targets (${demo_targets[*]}) do not build $program"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/runtime STOWLINE_REGISTRY=$work/registry.db QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset STOWLINE_BIN_DIR

status_in() { # runs `stowline ARGUMENTS` (--status unless given) from a copy in $1; prints its exit status
    local code=0 folder=$1
    shift
    "$folder/stowline" "${@:---status}" >"$work/out" 2>"$work/err" || code=$?
    echo "$code"
}

# Alone, `stowline` says it cannot start the windows and ends as a shell does for a missing program.
mkdir -p "$work/alone"
cp "$bin/stowline" "$work/alone/"
[ "$(status_in "$work/alone")" = 127 ] || fail "stowline without stowline-gui did not end with 127"
grep -q "stowline-gui" "$work/err" || fail "stowline without stowline-gui did not name it: $(cat "$work/err")"
[ "$(status_in "$work/alone" /S)" = 127 ] || fail "stowline /S without stowline-scheduled did not end with 127"
grep -q "stowline-scheduled" "$work/err" || fail "stowline /S did not name stowline-scheduled: $(cat "$work/err")"

# Beside it, as the build lays it out; then under ../libexec/stowline, as the package does.
mkdir -p "$work/build" "$work/package/bin" "$work/package/libexec/stowline"
cp "$bin/stowline" "$bin/stowline-regedit" "$work/build/"
cp "$bin/stowline" "$bin/stowline-regedit" "$work/package/bin/"
for program in stowline-gui stowline-scheduled; do
    ln -s "$bin/$program" "$work/build/$program"
    ln -s "$bin/$program" "$work/package/libexec/stowline/$program"
done
for layout in build package/bin; do
    code=$(status_in "$work/$layout")
    [ "$code" = 0 ] || fail "stowline in $layout ended with $code: $(cat "$work/err")"
    grep -qx "No backup yet" "$work/out" || fail "stowline in $layout printed: $(cat "$work/out")"
    # The schedule wizard was never finished on this registry: the run says so with its own status.
    code=$(status_in "$work/$layout" /S)
    [ "$code" = 3 ] || fail "stowline /S in $layout ended with $code: $(cat "$work/err")"
done
# Started by hand for anything but /S, the scheduled run's program makes no backup: it hands over.
"$work/package/libexec/stowline/stowline-scheduled" --status >"$work/out" 2>"$work/err" ||
    fail "stowline-scheduled --status failed: $(cat "$work/err")"
grep -qx "No backup yet" "$work/out" || fail "stowline-scheduled --status printed: $(cat "$work/out")"
echo "ok"
