#!/bin/sh
# scripts/install-deps.sh rides out a mirror that fails for a moment: here
# apt-get's update and install each fail on their first try only.
set -eu
top=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
# One package missing, so that the script installs; the rest installed.
cat >"$fake/dpkg-query" <<'END'
#!/bin/sh
for last; do :; done
[ "$last" = cmake ] || printf 'install ok installed'
END
cat >"$fake/apt-get" <<'END'
#!/bin/sh
echo "$*" >>"$FAKE/calls"
[ -e "$FAKE/$1.done" ] && exit 0
touch "$FAKE/$1.done"
echo "E: Failed to fetch (a mirror hiccup)" >&2
exit 100
END
printf '#!/bin/sh\nexit 0\n' >"$fake/sleep"
printf '#!/bin/sh\nexec "$@"\n' >"$fake/sudo"
chmod +x "$fake"/*
FAKE=$fake PATH=$fake:$PATH "$top/scripts/install-deps.sh" || {
    echo "install-deps.sh failed on a passing mirror hiccup"; exit 1; }
[ "$(grep -c '^update' "$fake/calls")" = 2 ] &&
    [ "$(grep -c '^install .*cmake$' "$fake/calls")" = 2 ] || {
    echo "not each step tried twice:"; cat "$fake/calls"; exit 1; }
echo "install-deps.sh tried again: $(tr '\n' ';' <"$fake/calls")"
