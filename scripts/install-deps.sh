#!/bin/bash
# Installs the Debian packages spoolmap needs to build, test and demo, and
# only those that are missing. Safe to run again.
set -euo pipefail

packages=(
  cmake make clang libclang-rt-14-dev clang-format
  libsqlite3-dev sqlite3 libproj-dev proj-data
  libgtest-dev libbenchmark-dev
  python3 python3-pyshp python3-dbfread gdal-bin spatialite-bin
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
apt-get install -y -qq --no-install-recommends "${missing[@]}"
