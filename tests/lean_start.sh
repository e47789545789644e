#!/bin/sh
# `stowline` makes the unattended scheduled run on its own: were it to need the toolkit's graphics or
# widgets (or what the message preview needs), every nightly run would load them again.
needed=$(readelf -d "$1" | grep NEEDED) || { echo "error: cannot read $1"; exit 2; }
if echo "$needed" | grep -E 'libQt6(Gui|Widgets)|libgmime'; then
    echo "error: $1 needs the libraries above"
    exit 1
fi
