#!/bin/bash
# Builds everything unoptimised (-O0) with AddressSanitizer in
# build-debug-asan/, the program the end-to-end tests run included, and runs
# every test but the fuzzers there, with AddressSanitizer's check that no
# name is defined twice. Slower than scripts/test.sh, and not part of it: run
# it after a change to how the pieces are put together.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=build-debug-asan
flags="-fsanitize=address -fno-omit-frame-pointer"
echo "== Configuring in $build_dir (Debug, AddressSanitizer)"
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" >/dev/null
echo "== Building everything"
cmake --build "$build_dir" -j "$(nproc)"
echo "== Running the tests"
cd "$build_dir"
# Leaks are not looked for: a run ends by leaving its memory to the system.
ASAN_OPTIONS=detect_odr_violation=2:detect_leaks=0 ctest --output-on-failure -j "$(nproc)" -LE fuzz
