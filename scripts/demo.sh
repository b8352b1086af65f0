#!/bin/bash
# Installs what is missing, builds, and shows spoolmap at work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
echo "== spoolmap -V"
./build/spoolmap -V
echo "== spoolmap without arguments prints its usage"
./build/spoolmap || true
