#!/bin/sh
# What the build cannot see: an engine naming a window in a string, or including a ui/ header that
# happens to include no widget. (A widget or dialogs include in an engine already stops the build:
# see cmake/engine-guard and cmake/engine-guard-dialogs.)
cd "${1:-.}" || exit 2
layers="platform foundation archive backup restore mail"
status=0
if grep -rn '"frm' $layers; then
    echo "error: the lines above name a window"
    status=1
fi
if grep -rnE '#[[:space:]]*include[[:space:]]*"(ui|startup)/' $layers; then
    echo "error: the lines above include a header of the windows"
    status=1
fi
# Only platform/ talks to the operating system: nothing else includes its file-call headers.
if grep -rnE '#[[:space:]]*include[[:space:]]*<(fcntl|unistd|dirent|sys/(stat|mman|syscall))\.h>' \
    foundation archive backup restore mail scheduler ui startup; then
    echo "error: the lines above call the operating system outside platform/"
    status=1
fi
exit $status
