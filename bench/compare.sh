#!/bin/bash
# spoolmap's speed against ogr2ogr (the peer) and a bare SQLite scan of the
# same table (the floor), on GeoPackages of points and of polygons:
#
#   bash bench/compare.sh [rows]           times, median of 3 (default 1000000 rows)
#   bash bench/compare.sh --rss [small large]   peak RSS at two sizes (100000, 5000000)
#   bash bench/compare.sh --profile [rows] perf profile of the points run
#
# BASELINE=/path/to/an/older/spoolmap adds that binary to the same run (and
# checks that both write the same bytes; with --profile, profiles it first);
# RUNS changes the count of runs;
# BENCH_DATA the folder of the generated tables (default build/bench-data,
# kept between runs). spoolmap and the scan are built in build-bench
# (RelWithDebInfo, no sanitizers). Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=times
case "${1:-}" in
  --rss) mode=rss; shift ;;
  --profile) mode=profile; shift ;;
esac
if [ "$mode" = rss ]; then
  sizes=("${1:-100000}" "${2:-5000000}")
else
  sizes=("${1:-1000000}")
fi
data=${BENCH_DATA:-build/bench-data}
build=build-bench

if ! command -v ogr2ogr >/dev/null || ! command -v cmake >/dev/null ||
   ! command -v clang++ >/dev/null; then
  bash scripts/install-deps.sh
fi
if [ "$mode" = profile ] && ! command -v perf >/dev/null; then
  echo "compare: perf is not installed (Debian package linux-perf)" >&2
  exit 1
fi

echo "== Building spoolmap and bare_scan in $build (RelWithDebInfo)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)" --target spoolmap bare_scan >/dev/null

for rows in "${sizes[@]}"; do
  /usr/bin/python3 bench/make_tables.py "$data" "$rows"
done

baseline=()
if [ -n "${BASELINE:-}" ]; then
  baseline=(--baseline "$(realpath "$BASELINE")")
fi
compare=(/usr/bin/python3 bench/compare.py)
case "$mode" in
  times)
    echo "== Timing (median of ${RUNS:-3}, interleaved; load average $(cut -d' ' -f1-3 /proc/loadavg))"
    "${compare[@]}" times --spoolmap "$build/spoolmap" --scan "$build/bench/bare_scan" \
      "${baseline[@]}" --runs "${RUNS:-3}" "$data" "${sizes[0]}"
    ;;
  rss)
    "${compare[@]}" rss --spoolmap "$build/spoolmap" "${baseline[@]}" "$data" "${sizes[@]}"
    ;;
  profile)
    if [ -n "${BASELINE:-}" ]; then
      echo "== The baseline"
      "${compare[@]}" profile --spoolmap "$(realpath "$BASELINE")" "$data" "${sizes[0]}" \
        "$build/perf-points-${sizes[0]}-baseline.data"
      echo "== This spoolmap"
    fi
    "${compare[@]}" profile --spoolmap "$build/spoolmap" "$data" "${sizes[0]}" \
      "$build/perf-points-${sizes[0]}.data"
    ;;
esac
