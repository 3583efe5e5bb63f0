#!/bin/sh
# The database tool runs where there is no screen: neither it nor any library
# it loads may be a GUI library (Qt Gui, Widgets, Charts, OpenGL, X11, GL).
set -eu
tool=$1
needed=$(readelf -d "$tool" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
loaded=$(ldd "$tool")
# Both lists are read for real: an empty one would prove nothing.
echo "$needed" | grep -q '^libQt6Core\.so' || { echo "no libQt6Core in: $needed"; exit 1; }
echo "$loaded" | grep -q 'libQt6Sql\.so' || { echo "no libQt6Sql in: $loaded"; exit 1; }
gui='libQt6(Gui|Widgets|Charts|OpenGL|OpenGLWidgets)\.so|lib(GL|EGL|OpenGL|GLX|X11|xcb|xkbcommon)[.-]'
if printf '%s\n%s\n' "$needed" "$loaded" | grep -E "$gui"; then
    echo "dorsanti-db links a GUI library (above)"
    exit 1
fi
echo "dorsanti-db links: $(echo "$needed" | tr '\n' ' ')"
