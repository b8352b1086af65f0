// The engines the engine-facing suites run against. A new engine's tests
// are one more TestEngine in the list: a way to make a test database from
// the same JSON description and the target that reaches it.

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

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

// The databases made in the test cluster by this process, dropped when it
// ends (the cluster itself goes at the end of the ctest run).
std::vector<std::string>& made_databases() {
    static std::vector<std::string> names;
    return names;
}

void drop_made_databases() {
    std::string command = std::string(SPOOLMAP_TEST_PYTHON) +
                          " -c 'import sys; sys.path.insert(0, \"" + SPOOLMAP_TEST_TOOLS +
                          "\"); import testdb_postgres as t; f = t.read_connection(); "
                          "[t.drop_database(f, n) for n in sys.argv[1:]]'";
    for (const std::string& name : made_databases()) {
        command += " " + name;
    }
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "could not drop the test databases\n");
    }
}

// PostgreSQL: the description loaded into a database of its own in the
// test cluster that ctest starts (SPOOLMAP_PG_CONNECTION names its facts),
// reached as the cluster's test role with the password in the address.
std::string make_postgres_database(const ScratchDir& scratch, const std::string& name,
                                   const std::string& json) {
    std::map<std::string, std::string> facts = postgres_cluster_facts();
    if (facts.empty()) {
        ADD_FAILURE()
            << "no PostgreSQL test cluster: run the tests through ctest, which starts one";
        return "";
    }
    if (made_databases().empty()) {
        std::atexit(drop_made_databases);
    }
    std::string database = "ostrel_" + std::to_string(getpid()) + "_" +
                           std::to_string(made_databases().size() + 1) + "_" + name;
    made_databases().push_back(database);
    build_database(database, "postgres", json, scratch.file(name + ".json"));
    return database + "@postgresql://" + facts["user"] + ":" + facts["password"] + "@" +
           facts["host"] + ":" + facts["port"];
}

const TestEngine kPostgres = {"Postgres", make_postgres_database};

}  // namespace

std::map<std::string, std::string> postgres_cluster_facts() {
    std::map<std::string, std::string> facts;
    const char* path = std::getenv("SPOOLMAP_PG_CONNECTION");
    std::ifstream in(path != nullptr ? path : "");
    std::string line;
    while (std::getline(in, line)) {
        size_t equals = line.find('=');
        if (!line.empty() && line[0] != '#' && equals != std::string::npos) {
            facts[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return facts;
}

const std::vector<const TestEngine*>& test_engines() {
    static const std::vector<const TestEngine*> engines = {&kSqlite, &kPostgres};
    return engines;
}
