#!/usr/bin/env bash
# Builds the data libraries, the tool and their tests with AddressSanitizer
# and UndefinedBehaviorSanitizer in a Debug build of their own (build-asan/)
# and runs those tests (ctest -L data). The first finding fails the run.
# The server's tests run too when DORSANTI_TEST_PG names a test server.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-asan -j "$(nproc)" --target data_tests
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest -L data --output-on-failure -j "$(nproc)"
