#!/usr/bin/env bash
# Installs what is needed, builds, makes a demo database beside the program
# when there is none, and starts Dorsanti.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
db=build/dorsanti.db
if [ ! -e "$db" ]; then
  build/dorsanti-db create "$db" --demo
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Dorsanti on a virtual screen (xvfb-run)." >&2
  exec xvfb-run -a build/dorsanti
fi
exec build/dorsanti
