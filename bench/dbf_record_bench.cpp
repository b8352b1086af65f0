// Attribute record speed: the per-row cost of format_dbf_record over a
// typical mix of fields (texts, integers, decimals, a float, a date, a
// logical), alone on one fetched row, together with the fetch of the row's
// values, and the run's whole row loop over the table (null shapes, so that
// the attribute side is what is measured).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "db/client.h"
#include "db/descriptor_items.h"
#include "db/row_values.h"
#include "db/table_columns.h"
#include "run/row_loop.h"

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

constexpr char kStatement[] = "selstmt2";
constexpr char kDescriptor[] = "seldesc2";
constexpr char kCursor[] = "selcurs";

struct Unload {
    std::unique_ptr<RunState> run = std::make_unique<RunState>();
    char record[kWorkBufferBytes] = {};

    explicit Unload(const std::string& path) {
        osl_connect(path.c_str(), nullptr);
        build_field_table({"parcels", "geom"}, record, sizeof record, run->fields, run->dbf_header);
        std::string query = "SELECT ";
        for (int32_t i = 0; i < run->fields.field_count; ++i) {
            query += std::string(run->fields.column_name[i]) + ", ";
        }
        query += "GX_AsShape(geom) FROM parcels";
        osl_prepare(kStatement, query.c_str());
        osl_allocate_descriptor(kDescriptor, run->fields.field_count + 1);
        osl_describe(kStatement, kDescriptor);
        const OslItemSetting shape_settings[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                                 {OSL_ITEM_VAR_BY_LIBRARY, 1}};
        osl_set_descriptor_items(kDescriptor, run->fields.field_count + 1, shape_settings, 2);
        prepare_field_formats(run->fields, run->dbf_header.record_length, kDescriptor,
                              run->record_formats, run->row);
        open();
    }
    ~Unload() {
        osl_close_cursor(kCursor);
        osl_free_cursor(kCursor);
        free_field_formats(run->record_formats, run->row);
        free_field_table(run->fields);
        osl_disconnect_current();
    }
    void open() {
        osl_declare_cursor(kCursor, kStatement);
        osl_open_cursor(kCursor);
    }
    void next_row() {
        if (osl_fetch(kCursor, kDescriptor) != 0) {
            osl_close_cursor(kCursor);
            osl_free_cursor(kCursor);
            open();
            osl_fetch(kCursor, kDescriptor);
        }
        fetch_row_values(kDescriptor, run->record_formats, run->row);
    }
    int32_t format() {
        return format_dbf_record(run->record_formats, run->row.values, record, run->row.cut_counts);
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
        benchmark::DoNotOptimize(unload.format());
        benchmark::DoNotOptimize(unload.record[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatRecordOnly);

void BM_FetchAndFormatRecord(benchmark::State& state) {
    Unload unload(database());
    for (auto _ : state) {
        unload.next_row();
        benchmark::DoNotOptimize(unload.format());
        benchmark::DoNotOptimize(unload.record[0]);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_FetchAndFormatRecord);

// The whole loop over every row of the table, as the run calls it, into
// files of the scratch directory rewound for each pass.
void BM_RowLoop(benchmark::State& state) {
    Unload unload(database());
    FileSet files;
    for (SetFile* file : {&files.shp, &files.shx, &files.dbf}) {
        file->stream = std::tmpfile();
    }
    const RowSource source = {kCursor, kDescriptor, unload.run->fields.field_count + 1, nullptr,
                              nullptr};
    // The loop's progress lines go where nobody reads them.
    std::fflush(stdout);
    int console = dup(STDOUT_FILENO);
    int null_device = open("/dev/null", O_WRONLY);
    dup2(null_device, STDOUT_FILENO);
    for (auto _ : state) {
        for (SetFile* file : {&files.shp, &files.shx, &files.dbf}) {
            std::rewind(file->stream);
        }
        unload.run->shapes = ShapeTally{};
        int64_t dbf_position = unload.run->dbf_header.header_length;
        ProgressMeter meter;
        unload_row_loop(source, *unload.run, files, dbf_position, meter);
        osl_close_cursor(kCursor);
        osl_free_cursor(kCursor);
        unload.open();
    }
    std::fflush(stdout);
    dup2(console, STDOUT_FILENO);
    close(console);
    close(null_device);
    state.SetItemsProcessed(state.iterations() * kRows);
    for (SetFile* file : {&files.shp, &files.shx, &files.dbf}) {
        std::fclose(file->stream);
    }
}
BENCHMARK(BM_RowLoop)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
