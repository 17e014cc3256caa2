#!/bin/sh
# Builds the libFuzzer targets with clang and runs each one over its seed
# corpus. Needs: clang libclang-rt-14-dev (the fuzzer's runtime).
#   scripts/fuzz.sh            a fixed 5000 runs per target (CI)
#   scripts/fuzz.sh -max_total_time=300   any libFuzzer options instead
set -eu
cd "$(dirname "$0")/.."
[ "$#" -gt 0 ] || set -- -runs=5000

CC=clang CXX=clang++ cmake -B build-fuzz -DMORVALEN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j2

found=$(mktemp -d)
trap 'rm -rf "$found"' EXIT
for target in analysis header_scan engine; do
  mkdir -p "$found/$target"
  # New inputs go to the scratch folder; the committed seeds stay as they are.
  "build-fuzz/tests/fuzz/${target}_fuzz" "$found/$target" "tests/fuzz/corpus/$target" \
    -max_len=20000 "$@"
done
echo "fuzzing found nothing"
