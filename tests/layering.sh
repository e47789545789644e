#!/bin/sh
# The engines and what they stand on reach windows only through interfaces handed to them: no
# window named in a string, no widget, dialog or ui/ header included.
cd "${1:-.}" || exit 2
layers="foundation archive backup restore mail"
status=0
if grep -rn '"frm' $layers; then
    echo "error: the lines above name a window"
    status=1
fi
if grep -rnE '#[[:space:]]*include[[:space:]]*[<"](QWidget|QDialog|QtWidgets|ui/)' $layers; then
    echo "error: the lines above include a window header"
    status=1
fi
exit $status
