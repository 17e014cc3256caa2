#!/bin/sh
# The test suite with the tool and the tests built under ThreadSanitizer:
# every walk reads through the read-ahead thread, so every test that runs
# one checks the hand-over between the two threads. A race ends the tool
# with exit 66 and fails its test.
set -eu
cd "$(dirname "$0")/.."
cmake -B build-tsan -DMORVALEN_TESTS=ON -DMORVALEN_TSAN=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-tsan -j2
TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}" \
  ctest --test-dir build-tsan -j2 --output-on-failure
