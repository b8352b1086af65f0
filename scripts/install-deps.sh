#!/bin/bash
# Installs the Debian packages spoolmap needs to build, test and demo, and
# only those that are missing. Safe to run again.
set -euo pipefail

packages=(
  cmake make clang libclang-rt-14-dev clang-format
  libsqlite3-dev sqlite3
  libgtest-dev libbenchmark-dev
  python3 python3-pyshp python3-dbfread gdal-bin spatialite-bin
  # The server engine and its tests: a private cluster (pg-test-cluster.sh),
  # libpq, and the peers of the server benchmark (pgsql2shp comes with postgis).
  postgresql-15 postgresql-15-postgis-3 postgis libpq-dev
  # Coordinate systems, the man page check, the .deb package.
  libproj-dev proj-data mandoc dpkg-dev file
)

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
