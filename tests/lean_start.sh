#!/bin/sh
# `stowline` answers a search of a built index and `stowline-scheduled` makes the unattended scheduled
# run: were either to need the toolkit's graphics or widgets (or what the message preview needs), or
# `stowline` what only a backup needs (the keyring, OpenSSL, the zip library), each start would load
# them again.
#   lean_start.sh STOWLINE STOWLINE_SCHEDULED
check() { # FILE PATTERN
    needed=$(readelf -d "$1" | grep NEEDED) || { echo "error: cannot read $1"; exit 2; }
    if echo "$needed" | grep -E "$2"; then
        echo "error: $1 needs the libraries above"
        exit 1
    fi
}
check "$2" 'libQt6(Gui|Widgets)|libgmime'
check "$1" 'libQt6(Gui|Widgets|DBus|Network)|libgmime|keychain|libcrypto|libssl|libzip|libisal'
