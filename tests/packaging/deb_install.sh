#!/usr/bin/env bash
# Builds the .deb from the build folder, installs it, runs the installed program, removes it again.
# Usage: deb_install.sh BUILD_DIR. Exit 77: skipped (reason printed).
set -euo pipefail
build=$(cd "$1" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing a package needs root (CI runs as root)"
    exit 77
fi
if dpkg-query -W -f='${Status}' stowline 2>/dev/null | grep -q "install ok installed"; then
    echo "skipped: a stowline package is already installed here and stays untouched"
    exit 77
fi

out=$(mktemp -d)
cleanup() {
    dpkg-query -W stowline >/dev/null 2>&1 && dpkg --purge stowline >/dev/null
    rm -rf "$out"
}
trap cleanup EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/stowline_*.deb)

# Every file the desktop and man need, where they look for it.
listing=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/stowline ./usr/bin/stowline-regedit ./usr/libexec/stowline/stowline-gui \
    ./usr/libexec/stowline/stowline-scheduled \
    ./usr/share/applications/stowline.desktop \
    ./usr/share/metainfo/io.github.stowline.Stowline.metainfo.xml ./usr/share/mime/packages/stowline.xml \
    ./usr/share/icons/hicolor/scalable/apps/stowline.svg ./usr/share/icons/hicolor/48x48/apps/stowline.png \
    ./usr/share/icons/hicolor/256x256/apps/stowline.png ./usr/share/man/man1/stowline.1.gz \
    ./usr/share/man/man1/stowline-regedit.1.gz ./usr/lib/systemd/user/stowline-backup.timer \
    ./usr/lib/systemd/user/stowline-backup.service ./usr/share/doc/stowline/copyright; do
    grep -qx "$path" <<<"$listing" || { echo "missing from the package: $path"; exit 1; }
done

if command -v lintian >/dev/null; then
    # Errors fail the test; warnings are listed in the README.
    lintian --tag-display-limit 0 "$deb" | tee "$out/lintian.txt" || true
    if grep -q '^E:' "$out/lintian.txt"; then
        echo "lintian reports errors"
        exit 1
    fi
fi

DEBIAN_FRONTEND=noninteractive dpkg -i "$deb" >/dev/null
# apt would have pulled them in; dpkg only says what is missing.
if ! dpkg-query -W -f='${Status}' stowline | grep -q "install ok installed"; then
    echo "dependencies missing on this machine"
    exit 1
fi

version=$(env -i PATH=/usr/bin:/bin /usr/bin/stowline --version)
[ "$version" = "stowline (Stowline) $2" ] || { echo "unexpected version line: $version"; exit 1; }
/usr/bin/stowline-regedit --help | head -1 | grep -q '^Usage: stowline-regedit' || { echo "no regedit help"; exit 1; }
