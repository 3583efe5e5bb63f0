#!/usr/bin/env bash
# Installs everything the project needs to build, test and run on Debian 12.
# Both set-up commands of the README use this one list.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
  qt6-translations-l10n qt6-svg-dev
  libgl-dev libxkbcommon-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql-15 postgresql-client-15 libqt6sql6-psql
  libgtest-dev googletest
  libofx-dev libcsv-dev libsodium-dev libical-dev
  fonts-dejavu-core
  xvfb xauth
  desktop-file-utils appstream dpkg-dev file lintian
  locales
)

# A mirror that fails for a moment must not fail the whole run: each apt-get
# step is tried up to five times, with a longer pause after each failure.
retry() {
  local attempt
  for attempt in 1 2 3 4; do
    "$@" && return 0
    echo "install-deps: \"$*\" failed; trying again in $((attempt * 15)) s" >&2
    sleep $((attempt * 15))
  done
  "$@"
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  # The tests start a PostgreSQL server of their own (scripts/pg-cluster.sh).
  # When this list brings PostgreSQL to the machine, it brings no system-wide
  # cluster with it; a machine that has PostgreSQL already keeps its setting.
  if ! dpkg-query -W -f='${Status}' postgresql-common 2>/dev/null | grep -q "install ok installed"; then
    $SUDO mkdir -p /etc/postgresql-common/createcluster.d
    echo "create_main_cluster = false" |
      $SUDO tee /etc/postgresql-common/createcluster.d/no-main-cluster.conf >/dev/null
  fi
  # An index that could not be fetched is an error here, not a warning that
  # leaves the install to fail on a package it cannot find.
  retry $SUDO apt-get update --error-on=any
  retry $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}"
fi
