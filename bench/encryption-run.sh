#!/usr/bin/env bash
# The encrypted scheduled backup against the unencrypted one, and the restore of each archive, on
# the mail-like profile of bench/scheduled-run.sh, timed in pairs by bench/pairs.py (A: encrypted, B: clear).
#   bench/encryption-run.sh [work folder] [mail MiB] [favorites] [runs]
# Defaults: /tmp/stowline-encryption-bench 512 200 5. The passphrase comes from an owner-only key
# file, as on a machine without a desktop keyring; the keyring is kept out (no session bus).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
work=${1:-/tmp/stowline-encryption-bench}
mib=${2:-512}
favorites=${3:-200}
runs=${4:-5}
bin="${STOWLINE_BIN:-$repo/build/bin}"
profile="$work/profile-$mib-$favorites"

mkdir -p "$work"
if [ ! -f "$profile.env" ]; then
    rm -rf "$profile"
    "$bin/stowline-scheduled-bench" profile "$profile" "$mib" "$favorites" >"$profile.env.tmp"
    mv "$profile.env.tmp" "$profile.env"
fi
# shellcheck disable=SC1090
source "$profile.env"

key="$work/passphrase"
printf 'Bench-Quartz-Lantern-Meadow-7\n' >"$key"
chmod 600 "$key"
unset DBUS_SESSION_BUS_ADDRESS

# One registry store per side, each a copy of the profile's with the schedule and the Encrypt choice.
for side in clear encrypted; do
    mkdir -p "$work/$side/Backups"
    cp "$STOWLINE_REGISTRY" "$work/$side/registry.db"
    encrypt=0
    [ "$side" = encrypted ] && encrypt=1
    escaped=${work//\\/\\\\}
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Stowline\\1.0]\r\n"Schedule"="1"\r\n"Delete"="1"\r\n"Items"="111"\r\n"Filename"="Bench"\r\n"Pathname"="%s/%s/Backups"\r\n"TimesRun"="1"\r\n"LaunchOE"="0"\r\n"Encrypt"="%s"\r\n"KeyFile"="%s"\r\n\r\n' \
        "$escaped" "$side" "$encrypt" "$key" >"$work/$side/schedule.reg"
    STOWLINE_REGISTRY="$work/$side/registry.db" "$bin/stowline-regedit" /s "$work/$side/schedule.reg"
done

# One script per side and kind, so that the timer starts each without a shell's quoting between.
for side in clear encrypted; do
    cat >"$work/backup-$side.sh" <<EOT
rm -f '$work/$side/Backups/'*.stw && sync
STOWLINE_REGISTRY='$work/$side/registry.db' exec env -u DISPLAY -u WAYLAND_DISPLAY '$bin/stowline' /S
EOT
    # Both restore into the profile; what the restore before kept for an undo goes first, alike for
    # both and inside the timing.
    cat >"$work/restore-$side.sh" <<EOT
rm -rf '$profile/home/.local/state/stowline/last-restore'* && sync
STOWLINE_REGISTRY='$work/$side/registry.db' exec '$bin/stowline-scheduled-bench' restore "\$(ls '$work/$side/Backups/'*.stw)"
EOT
done

echo "## load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "### stowline /S, encrypted (A) against clear (B)"
"$repo/bench/pairs.py" -n "$runs" --timeout 3600 --vs "sh $work/backup-clear.sh" -- sh "$work/backup-encrypted.sh" || true
ls -l "$work"/clear/Backups/*.stw "$work"/encrypted/Backups/*.stw
# The same folders through `zip -r -1`, for the size.
folders=(home/Favorites "home/Address Book")
while IFS= read -r store; do folders+=("$store"); done < <(cd "$profile" && find . -mindepth 2 -maxdepth 4 -type d -name Store -printf '%h\n' | sed 's|^\./||' | sort -u)
(cd "$profile" && rm -f "$work/infozip.zip" && zip -q -r -1 "$work/infozip.zip" "${folders[@]}" && ls -l "$work/infozip.zip")
echo "### restore, encrypted (A) against clear (B)"
"$repo/bench/pairs.py" -n "$runs" --timeout 3600 --vs "sh $work/restore-clear.sh" -- sh "$work/restore-encrypted.sh" || true
# Each kind of /S against tar and igzip on both cores over the same folders, removed and synced alike.
quoted=$(printf "'%s' " "${folders[@]}")
cat >"$work/tar-igzip.sh" <<EOT
rm -f '$work/tar.gz' && sync
cd '$profile' && tar -c $quoted | igzip -1 -T2 -c >'$work/tar.gz'
EOT
for side in encrypted clear; do
    echo "### stowline /S, $side (A) against tar -c | igzip -1 -T2 (B)"
    "$repo/bench/pairs.py" -n "$runs" --timeout 3600 --vs "sh $work/tar-igzip.sh" -- sh "$work/backup-$side.sh" || true
done
ls -l "$work/tar.gz"
echo "## load: $(cut -d' ' -f1-3 /proc/loadavg)"
