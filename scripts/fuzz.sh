#!/bin/sh
# Builds the libFuzzer targets with clang and runs each one over its seed
# corpus. Needs: clang libclang-rt-14-dev (the fuzzer's runtime).
#   scripts/fuzz.sh                       a fixed number of runs per target, with a
#                                         fixed seed, so that CI runs alike (CI)
#   scripts/fuzz.sh -max_total_time=300   any libFuzzer options instead
set -eu
cd "$(dirname "$0")/.."

CC=clang CXX=clang++ cmake -B build-fuzz -DMORVALEN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j2

found=$(mktemp -d)
trap 'rm -rf "$found"' EXIT
options="$*"
for entry in analysis:20000 header_scan:20000 engine:1000 damage:300 sps:20000 vol:20000 h263:20000 vc1:20000 container:500; do
  target=${entry%%:*}
  runs=${entry#*:}
  mkdir -p "$found/$target"
  run_options=${options:-"-runs=$runs -seed=1"}
  # New inputs go to the scratch folder; the committed seeds stay as they are.
  # shellcheck disable=SC2086  # the options are separate words
  "build-fuzz/tests/fuzz/${target}_fuzz" "$found/$target" "tests/fuzz/corpus/$target" \
    -max_len=20000 $run_options
done
echo "fuzzing found nothing"
