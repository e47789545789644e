#!/usr/bin/env bash
# The demo on a machine without a display: one scheduled backup (`stowline /S`) of the sample
# profile that scripts/demo.sh has just built, then where the archive went and what it holds.
# Expects the sample profile's environment (STOWLINE_REGISTRY, HOME, TMPDIR, ...) to be exported.
set -euo pipefail
cd "$(dirname "$0")/.."

backups="$PWD/demo/Backups"
settings='HKEY_CURRENT_USER\SOFTWARE\Velmora\Stowline\1.0'
reg_file="$PWD/demo/schedule.reg"
escaped=${backups//\\/\\\\}
escaped=${escaped//\"/\\\"}
# Every run makes a backup, nothing is deleted, all three items; TimesRun skips the first-start prompt.
printf 'REGEDIT4\r\n\r\n[%s]\r\n"Schedule"="1"\r\n"Delete"="1"\r\n"Items"="111"\r\n"Filename"="Demo"\r\n"Pathname"="%s"\r\n"TimesRun"="1"\r\n"LaunchOE"="0"\r\n\r\n' \
    "$settings" "$escaped" >"$reg_file"
build/bin/stowline-regedit /s "$reg_file"

echo "Running a scheduled backup: stowline /S"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY build/bin/stowline /S || status=$?
echo "stowline /S ended with exit status $status"

archive=$(ls -t "$backups"/Demo\ ????-??-??.stw 2>/dev/null | head -n 1 || true)
if [ -z "$archive" ]; then
    echo "No archive was written in $backups" >&2
    exit 1
fi
echo "Archive: $archive"
python3 - "$archive" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    flags = z.comment.decode("utf-8", "replace")
    names = ["Outlook Express identities", "Internet Explorer Favorites", "Windows Address Book"]
    held = [n for n, f in zip(names, flags) if f == "1"]
    print(f"Item flags (archive comment): {flags} = {', '.join(held) or 'nothing'}")
    print(f"{'bytes':>10}  member")
    for info in z.infolist():
        print(f"{info.file_size:>10}  {info.filename}")
    bad = z.testzip()
    print("Every member reads back intact." if bad is None else f"Damaged member: {bad}")
PY
exit "$status"
