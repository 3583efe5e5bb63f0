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
# ---- locales under test ------------------------------------------------
# The family runs the program under ru_RU.UTF-8, whose decimal mark is a
# comma, so the tests on files run once more under it after the whole run
# under C.UTF-8. The locale is made here, where the tests run (install-deps.sh
# brings the package `locales`); each test program takes it from
# DORSANTI_TEST_LOCALE.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO localedef -c -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
cd build
DORSANTI_TEST_LOCALE=C.UTF-8 QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
DORSANTI_TEST_LOCALE=ru_RU.UTF-8 QT_QPA_PLATFORM=offscreen \
  ctest --output-on-failure -j "$(nproc)" -E '^server:'
# ---- end of locales under test -----------------------------------------

# --- Sanitizer job: the data libraries, the tool and their tests built again
# with ASan and UBSan in build-asan/ and run, on files and on the server above.
cd "$top"
scripts/sanitize.sh
# --- end of the sanitizer job
