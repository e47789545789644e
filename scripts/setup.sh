#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds.
#   scripts/setup.sh          everything: the program, the tests, benchmarks and their tools (./test)
#   scripts/setup.sh --demo   only what the program and its sample profile need (./run)
set -euo pipefail
cd "$(dirname "$0")/.."

# Building and running the program (python3: the demo without a display reads its archive back).
program_packages=(cmake ninja-build g++ pkg-config python3 qt6-base-dev qt6-qpa-plugins qt6-l10n-tools qt6-translations-l10n
                  libzip-dev zlib1g-dev libisal-dev libsqlite3-dev libhivex-dev libgmime-3.0-dev qtkeychain-qt6-dev libssl-dev)
# Only the tests use these: Wine's regedit as oracle, zip tools, validators, sanitizer builds, a real IMAP
# server and mail tools, 7-Zip and bsdtar for encrypted archives, nss_wrapper for another account's home,
# a private session bus with gnome-keyring's Secret Service, read back with secret-tool.
test_packages=(wine wine64 isal zip unzip appstream desktop-file-utils shared-mime-info man-db dpkg-dev
               file lintian clang libclang-rt-14-dev undbx libwin-hivex-perl dovecot-imapd openssl isync 7zip
               libarchive-tools libnss-wrapper dbus-daemon gnome-keyring libsecret-tools libglib2.0-bin)

# `stowline` brings the program with windows and the registry tool with it.
demo_targets=(stowline stowline-sample-profile)

demo=false
[ "${1:-}" = "--demo" ] && demo=true
packages=("${program_packages[@]}")
$demo || packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    echo "Installing ${#missing[@]} Debian packages: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

echo "Configuring build/ ..."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo --log-level=WARNING
if $demo; then
    echo "Building Stowline (build/bin) ..."
    cmake --build build --target "${demo_targets[@]}"
else
    cmake --build build
fi
