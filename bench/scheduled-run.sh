#!/usr/bin/env bash
# The scheduled backup as a user runs it, the whole `stowline /S` process, side by side with
# `zip -r -1` and `tar -c | igzip -1` over the same folders, and the restore of its archive
# (stowline-scheduled-bench restore, a process of its own) against `igzip -d | tar -x` and `unzip`.
# Every pair runs in turn under bench/pair-time.py; then one more /S run writes its phases.
#   bench/scheduled-run.sh [work folder] [mail MiB] [favorites] [runs]
# Defaults: /tmp/stowline-scheduled-bench 512 200 5. The profile is kept between calls of the same
# size; the machine's load is printed with every table. STOWLINE_BIN names the programs to time.
# Every timed run starts after the outputs of the runs before are removed and a `sync`, all outside
# the timing and alike for every tool: what is timed is making a backup (or an extraction), not
# disposing of the last one, and no run's fsync waits behind the write-back of the run before.
# (Until 2026-12-07 the removals were timed, inside each side's run.)
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
cd '$profile' && exec zip -q -r -1 '$work/out/infozip.zip' $quoted
EOT
cat >"$work/tar-igzip.sh" <<EOT
cd '$profile' && tar -c $quoted | igzip -1 -c >'$work/out/tar.gz'
EOT
cat >"$work/stowline.sh" <<EOT
exec env -u DISPLAY -u WAYLAND_DISPLAY '$bin/stowline' /S
EOT
# What each pair's runs leave is removed before every run, outside the timing.
cat >"$work/clear.sh" <<EOT
rm -rf -- "\$@" && rm -f '$backups'/*.stw && sync
EOT
# A restore hands what the restore before it kept for an undo to a process of its own to delete, as
# it ends; that deletion is finished here, so that no run shares the disk with it (for 20,000
# Favorites it goes on for seconds).
cat >"$work/clear-extractions.sh" <<EOT
pidwait -f '^rm -rf -- $profile/home/.local/state/stowline/last-restore[.]dropped-' || true
rm -rf '$work/out/untar' '$work/out/unzip' '$profile/home/.local/state/stowline/last-restore.dropped-'* && sync
EOT
# Each extraction goes into a new folder.
for tool in untar unzip; do
    cat >"$work/$tool.sh" <<EOT
mkdir '$work/out/$tool' && cd '$work/out/$tool' && \\
EOT
done
echo "igzip -d -c '$work/out/tar.gz' | tar -x" >>"$work/untar.sh"
echo "exec unzip -q '$work/out/infozip.zip'" >>"$work/unzip.sh"
cd "$repo"

say() { printf '\n## %s\n\nload: %s\n\n' "$1" "$(uptime | sed 's/.*load average: //')"; }
# The profile was just read or written, so the page cache is warm without warm-up runs; the bound
# is generous because a shared machine can make zip ten times slower than it is idle.
timed() {
    local clear=$1
    shift
    python3 "$repo/bench/pair-time.py" -n "$runs" --prepare "sh $work/clear.sh '$clear'" "$@"
}
say "stowline /S against zip -r -1 ($mib MiB mail, $favorites Favorites)"
timed "$work/out/infozip.zip" --vs "sh $work/zip.sh" -- sh "$work/stowline.sh"
say "stowline /S against tar -c | igzip -1"
timed "$work/out/tar.gz" --vs "sh $work/tar-igzip.sh" -- sh "$work/stowline.sh"
# A backup at night finds its files on the disk, not in the page cache: timed so where the cache may
# be dropped (as root), with the disk's read-ahead printed, since it decides how long a reader waits.
if [ -w /proc/sys/vm/drop_caches ]; then
    cat >"$work/clear-cold.sh" <<EOT
sh '$work/clear.sh' "\$@" && echo 3 >/proc/sys/vm/drop_caches
EOT
    say "stowline /S against tar -c | igzip -1, each from a cold cache (read-ahead $(lsblk -no RA "$(findmnt -no SOURCE -T "$profile")") KiB)"
    python3 "$repo/bench/pair-time.py" -n "$runs" --prepare "sh $work/clear-cold.sh '$work/out/tar.gz'" \
        --vs "sh $work/tar-igzip.sh" -- sh "$work/stowline.sh"
fi
phases() { sort -n "$1" | awk '{ printf "| %6.3f | %6.3f | %6.3f | %s | %s |\n", $1, $2, $2 - $1, $3, substr($0, index($0, $4)) }'; }
say "phases of one stowline /S run (start, end in seconds since the program started; thread)"
rm -f "$work/phases.log"
sh "$work/clear.sh"
STOWLINE_PHASE_LOG="$work/phases.log" sh "$work/stowline.sh"
phases "$work/phases.log"
archive=$(ls "$backups"/*.stw)
printf '\nsizes: stowline %s, zip -1 %s, tar|igzip -1 %s bytes\n' "$(stat -c %s "$archive")" \
    "$(stat -c %s "$work/out/infozip.zip")" "$(stat -c %s "$work/out/tar.gz")"
extracted() { python3 "$repo/bench/pair-time.py" -n "$runs" --prepare "sh $work/clear-extractions.sh" "$@"; }
say "restore against igzip -d | tar -x"
extracted --vs "sh $work/untar.sh" -- "$bin/stowline-scheduled-bench" restore "$archive"
say "restore against unzip"
extracted --vs "sh $work/unzip.sh" -- "$bin/stowline-scheduled-bench" restore "$archive"
say "phases of one restore of that archive"
rm -f "$work/restore-phases.log"
sh "$work/clear-extractions.sh" # as before each timed run: no deletion of the last undo beside it
STOWLINE_PHASE_LOG="$work/restore-phases.log" "$bin/stowline-scheduled-bench" restore "$archive"
phases "$work/restore-phases.log"
