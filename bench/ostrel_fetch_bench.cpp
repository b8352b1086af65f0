// Fetching 1,000,000 rows of ten attribute columns through the client
// library, against a bare sqlite3_step loop that reads the same values
// straight from SQLite. The library's per-row path (fetch, descriptor reads,
// value conversion) should cost at most 1.5 times the bare loop; the ratio is
// printed after the runs.
//
//   cmake --build build --target ostrel_fetch_bench &&
//   ./build/bench/ostrel_fetch_bench --benchmark_repetitions=5

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "ostrel/ostrel.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kColumns = 10;
const char* const kDatabase = "/tmp/ostrel_fetch_bench_1m.db";
const char* const kQuery =
    "SELECT name, code, counter, small, id, value, price, day, flag, note FROM t";

// The same column set a typical attribute table has: texts, integers of
// three sizes, a double, a decimal, a date and a boolean.
const char* const kCreate =
    "CREATE TABLE t (name TEXT(40), code CHAR(8), counter MEDIUMINT, small SMALLINT, "
    "id INTEGER, value DOUBLE, price DECIMAL(10,2), day DATE, flag BOOLEAN, note TEXT)";

bool database_ready() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(kDatabase, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_stmt* stmt = nullptr;
    bool ready =
        sqlite3_prepare_v2(db, "SELECT count(*) FROM t", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) == kRows;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return ready;
}

void build_database() {
    if (database_ready()) {
        return;
    }
    std::remove(kDatabase);
    sqlite3* db = nullptr;
    sqlite3_open(kDatabase, &db);
    sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert,
                       nullptr);
    uint64_t seed = 88172645463325252ULL;
    char text[64];
    for (int row = 0; row < kRows; ++row) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        std::snprintf(text, sizeof text, "Street %d of district %d", row,
                      static_cast<int>(seed % 97));
        sqlite3_bind_text(insert, 1, text, -1, SQLITE_TRANSIENT);
        std::snprintf(text, sizeof text, "C%06d", static_cast<int>(seed % 1000000));
        sqlite3_bind_text(insert, 2, text, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 3, static_cast<int>(seed % 2000000000));
        sqlite3_bind_int(insert, 4, static_cast<int>(seed % 30000));
        sqlite3_bind_int64(insert, 5, static_cast<int64_t>(seed >> 2));
        sqlite3_bind_double(insert, 6, static_cast<double>(seed % 1000000) / 7.0);
        sqlite3_bind_double(insert, 7, static_cast<double>(seed % 10000000) / 100.0);
        std::snprintf(text, sizeof text, "20%02d-%02d-%02d", static_cast<int>(seed % 30),
                      static_cast<int>(seed % 12) + 1, static_cast<int>(seed % 28) + 1);
        sqlite3_bind_text(insert, 8, text, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 9, static_cast<int>(seed & 1));
        if (seed % 5 == 0) {
            sqlite3_bind_null(insert, 10);
        } else {
            sqlite3_bind_text(insert, 10, "a note of moderate length", -1, SQLITE_STATIC);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// The bare loop: each value read once with the matching SQLite accessor,
// texts copied into a buffer as the library copies them into the caller's.
void BM_BareSqliteStep(benchmark::State& state) {
    build_database();
    // Opened as the library opens it: read-only, without SQLite's locking.
    sqlite3* db = nullptr;
    sqlite3_open_v2(kDatabase, &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr);
    char buffer[256];
    for (auto _ : state) {
        int64_t rows = 0;
        int64_t sum = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < kColumns; ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                    case SQLITE_INTEGER:
                        sum += sqlite3_column_int64(stmt, c);
                        break;
                    case SQLITE_FLOAT:
                        sum += static_cast<int64_t>(sqlite3_column_double(stmt, c));
                        break;
                    case SQLITE_TEXT: {
                        int length = sqlite3_column_bytes(stmt, c);
                        std::memcpy(buffer, sqlite3_column_text(stmt, c),
                                    static_cast<size_t>(length) + 1);
                        sum += buffer[0];
                        break;
                    }
                    default:
                        break;
                }
            }
            ++rows;
        }
        sqlite3_reset(stmt);
        benchmark::DoNotOptimize(sum);
        state.counters["rows/s"] = benchmark::Counter(
            static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

// The host variable an item's TYPE is read into.
struct HostSet {
    char text[256];
    int32_t integer = 0;
    double number = 0;
    OslDecimal decimal;
    OslDate date = 0;
};

OslHostValue host_for(int type, HostSet& h) {
    switch (type) {
        case OSL_SQL_SMALLINT:
        case OSL_SQL_INTEGER:
            return {OSL_HOST_INT32, &h.integer, sizeof h.integer};
        case OSL_SQL_FLOAT:
            return {OSL_HOST_DOUBLE, &h.number, sizeof h.number};
        case OSL_SQL_DECIMAL:
            return {OSL_HOST_DECIMAL, &h.decimal, sizeof h.decimal};
        case OSL_SQL_DATE:
            return {OSL_HOST_DATE, &h.date, sizeof h.date};
        default:
            return {OSL_HOST_CSTRING, h.text, sizeof h.text};
    }
}

int32_t item_type(int item) {
    int32_t type = 0;
    OslItemRequest request = {OSL_ITEM_TYPE, {OSL_HOST_INT32, &type, sizeof type}};
    osl_get_descriptor_items("seldesc2", item, &request, 1);
    return type;
}

bool open_library(benchmark::State& state) {
    build_database();
    if (osl_connect(kDatabase, nullptr) != 0 || osl_prepare("selstmt2", kQuery) != 0 ||
        osl_allocate_descriptor("seldesc2", kColumns) != 0 ||
        osl_describe("selstmt2", "seldesc2") != 0 ||
        osl_declare_cursor("selcurs", "selstmt2") != 0) {
        state.SkipWithError("the library cannot open the benchmark database");
        return false;
    }
    return true;
}

void close_library() {
    osl_free_cursor("selcurs");
    osl_free_statement("selstmt2");
    osl_deallocate_descriptor("seldesc2");
    osl_disconnect_current();
}

// Through the library with one descriptor read per item and row (INDICATOR
// and DATA), each item's host type chosen once from its described TYPE.
void BM_LibraryFetch(benchmark::State& state) {
    if (!open_library(state)) {
        return;
    }
    HostSet h;
    OslHostValue hosts[kColumns];
    for (int item = 1; item <= kColumns; ++item) {
        hosts[item - 1] = host_for(item_type(item), h);
    }
    for (auto _ : state) {
        osl_open_cursor("selcurs");
        int64_t rows = 0;
        int64_t sum = 0;
        while (osl_fetch("selcurs", "seldesc2") == 0) {
            for (int item = 1; item <= kColumns; ++item) {
                int16_t indicator = 0;
                OslItemRequest read[] = {
                    {OSL_ITEM_INDICATOR, {OSL_HOST_INT16, &indicator, sizeof indicator}},
                    {OSL_ITEM_DATA, hosts[item - 1]}};
                if (osl_get_descriptor_items("seldesc2", item, read, 2) != 0) {
                    state.SkipWithError("a value was refused");
                    return;
                }
                sum += indicator;
            }
            sum += h.integer + h.date + h.text[0];
            ++rows;
        }
        osl_close_cursor("selcurs");
        benchmark::DoNotOptimize(sum);
        state.counters["rows/s"] = benchmark::Counter(
            static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
    }
    close_library();
}

// As the record formatter reads a row: per item one request for TYPE,
// LENGTH, PRECISION and SCALE and then one for INDICATOR and DATA.
void BM_LibraryFetchTypeEachRow(benchmark::State& state) {
    if (!open_library(state)) {
        return;
    }
    HostSet h;
    for (auto _ : state) {
        osl_open_cursor("selcurs");
        int64_t rows = 0;
        int64_t sum = 0;
        while (osl_fetch("selcurs", "seldesc2") == 0) {
            for (int item = 1; item <= kColumns; ++item) {
                int32_t type = 0, length = 0, precision = 0, scale = 0;
                OslItemRequest describe[] = {
                    {OSL_ITEM_TYPE, {OSL_HOST_INT32, &type, sizeof type}},
                    {OSL_ITEM_LENGTH, {OSL_HOST_INT32, &length, sizeof length}},
                    {OSL_ITEM_PRECISION, {OSL_HOST_INT32, &precision, sizeof precision}},
                    {OSL_ITEM_SCALE, {OSL_HOST_INT32, &scale, sizeof scale}}};
                osl_get_descriptor_items("seldesc2", item, describe, 4);
                int16_t indicator = 0;
                OslItemRequest read[] = {
                    {OSL_ITEM_INDICATOR, {OSL_HOST_INT16, &indicator, sizeof indicator}},
                    {OSL_ITEM_DATA, host_for(type, h)}};
                if (osl_get_descriptor_items("seldesc2", item, read, 2) != 0) {
                    state.SkipWithError("a value was refused");
                    return;
                }
                sum += indicator;
            }
            sum += h.integer + h.date + h.text[0];
            ++rows;
        }
        osl_close_cursor("selcurs");
        benchmark::DoNotOptimize(sum);
        state.counters["rows/s"] = benchmark::Counter(
            static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
    }
    close_library();
}

BENCHMARK(BM_BareSqliteStep)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LibraryFetch)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LibraryFetchTypeEachRow)->Unit(benchmark::kMillisecond)->Iterations(3);

// Prints the runs as usual and then each library benchmark's CPU time as a
// multiple of the bare loop's (CPU time, since the machine may be shared).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the fastest repetition counts: on a
        // shared machine the others measure the neighbours as well.
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) {
                continue;
            }
            double time = run.GetAdjustedCPUTime();
            auto known = times_.find(run.run_name.function_name);
            if (known == times_.end() || time < known->second) {
                times_[run.run_name.function_name] = time;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto bare = times_.find("BM_BareSqliteStep");
        if (bare == times_.end() || bare->second <= 0) {
            return;
        }
        for (const char* name : {"BM_LibraryFetch", "BM_LibraryFetchTypeEachRow"}) {
            auto library = times_.find(name);
            if (library != times_.end()) {
                std::printf("%s / bare sqlite3_step loop, CPU time ratio: %.2f\n", name,
                            library->second / bare->second);
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
