// Number texts of .dbf fields: snprintf with the field's format, as records
// are made today, against the printf-free writers of number_text.h, over
// values like the benchmark tables' (areas and ratios, small and large
// integers). Each iteration writes one field.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "dbf/number_text.h"

namespace {

constexpr size_t kValues = 4096;  // a power of two: the index wraps with a mask
constexpr int32_t kExponentWidth = 24;
constexpr int32_t kSmallIntegerWidth = 6;
constexpr int32_t kBigIntegerWidth = 21;
constexpr int kFieldBytes = 256;

std::vector<double> sample_doubles() {
    std::mt19937_64 random(13);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> values(kValues);
    for (size_t i = 0; i < kValues; ++i) {
        values[i] = unit(random) * std::pow(10.0, static_cast<int>(i % 9) - 1);
    }
    return values;
}

// The values of a SMALLINT column for a field of width 6, else those of a
// 64-bit INTEGER column (populations, identifiers).
std::vector<int64_t> sample_integers(int32_t width) {
    bool small = width == kSmallIntegerWidth;
    std::mt19937_64 random(13);
    std::uniform_int_distribution<int64_t> draw(small ? INT16_MIN : 0,
                                                small ? INT16_MAX : 20000000);
    std::vector<int64_t> values(kValues);
    for (int64_t& value : values) {
        value = draw(random);
    }
    return values;
}

// One field written per iteration: write(field, value) for the values in turn.
template <typename Value, typename Write>
void write_fields(benchmark::State& state, const std::vector<Value>& values, Write write) {
    char field[kFieldBytes];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(write(field, values[i++ & (kValues - 1)]));
        benchmark::DoNotOptimize(field);
    }
}

void BM_ExponentSnprintf(benchmark::State& state) {
    write_fields(state, sample_doubles(), [](char* field, double value) {
        return std::snprintf(field, kFieldBytes, "%24.16e", value);
    });
}
BENCHMARK(BM_ExponentSnprintf);

void BM_ExponentToChars(benchmark::State& state) {
    write_fields(state, sample_doubles(), [](char* field, double value) {
        return write_exponent_text(field, kExponentWidth, value, kExactFractionDigits);
    });
}
BENCHMARK(BM_ExponentToChars);

// Argument: the field width.
void BM_IntegerSnprintf(benchmark::State& state) {
    int32_t width = static_cast<int32_t>(state.range(0));
    // Made once, as the record formatter makes each field's format.
    char format[16];
    std::snprintf(format, sizeof format, "%%%dlld", width);
    write_fields(state, sample_integers(width), [&format](char* field, int64_t value) {
        return std::snprintf(field, kFieldBytes, format, static_cast<long long>(value));
    });
}
BENCHMARK(BM_IntegerSnprintf)->Arg(kSmallIntegerWidth)->Arg(kBigIntegerWidth);

void BM_IntegerToChars(benchmark::State& state) {
    int32_t width = static_cast<int32_t>(state.range(0));
    write_fields(state, sample_integers(width), [width](char* field, int64_t value) {
        return write_integer_text(field, width, value);
    });
}
BENCHMARK(BM_IntegerToChars)->Arg(kSmallIntegerWidth)->Arg(kBigIntegerWidth);

}  // namespace

BENCHMARK_MAIN();
