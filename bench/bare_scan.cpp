// The floor an unload is measured against: one read-only pass of
// "SELECT * FROM <table>" with the sqlite3 C API, every value of every row
// touched (integers and doubles summed, the bytes of texts and blobs counted
// and their first and last bytes read), and nothing else. It does what any
// unload of the table cannot avoid, so spoolmap's time divided by this one is
// what the rest of spoolmap costs.
//
//   bare_scan DATABASE [TABLE [SQL ...]]
//
// TABLE defaults to "features"; each further argument is run before the scan
// (for example "PRAGMA mmap_size = 268435456"), so read settings can be tried
// here first. Prints the row count and a checksum of what it touched, which
// also keeps the compiler from dropping the work. Exit status 1 on any error.

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

struct ScanTotals {
    int64_t rows = 0;
    uint64_t integers = 0;  // wraps: a checksum, not a total
    double reals = 0;
    int64_t bytes = 0;
    uint64_t edge_bytes = 0;  // sum of the first and last byte of each text and blob
};

int fail(sqlite3* db, const char* what) {
    std::fprintf(stderr, "bare_scan: %s: %s\n", what, db != nullptr ? sqlite3_errmsg(db) : "");
    sqlite3_close(db);
    return 1;
}

void touch_bytes(const unsigned char* data, int length, ScanTotals& totals) {
    totals.bytes += length;
    if (length > 0) {
        totals.edge_bytes += data[0] + data[length - 1];
    }
}

void touch_row(sqlite3_stmt* statement, int columns, ScanTotals& totals) {
    for (int i = 0; i < columns; ++i) {
        switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
                totals.integers += static_cast<uint64_t>(sqlite3_column_int64(statement, i));
                break;
            case SQLITE_FLOAT:
                totals.reals += sqlite3_column_double(statement, i);
                break;
            case SQLITE_TEXT:
                touch_bytes(sqlite3_column_text(statement, i), sqlite3_column_bytes(statement, i),
                            totals);
                break;
            case SQLITE_BLOB:
                touch_bytes(static_cast<const unsigned char*>(sqlite3_column_blob(statement, i)),
                            sqlite3_column_bytes(statement, i), totals);
                break;
            default:
                break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_scan DATABASE [TABLE [SQL ...]]\n");
        return 1;
    }
    const std::string table = argc > 2 ? argv[2] : "features";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        return fail(db, argv[1]);
    }
    for (int i = 3; i < argc; ++i) {
        if (sqlite3_exec(db, argv[i], nullptr, nullptr, nullptr) != SQLITE_OK) {
            return fail(db, argv[i]);
        }
    }
    const std::string sql = "SELECT * FROM \"" + table + "\"";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        return fail(db, sql.c_str());
    }
    const int columns = sqlite3_column_count(statement);
    ScanTotals totals;
    int status;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
        touch_row(statement, columns, totals);
        ++totals.rows;
    }
    sqlite3_finalize(statement);
    if (status != SQLITE_DONE) {
        return fail(db, sql.c_str());
    }
    sqlite3_close(db);
    std::printf("%lld rows, %lld text and blob bytes, checksum %llu %llu %.6g\n",
                static_cast<long long>(totals.rows), static_cast<long long>(totals.bytes),
                static_cast<unsigned long long>(totals.edge_bytes),
                static_cast<unsigned long long>(totals.integers), totals.reals);
    return 0;
}
