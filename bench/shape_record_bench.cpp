// Throughput of the per-row shape path: checking a shape against its layout,
// reading its bounds, and writing its record and index entry.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "run/run_state.h"
#include "shape/byte_order.h"
#include "shape/shape_record.h"

static std::vector<uint8_t> polyline(int parts, int points_per_part) {
    int points = parts * points_per_part;
    std::vector<uint8_t> bytes(44 + 4 * parts + 16 * points, 0);
    store_le_int32(bytes.data(), 0, 3);
    store_le_int32(bytes.data(), 36, parts);
    store_le_int32(bytes.data(), 40, points);
    for (int part = 0; part < parts; ++part) {
        store_le_int32(bytes.data(), 44 + 4 * part, part * points_per_part);
    }
    return bytes;
}

static void BM_ValidatePolyline(benchmark::State& state) {
    std::vector<uint8_t> bytes = polyline(static_cast<int>(state.range(0)), 4);
    ShapeBuffer shape{bytes.data(), static_cast<int32_t>(bytes.size())};
    ShapeLayout layout;
    char problem[kShapeProblemBytes];
    for (auto _ : state) {
        benchmark::DoNotOptimize(validate_shape(shape, layout, problem, sizeof problem));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ValidatePolyline)->Arg(1)->Arg(1000);

// Records written to a temporary file; the run state is reset before the
// file would pass the size limit.
static void BM_WriteShapeRecord(benchmark::State& state) {
    std::vector<uint8_t> bytes = polyline(static_cast<int>(state.range(0)), 4);
    ShapeBuffer shape{bytes.data(), static_cast<int32_t>(bytes.size())};
    static RunState run;
    static FileSet files;
    std::snprintf(files.shp_name, sizeof files.shp_name, "bench.shp");
    std::snprintf(files.shx_name, sizeof files.shx_name, "bench.shx");
    files.shp = std::tmpfile();
    files.shx = std::tmpfile();
    run.shp_offset = kMainHeaderBytes;
    run.record_number = 0;
    for (auto _ : state) {
        if (run.shp_offset > (1 << 28)) {
            state.PauseTiming();
            std::rewind(files.shp);
            std::rewind(files.shx);
            run.shp_offset = kMainHeaderBytes;
            run.record_number = 0;
            state.ResumeTiming();
        }
        write_shape_record(run, files, shape);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size() + 16));
    std::fclose(files.shp);
    std::fclose(files.shx);
}
BENCHMARK(BM_WriteShapeRecord)->Arg(1)->Arg(100);

BENCHMARK_MAIN();
