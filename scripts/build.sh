#!/bin/bash
# Configures and builds spoolmap in a build directory (default: build).
# Usage: scripts/build.sh [build_dir [target ...]]; without targets it builds
# everything (the program, the libraries with and without sanitizers, the
# tests, benchmarks and fuzz targets).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
echo "== Configuring in $build_dir"
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
echo "== Building ${*:-everything}"
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
