#!/usr/bin/env bash
# The scheduled backup as a user runs it, the whole `stowline /S` process, side by side with
# `zip -r -1` and `tar -c | igzip -1` over the same folders, and the restore of its archive
# (stowline-scheduled-bench restore, a process of its own) against `igzip -d | tar -x` and `unzip`.
# Every pair runs in turn under bench/pair-time.py; then one more /S run writes its phases.
#   bench/scheduled-run.sh [work folder] [mail MiB] [favorites] [runs]
# Defaults: /tmp/stowline-scheduled-bench 512 200 5. The profile is kept between calls of the same
# size; the machine's load is printed with every table. STOWLINE_BIN names the programs to time.
# Every timed run starts after a `sync`, outside the timing: the reference tools leave their output
# for the page cache to write, and Stowline's fsync would otherwise wait behind that write-back of
# the run before. An empty PAIR_PREPARE drops it, as the tables before 2026-12-07 were timed.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
work=${1:-/tmp/stowline-scheduled-bench}
mib=${2:-512}
favorites=${3:-200}
runs=${4:-5}
profile="$work/profile-$mib-$favorites"
bin="${STOWLINE_BIN:-$repo/build/bin}" # another build to compare with

mkdir -p "$work"
if [ ! -f "$profile.env" ]; then
    rm -rf "$profile"
    "$bin/stowline-scheduled-bench" profile "$profile" "$mib" "$favorites" >"$profile.env.tmp"
    mv "$profile.env.tmp" "$profile.env"
fi
# shellcheck disable=SC1090
source "$profile.env"

backups="$work/Backups"
mkdir -p "$backups" "$work/out"
escaped=${backups//\\/\\\\}
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Stowline\\1.0]\r\n"Schedule"="1"\r\n"Delete"="1"\r\n"Items"="111"\r\n"Filename"="Bench"\r\n"Pathname"="%s"\r\n"TimesRun"="1"\r\n"LaunchOE"="0"\r\n\r\n' \
    "$escaped" >"$work/schedule.reg"
"$bin/stowline-regedit" /s "$work/schedule.reg"

# What a backup holds: the identity stores, the Favorites and the address book.
cd "$profile"
folders=(home/Favorites "home/Address Book")
while IFS= read -r store; do folders+=("$store"); done < <(find . -mindepth 2 -maxdepth 4 -type d -name Store -printf '%h\n' | sed 's|^\./||' | sort -u)
quoted=$(printf "'%s' " "${folders[@]}")
cat >"$work/zip.sh" <<EOT
cd '$profile' && rm -f '$work/out/infozip.zip' && exec zip -q -r -1 '$work/out/infozip.zip' $quoted
EOT
cat >"$work/tar-igzip.sh" <<EOT
cd '$profile' && tar -c $quoted | igzip -1 -c >'$work/out/tar.gz'
EOT
cat >"$work/stowline.sh" <<EOT
rm -f '$backups'/*.stw && env -u DISPLAY -u WAYLAND_DISPLAY '$bin/stowline' /S
EOT
# Each extraction goes into a new folder; the last one is moved aside first, outside the timing's
# concern only as far as a rename goes.
for tool in untar unzip; do
    cat >"$work/$tool.sh" <<EOT
rm -rf '$work/out/$tool.old' && { mv '$work/out/$tool' '$work/out/$tool.old' 2>/dev/null || true; } && mkdir '$work/out/$tool' && cd '$work/out/$tool' && \\
EOT
done
echo "igzip -d -c '$work/out/tar.gz' | tar -x" >>"$work/untar.sh"
echo "exec unzip -q '$work/out/infozip.zip'" >>"$work/unzip.sh"
cd "$repo"

say() { printf '\n## %s\n\nload: %s\n\n' "$1" "$(uptime | sed 's/.*load average: //')"; }
# The profile was just read or written, so the page cache is warm without warm-up runs; the bound
# is generous because a shared machine can make zip ten times slower than it is idle.
prepare=${PAIR_PREPARE-sync}
timed() { python3 "$repo/bench/pair-time.py" -n "$runs" ${prepare:+--prepare "$prepare"} "$@"; }
say "stowline /S against zip -r -1 ($mib MiB mail, $favorites Favorites)"
timed --vs "sh $work/zip.sh" -- sh "$work/stowline.sh"
say "stowline /S against tar -c | igzip -1"
timed --vs "sh $work/tar-igzip.sh" -- sh "$work/stowline.sh"
archive=$(ls "$backups"/*.stw)
printf '\nsizes: stowline %s, zip -1 %s, tar|igzip -1 %s bytes\n' "$(stat -c %s "$archive")" \
    "$(stat -c %s "$work/out/infozip.zip")" "$(stat -c %s "$work/out/tar.gz")"
say "restore against igzip -d | tar -x"
timed --vs "sh $work/untar.sh" -- "$bin/stowline-scheduled-bench" restore "$archive"
say "restore against unzip"
timed --vs "sh $work/unzip.sh" -- "$bin/stowline-scheduled-bench" restore "$archive"

phases() { sort -n "$1" | awk '{ printf "| %6.3f | %6.3f | %6.3f | %s | %s |\n", $1, $2, $2 - $1, $3, substr($0, index($0, $4)) }'; }
say "phases of one stowline /S run (start, end in seconds since the program started; thread)"
rm -f "$work/phases.log"
$prepare
STOWLINE_PHASE_LOG="$work/phases.log" sh "$work/stowline.sh"
phases "$work/phases.log"
say "phases of one restore of that archive"
rm -f "$work/restore-phases.log"
STOWLINE_PHASE_LOG="$work/restore-phases.log" "$bin/stowline-scheduled-bench" restore "$archive"
phases "$work/restore-phases.log"
