// Attribute record speed: the per-row cost of format_dbf_record over a
// typical mix of fields (texts, integers, decimals, a float, a date, a
// logical), alone on one fetched row and together with the fetch.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "db/client.h"
#include "dbf/column_catalogue.h"
#include "dbf/dbf_record.h"
#include "run/command_line.h"
#include "run/run_state.h"

namespace {

constexpr int kRows = 20000;

std::string make_database() {
    char directory[] = "/tmp/spoolmap-bench-XXXXXX";
    std::string path = std::string(mkdtemp(directory)) + "/bench.db";
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE geometry_columns (f_table_name TEXT, f_geometry_column TEXT, "
                 "srid INTEGER);"
                 "CREATE TABLE spatial_references (srid INTEGER, srtext TEXT);"
                 "INSERT INTO geometry_columns VALUES ('parcels', 'geom', 0);"
                 "CREATE TABLE parcels (fid INTEGER PRIMARY KEY, name VARCHAR(40), "
                 "kind CHAR(10), lanes MEDIUMINT, code SMALLINT, area DECIMAL(16,2), "
                 "price MONEY(8,2), ratio FLOAT, born DATE, ok BOOLEAN, note TEXT, geom BLOB);"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                 "INSERT INTO parcels SELECT i, 'Parcel number ' || i, 'lot', i % 7, i % 300, "
                 "i * 12.34, i % 1000 + 0.99, i / 7.0, '2024-01-01', i % 2, "
                 "'a longer free text that runs on for a while ' || i, NULL FROM n;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

struct Unload {
    RunSettings settings;
    std::unique_ptr<RunState> run = std::make_unique<RunState>();

    explicit Unload(const std::string& path) {
        osl_connect(path.c_str(), nullptr);
        settings.table_name = "parcels";
        settings.column_name = "geom";
        build_field_table(settings, *run);
        std::string query = "SELECT ";
        for (int32_t i = 0; i < run->fields.field_count; ++i) {
            query += std::string(run->fields.column_name[i]) + ", ";
        }
        query += "geom FROM parcels";
        osl_prepare(kUnloadStatement, query.c_str());
        osl_allocate_descriptor(kUnloadDescriptor, run->fields.field_count + 1);
        osl_describe(kUnloadStatement, kUnloadDescriptor);
        prepare_field_formats(*run);
        open();
    }
    ~Unload() {
        osl_close_cursor(kUnloadCursor);
        osl_free_cursor(kUnloadCursor);
        free_field_formats(*run);
        free_field_table(run->fields);
        osl_disconnect_current();
    }
    void open() {
        osl_declare_cursor(kUnloadCursor, kUnloadStatement);
        osl_open_cursor(kUnloadCursor);
    }
    void next_row() {
        if (osl_fetch(kUnloadCursor, kUnloadDescriptor) != 0) {
            osl_close_cursor(kUnloadCursor);
            osl_free_cursor(kUnloadCursor);
            open();
            osl_fetch(kUnloadCursor, kUnloadDescriptor);
        }
    }
};

const std::string& database() {
    static const std::string path = make_database();
    return path;
}

void BM_FormatRecordOnly(benchmark::State& state) {
    Unload unload(database());
    unload.next_row();
    for (auto _ : state) {
        format_dbf_record(*unload.run);
        benchmark::DoNotOptimize(unload.run->work_buffer[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatRecordOnly);

void BM_FetchAndFormatRecord(benchmark::State& state) {
    Unload unload(database());
    for (auto _ : state) {
        unload.next_row();
        format_dbf_record(*unload.run);
        benchmark::DoNotOptimize(unload.run->work_buffer[0]);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_FetchAndFormatRecord);

}  // namespace

BENCHMARK_MAIN();
