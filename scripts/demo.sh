#!/bin/bash
# Installs what is missing, builds, makes a sample GeoPackage and unloads it
# into a shapefile set, then shows what GDAL's ogrinfo reads from it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh demo
bash scripts/build.sh build spoolmap
out=demo-output
rm -rf "$out" && mkdir -p "$out"
echo "== Making the sample database $out/sample.gpkg"
/usr/bin/python3 tests/tools/testdb.py make-sample "$out/sample.gpkg"
echo "== spoolmap -o init -l parcels,geom -f $out/parcels -D sample -s $out -log $out"
./build/spoolmap -o init -l parcels,geom -f "$out/parcels" -D sample -s "$out" -log "$out"
echo
echo "== The file set:"
ls -l "$out"/parcels.*
echo "== What ogrinfo reads from it:"
ogrinfo -ro -al -so "$out/parcels.shp"
echo "== Its first feature, values as GDAL reads them:"
ogrinfo -ro -al -q -fid 0 "$out/parcels.shp"
echo "== Done: the shapefile set is in $out/ (log: $out/parcels.log)"
