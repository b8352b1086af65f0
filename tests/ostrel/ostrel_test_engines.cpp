// The engines the engine-facing suites run against. A new engine's tests
// are one more TestEngine in the list: a way to make a test database from
// the same JSON description and the target that reaches it.

#include "ostrel_test_support.h"

namespace {

// The embedded engine reads the description as a GeoPackage, the kind of
// SQLite file users have most.
std::string make_sqlite_database(const ScratchDir& scratch, const std::string& name,
                                 const std::string& json) {
    std::string path = scratch.file(name + ".gpkg");
    build_database(path, "gpkg", json);
    return path;
}

const TestEngine kSqlite = {"Sqlite", make_sqlite_database};

}  // namespace

const std::vector<const TestEngine*>& test_engines() {
    static const std::vector<const TestEngine*> engines = {&kSqlite};
    return engines;
}
