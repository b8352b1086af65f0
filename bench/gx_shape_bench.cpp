// Speed of the geometry converter against a plain memcpy of the same output
// bytes: a point, a 10-vertex line, a 12-vertex polygon with a hole (rings as
// OGC writes them, so both are turned, and as shapefiles want them, so none
// is), and a 1000-vertex ring for the cost per point. Reports output MB/s;
// the copy/* runs are the memcpy of the same output bytes to compare with.
//
//   build/bench/gx_shape_bench --benchmark_min_time=1

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gx/gx_shape.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put_u32(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void put_points(Bytes& bytes, std::initializer_list<double> values) {
    put_u32(bytes, static_cast<uint32_t>(values.size() / 2));
    for (double value : values) {
        uint8_t raw[8];
        std::memcpy(raw, &value, 8);
        bytes.insert(bytes.end(), raw, raw + 8);
    }
}

Bytes wkb_header(uint32_t type) {
    Bytes bytes = {1};
    put_u32(bytes, type);
    return bytes;
}

Bytes point() {
    Bytes bytes = wkb_header(1);
    bytes.resize(bytes.size() + 16);
    double xy[2] = {512345.25, 6123456.75};
    std::memcpy(bytes.data() + 5, xy, 16);
    return bytes;
}

Bytes line() {
    Bytes bytes = wkb_header(2);
    put_points(bytes, {0, 0, 1, 2, 2, 1, 3, 3, 4, 2, 5, 5, 6, 4, 7, 6, 8, 5, 9, 9});
    return bytes;
}

// Seven vertices outside (a closed hexagon), five in the hole (a closed square).
Bytes polygon(bool shapefile_order) {
    Bytes bytes = wkb_header(3);
    put_u32(bytes, 2);
    if (shapefile_order) {
        put_points(bytes, {0, 0, 0, 6, 5, 9, 10, 6, 10, 0, 5, -3, 0, 0});
        put_points(bytes, {3, 2, 6, 2, 6, 5, 3, 5, 3, 2});
    } else {
        put_points(bytes, {0, 0, 5, -3, 10, 0, 10, 6, 5, 9, 0, 6, 0, 0});
        put_points(bytes, {3, 2, 3, 5, 6, 5, 6, 2, 3, 2});
    }
    return bytes;
}

// A ring of many vertices, counter-clockwise: the per-point cost without the
// per-call one.
Bytes big_polygon(uint32_t vertices) {
    Bytes bytes = wkb_header(3);
    put_u32(bytes, 1);
    put_u32(bytes, vertices + 1);
    for (uint32_t i = 0; i <= vertices; ++i) {
        double angle = 2 * 3.141592653589793 * (i % vertices) / vertices;
        double xy[2] = {500000 + 1000 * std::cos(angle), 6000000 + 1000 * std::sin(angle)};
        uint8_t raw[16];
        std::memcpy(raw, xy, 16);
        bytes.insert(bytes.end(), raw, raw + 16);
    }
    return bytes;
}

void convert(benchmark::State& state, const Bytes& in) {
    GxBuffer buffer;
    GxGeometryType type;
    GxError error;
    for (auto _ : state) {
        bool ok = gx_geometry_to_shape(in.data(), in.size(), GxBlobFormats::kStandard, buffer, type,
                                       error);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(buffer.data);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.length));
    state.counters["shape_bytes"] = static_cast<double>(buffer.length);
    gx_buffer_free(buffer);
}

// memcpy of as many bytes as the converter writes for the same input.
void copy(benchmark::State& state, const Bytes& in) {
    GxBuffer shape;
    GxGeometryType type;
    GxError error;
    gx_geometry_to_shape(in.data(), in.size(), GxBlobFormats::kStandard, shape, type, error);
    Bytes destination(shape.length);
    size_t length = shape.length;
    for (auto _ : state) {
        benchmark::DoNotOptimize(length);
        std::memcpy(destination.data(), shape.data, length);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
    gx_buffer_free(shape);
}

}  // namespace

BENCHMARK_CAPTURE(convert, point, point());
BENCHMARK_CAPTURE(copy, point, point());
BENCHMARK_CAPTURE(convert, line_10, line());
BENCHMARK_CAPTURE(copy, line_10, line());
BENCHMARK_CAPTURE(convert, polygon_12_hole_turned, polygon(false));
BENCHMARK_CAPTURE(convert, polygon_12_hole_in_order, polygon(true));
BENCHMARK_CAPTURE(copy, polygon_12_hole, polygon(true));
BENCHMARK_CAPTURE(convert, polygon_1000_turned, big_polygon(1000));
BENCHMARK_CAPTURE(copy, polygon_1000, big_polygon(1000));

BENCHMARK_MAIN();
