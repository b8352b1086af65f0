#!/bin/bash
# Unloading from PostGIS: spoolmap against pgsql2shp and GDAL's ogr2ogr, and
# against a bare libpq scan of the same rows (pg_copy_scan: binary COPY,
# every value read, nothing written), on the benchmark GeoPackages loaded
# into a private cluster. Three rounds, the tools interleaved in each; prints
# the median seconds, rows/s and the largest peak RSS of each. Usage:
#   bash bench/pg_compare.sh [rows]     (default 1000000)
#   bash bench/pg_compare.sh --rss [small large]
# reads build/bench-data/features_points_<rows>.gpkg and
# features_polygons_<rows>.gpkg (table features, geometry column geom; made
# by the benchmark's GeoPackage generator, bench/compare.sh). --rss unloads
# the points of both sizes (default 100000 and 5000000) with spoolmap alone
# and compares their peak RSS: streamed rows keep it flat. SPOOLMAP names the
# binary to time (default build-bench/spoolmap); one that cannot reach the
# server is reported as not available. ROUNDS sets the rounds (default 3);
# BASELINE=/path/to/an/older/spoolmap
# adds that binary to the same rounds, interleaved with the others, so a
# change is timed against what it replaces under the same load.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rss_sizes=()
if [ "${1:-}" = "--rss" ]; then
  rss_sizes=("${2:-100000}" "${3:-5000000}")
  kinds=()
  for size in "${rss_sizes[@]}"; do kinds+=("points_$size"); done
  rows=""
else
  rows=${1:-1000000}
  kinds=(points polygons)
fi
rounds=${ROUNDS:-3}
data=$root/build/bench-data
SPOOLMAP=${SPOOLMAP:-$root/build-bench/spoolmap}

# The GeoPackage a kind's table is loaded from.
gpkg_of() {
  if [ -n "$rows" ]; then echo "$data/features_${1}_$rows.gpkg"; else echo "$data/features_${1%_*}_${1##*_}.gpkg"; fi
}

for kind in "${kinds[@]}"; do
  [ -f "$(gpkg_of "$kind")" ] ||
    { echo "pg_compare: no $(gpkg_of "$kind"); make the benchmark GeoPackages first" >&2; exit 1; }
done

echo "== Building spoolmap and pg_copy_scan in build-bench"
cmake -S . -B build-bench -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-bench -j "$(nproc)" --target spoolmap pg_copy_scan >/dev/null
scan=$root/build-bench/bench/pg_copy_scan

work=$(mktemp -d /tmp/spoolmap-pgbench.XXXXXX)
cluster=$work/cluster.conf
trap 'bash "$root/scripts/pg-test-cluster.sh" stop "$cluster" >/dev/null || true; rm -rf "$work"' EXIT
bash scripts/pg-test-cluster.sh start "$cluster"
fact() { sed -n "s/^$1=//p" "$cluster"; }
host=$(fact host) port=$(fact port) user=$(fact user) password=$(fact password)
database=bench
conninfo="host=$host port=$port user=$user password=$password dbname=$database"
admin() { "$(fact bindir)/psql" -X -q -A -t -v ON_ERROR_STOP=1 -h "$(fact socket_dir)" -p "$port" -U "$(fact superuser)" "$@"; }
admin -d postgres -c "CREATE DATABASE $database OWNER $user"

for kind in "${kinds[@]}"; do
  gpkg=$(gpkg_of "$kind")
  echo "== Loading $(basename "$gpkg") into table features_$kind"
  # Not ogr2ogr -f PostgreSQL: it rounds doubles to 15 digits (pg_load_gpkg.py says more).
  /usr/bin/python3 bench/pg_load_gpkg.py "$cluster" "$database" "$gpkg" features "features_$kind"
  admin -d "$database" -c "VACUUM ANALYZE features_$kind"
  expected=$(/usr/bin/python3 -c "import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute('SELECT count(*) FROM features').fetchone()[0])" "$gpkg")
  loaded=$(admin -d "$database" -c "SELECT count(*) FROM features_$kind")
  [ "$loaded" -eq "$expected" ] || { echo "pg_compare: features_$kind holds $loaded rows, not $expected" >&2; exit 1; }
done

# Seconds and peak RSS (KiB) of one command run in the directory $out, its
# output thrown away.
measure() {
  /usr/bin/python3 -c 'import resource, subprocess, sys, time
start = time.perf_counter()
subprocess.run(sys.argv[2:], check=True, cwd=sys.argv[1], stdout=subprocess.DEVNULL)
print("%.3f %d" % (time.perf_counter() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))' "$out" "$@"
}

out=$work/out
spoolmap_args() {  # table: sets args
  args=(-o init -l "$1,geom" -f spoolmap -D "$database" -s "postgresql://$host:$port" -u "$user" -p "$password")
}

mkdir -p "$out"
if [ ${#rss_sizes[@]} -gt 0 ]; then
  for kind in "${kinds[@]}"; do
    spoolmap_args "features_$kind"
    for round in $(seq 1 "$rounds"); do
      rm -rf "$out" && mkdir -p "$out"
      echo "$kind $(measure "$SPOOLMAP" "${args[@]}")"
    done
  done | /usr/bin/python3 -c 'import collections, sys
rss = collections.defaultdict(int)
for line in sys.stdin:
    kind, _, kib = line.split()
    rss[kind] = max(rss[kind], int(kib))
small, large = rss.values()
print("\nspoolmap peak RSS from PostGIS, points: %s rows %.1f MB, %s rows %.1f MB; "
      "the larger %+.1f%%" % (sys.argv[1], small / 1024, sys.argv[2], large / 1024,
                              100.0 * (large - small) / small))' "${rss_sizes[@]}"
  exit 0
fi

tools=(pgsql2shp ogr2ogr libpq_scan)
spoolmap_args features_points
if probe=$(cd "$out" && "$SPOOLMAP" "${args[@]}" 2>&1); then
  tools+=(spoolmap)
else
  spoolmap_note="not available: $(echo "$probe" | tr -s '\n ' ' ')"
fi
baseline=${BASELINE:+$(realpath "$BASELINE")}
[ -z "$baseline" ] || tools+=(baseline)

run_tool() {  # tool table
  local columns
  rm -rf "$out" && mkdir -p "$out"
  case "$1" in
    pgsql2shp) measure pgsql2shp -f pgsql2shp -h "$host" -p "$port" -u "$user" -P "$password" "$database" "$2" ;;
    ogr2ogr) measure ogr2ogr -f "ESRI Shapefile" -lco ENCODING=UTF-8 ogr2ogr.shp "PG:$conninfo" "$2" ;;
    libpq_scan)
      columns=$(admin -d "$database" -c "SELECT string_agg(quote_ident(column_name), ', ' ORDER BY
        ordinal_position) FROM information_schema.columns WHERE table_name = '$2' AND column_name <> 'geom'")
      measure "$scan" "$conninfo" "SELECT $columns, ST_AsBinary(geom) FROM $2" ;;
    spoolmap) spoolmap_args "$2" && measure "$SPOOLMAP" "${args[@]}" ;;
    baseline) spoolmap_args "$2" && measure "$baseline" "${args[@]}" ;;
  esac
}

results=$work/results
for round in $(seq 1 "$rounds"); do
  echo "== Round $round of $rounds"
  for kind in "${kinds[@]}"; do
    for tool in "${tools[@]}"; do
      measured=$(run_tool "$tool" "features_$kind")  # a failing tool ends the run
      echo "$kind $tool $measured" >>"$results"
    done
  done
done

echo
echo "PostGIS unload, $rows rows a table, median of $rounds (PostgreSQL $(admin -d "$database" -c 'SHOW server_version'), PostGIS $(admin -d "$database" -c 'SELECT postgis_lib_version()'))"
/usr/bin/python3 - "$results" "$rows" "${spoolmap_note:-}" <<'EOF'
import collections, statistics, sys
path, rows, note = sys.argv[1], int(sys.argv[2]), sys.argv[3]
seconds, rss = collections.defaultdict(list), collections.defaultdict(int)
for line in open(path):
    kind, tool, s, kib = line.split()
    seconds[kind, tool].append(float(s))
    rss[kind, tool] = max(rss[kind, tool], int(kib))
for kind in dict.fromkeys(k for k, _ in seconds):
    print()
    print("%-10s %-11s %9s %12s %12s" % (kind, "tool", "seconds", "rows/s", "peak RSS MB"))
    median = {t: statistics.median(v) for (k, t), v in seconds.items() if k == kind}
    for tool, s in median.items():
        print("%-10s %-11s %9.3f %12.0f %12.1f" % ("", tool, s, rows / s, rss[kind, tool] / 1024))
    if note:
        print("%-10s %-11s %s" % ("", "spoolmap", note))
    else:
        print("%-10s spoolmap: %.2fx faster than pgsql2shp, %.2fx the bare scan's time" % (
            "", median["pgsql2shp"] / median["spoolmap"], median["spoolmap"] / median["libpq_scan"]))
    if "baseline" in median and "spoolmap" in median:
        print("%-10s baseline / spoolmap %.2fx" % ("", median["baseline"] / median["spoolmap"]))
EOF
