#!/bin/bash
# Installs the Debian packages spoolmap needs to build, test and demo, and
# only those that are missing. Safe to run again.
set -euo pipefail

# What building the program needs (and the demo, which also shows what GDAL's
# ogrinfo reads from the result); then what the tests add.
build_packages=(
  cmake make clang pkg-config libsqlite3-dev libpq-dev libproj-dev proj-data
  libgtest-dev libbenchmark-dev python3 gdal-bin
)
test_packages=(
  libclang-rt-14-dev clang-format sqlite3
  python3-pyshp python3-dbfread spatialite-bin
  # The server engine's tests run a private cluster (pg-test-cluster.sh);
  # pgsql2shp, a peer of the server benchmark, comes with postgis.
  postgresql-15 postgresql-15-postgis-3 postgis
  # The manual page check and the .deb package.
  mandoc groff-base man-db dpkg-dev file
)

# Usage: install-deps.sh [demo]; "demo" installs only what the demo needs.
packages=("${build_packages[@]}")
if [ "${1:-all}" != demo ]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "== All required packages are installed."
  exit 0
fi

echo "== Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# The tests run a cluster of their own on a free port; the one Debian makes
# and starts on installing the server is left as it is.
apt-get install -y -qq --no-install-recommends "${missing[@]}"
