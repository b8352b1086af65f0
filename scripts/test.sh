#!/bin/bash
# Installs what is missing, builds, and runs every test (unit tests, the
# sanitizer rerun, end-to-end tests and the fuzz targets) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
echo "== Running the tests"
cd build
ctest --output-on-failure -j "$(nproc)"
