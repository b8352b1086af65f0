#!/bin/bash
# Configures and builds spoolmap in the given build directory (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
echo "== Configuring in $build_dir"
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
echo "== Building"
cmake --build "$build_dir" -j "$(nproc)"
