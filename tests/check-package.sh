#!/bin/sh
# Builds the Debian package from the build folder and reads it as apt would:
# what it depends on and where its licence lies; builds it again to the same
# bytes; and has Debian's checker read it.
set -eu
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$build"
cpack -G DEB -B "$out" >/dev/null
deb=$(ls "$out"/dorsanti_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in sqlite3 libsodium23 libical3 libqt6sql6-sqlite libqt6sql6-psql libpq5 qt6-translations-l10n; do
    echo "$depends" | tr ',' '\n' | grep -q "^ *$needed\b" || {
        echo "Depends lacks $needed: $depends"; exit 1; }
done
dpkg-deb -c "$deb" | grep -q ' ./usr/share/doc/dorsanti/copyright$' || {
    echo "no /usr/share/doc/dorsanti/copyright"; exit 1; }
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/dorsanti/copyright |
    grep -q '^License: GPL-3.0+$' || { echo "copyright names no GPL-3.0+"; exit 1; }
cpack -G DEB -B "$out/again" >/dev/null
cmp "$deb" "$out"/again/dorsanti_*.deb || { echo "two packages of one build differ"; exit 1; }
lintian --pedantic --fail-on error,warning,pedantic "$deb" || {
    echo "lintian finds fault with the package"; exit 1; }
echo "package ok: $depends"
