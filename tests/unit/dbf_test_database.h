// Small native databases for the attribute-table tests: a SQLite file with the
// spatial extension's catalog tables and the statements a test gives, opened
// through the client library as the run opens its database.

#ifndef SPOOLMAP_TESTS_DBF_TEST_DATABASE_H
#define SPOOLMAP_TESTS_DBF_TEST_DATABASE_H

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "db/client.h"

// A scratch directory removed with its files when the value goes.
struct ScratchDirectory {
    std::string path;
    ScratchDirectory() {
        char name[] = "/tmp/spoolmap-dbf-XXXXXX";
        path = mkdtemp(name) != nullptr ? name : "";
    }
    ~ScratchDirectory() {
        if (!path.empty()) {
            std::string command = "rm -rf '" + path + "'";
            EXPECT_EQ(std::system(command.c_str()), 0);
        }
    }
    std::string file(const char* name) const { return path + "/" + name; }
};

// Writes a native database at path: the catalog tables, then each statement.
inline void write_native_database(const std::string& path, const std::vector<std::string>& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::vector<std::string> all = {
        "CREATE TABLE geometry_columns (f_table_name TEXT, f_geometry_column TEXT, srid INTEGER)",
        "CREATE TABLE spatial_references (srid INTEGER, srtext TEXT)",
        "INSERT INTO spatial_references VALUES (0, 'UNKNOWN')"};
    all.insert(all.end(), sql.begin(), sql.end());
    for (const std::string& statement : all) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << statement << ": " << (error != nullptr ? error : "");
        sqlite3_free(error);
    }
    sqlite3_close(db);
}

// Connects the client library to the database for the life of the value.
struct Connection {
    explicit Connection(const std::string& path) {
        EXPECT_EQ(osl_connect(path.c_str(), nullptr), 0) << path;
    }
    ~Connection() { osl_disconnect_current(); }
};

#endif
