#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures and builds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins qt6-l10n-tools libzip-dev zlib1g-dev libisal-dev isal libsqlite3-dev libhivex-dev wine wine64
          pkg-config zip unzip python3 appstream desktop-file-utils shared-mime-info man-db dpkg-dev file lintian
          clang libclang-rt-14-dev libgmime-3.0-dev undbx)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
