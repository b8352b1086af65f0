// Throughput of the per-row shape path: checking a shape against its layout,
// reading its bounds, framing its record and index entry, and writing them
// as the run does.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
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

// Records framed and written to temporary files; the tally is reset before
// the file would pass the size limit.
static void BM_WriteShapeRecord(benchmark::State& state) {
    std::vector<uint8_t> bytes = polyline(static_cast<int>(state.range(0)), 4);
    ShapeBuffer shape{bytes.data(), static_cast<int32_t>(bytes.size())};
    ShapeTally tally;
    tally.shp_offset = kMainHeaderBytes;
    FILE* shp = std::tmpfile();
    FILE* shx = std::tmpfile();
    ShapeRecordFrame frame;
    for (auto _ : state) {
        if (tally.shp_offset > (1 << 28)) {
            state.PauseTiming();
            std::rewind(shp);
            std::rewind(shx);
            tally = ShapeTally{};
            tally.shp_offset = kMainHeaderBytes;
            state.ResumeTiming();
        }
        write_shape_record(tally, shape, "bench.shp", "bench.shx", frame);
        benchmark::DoNotOptimize(std::fwrite(frame.index_entry, 1, kIndexEntryBytes, shx));
        benchmark::DoNotOptimize(std::fwrite(frame.record_header, 1, kRecordHeaderBytes, shp));
        benchmark::DoNotOptimize(std::fwrite(shape.bytes, 1, bytes.size(), shp));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size() + 16));
    std::fclose(shp);
    std::fclose(shx);
}
BENCHMARK(BM_WriteShapeRecord)->Arg(1)->Arg(100);

BENCHMARK_MAIN();
