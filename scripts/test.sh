#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/install-deps.sh
scripts/build.sh
# A private PostgreSQL server for the tests of the books on a server; it is
# stopped and its folder removed however the run ends.
pgdir=$(mktemp -d -p /tmp dorsanti-pg.XXXXXX)
cleanup() {
  "$top/scripts/pg-cluster.sh" stop "$pgdir" || true
  rm -rf --one-file-system -- "$pgdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
DORSANTI_TEST_PG=$(scripts/pg-cluster.sh start "$pgdir")
export DORSANTI_TEST_PG
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"

# --- Sanitizer job: the data libraries, the tool and their tests built again
# with ASan and UBSan in build-asan/ and run, on files and on the server above.
cd "$top"
scripts/sanitize.sh
# --- end of the sanitizer job
