#!/bin/bash
# Unloads the same table with spoolmap and with GDAL's ogr2ogr (the peer) in
# one run and reports rows/s of each and their ratio. Usage:
#   bash bench/run.sh [rows]        (default 100000 polygons with attributes)
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-100000}
bash scripts/install-deps.sh >/dev/null
bash scripts/build.sh build-bench >/dev/null
work=$(mktemp -d /tmp/spoolmap-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== Making a GeoPackage of $rows rows in $work"
/usr/bin/python3 bench/make_bench_db.py "$work/bench.gpkg" "$rows"

seconds() { /usr/bin/python3 -c 'import sys,time,subprocess
t=time.perf_counter(); subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL); print("%.3f" % (time.perf_counter()-t))' "$@"; }

best() {  # best of three runs
  local b=""
  for _ in 1 2 3; do
    rm -f "$work"/out.* "$work"/peer.*
    t=$(seconds "$@")
    if [ -z "$b" ] || awk "BEGIN{exit !($t < $b)}"; then b=$t; fi
  done
  echo "$b"
}

ours=$(cd "$work" && best "$OLDPWD/build-bench/spoolmap" -o init -l bench,geom -f out -D bench)
peer=$(cd "$work" && best ogr2ogr peer.shp bench.gpkg bench)
awk -v n="$rows" -v a="$ours" -v b="$peer" 'BEGIN {
  printf "spoolmap: %8.3f s  %10.0f rows/s\n", a, n / a;
  printf "ogr2ogr:  %8.3f s  %10.0f rows/s\n", b, n / b;
  printf "ratio (spoolmap time / ogr2ogr time): %.2f\n", a / b }'
